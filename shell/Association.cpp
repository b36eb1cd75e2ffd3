#include "Association.h"

#include "Startup.h"
#include "platform/UserDirs.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace kz {

namespace {

bool WriteText(const QString &path, const QString &text) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(text.toUtf8());
    return f.commit();
}

// A value of type string in a desktop entry: a backslash and the characters a line cannot
// hold are escaped, and so is a leading blank, which readers would drop.
QString EntryString(const QString &value) {
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\')
            out += QLatin1String("\\\\");
        else if (c == u'\n')
            out += QLatin1String("\\n");
        else if (c == u'\t')
            out += QLatin1String("\\t");
        else if (c == u'\r')
            out += QLatin1String("\\r");
        else if (c == u' ' && i == 0)
            out += QLatin1String("\\s");
        else
            out += c;
    }
    return out;
}

} // namespace

QString ExecArgument(const QString &argument) {
    // Quoted, with the four characters that stay special inside quotes escaped; a literal "%"
    // doubled so it is no field code. The string escapes come on top (a backslash of the path
    // is four in the file).
    QString q;
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            q += u'\\';
        q += c;
        if (c == u'%')
            q += u'%';
    }
    return EntryString(u'"' + q + u'"');
}

namespace {

bool Register(const AssociationTarget &t, const QString &typeName, const QString &mimeType,
              const QStringList &mimeTypes, const QString &glob, const ProgramRunner &run) {
    const QString package =
        QDir(t.dataHome)
            .filePath(QStringLiteral("mime/packages/") + typeName + QStringLiteral(".xml"));
    if (!WriteText(package, MimePackageText(mimeType, glob, typeName)))
        return false;
    const QString desktopName = typeName + QStringLiteral(".desktop");
    const QString entry = QDir(t.dataHome).filePath(QStringLiteral("applications/") + desktopName);
    if (!WriteText(entry, DesktopEntryText(typeName, t, mimeTypes)))
        return false;
    if (!run(QStringLiteral("update-mime-database"), {QDir(t.dataHome).filePath("mime")}))
        return false;
    return run(QStringLiteral("xdg-mime"),
               QStringList{QStringLiteral("default"), desktopName} + mimeTypes);
}

} // namespace

AssociationTarget DefaultAssociationTarget(const QString &executable, const QString &icon) {
    AssociationTarget t;
    t.dataHome = DataHome();
    t.executable = executable;
    t.icon = icon;
    return t;
}

QString MimePackageText(const QString &mimeType, const QString &glob, const QString &comment) {
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
               "  <mime-type type=\"%1\">\n"
               "    <comment>%2</comment>\n"
               "    <glob pattern=\"%3\"/>\n"
               "  </mime-type>\n"
               "</mime-info>\n")
        .arg(mimeType.toHtmlEscaped(), comment.toHtmlEscaped(), glob.toHtmlEscaped());
}

QString DesktopEntryText(const QString &name, const AssociationTarget &t,
                         const QStringList &mimeTypes) {
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\n"
                                  "Exec=%2 %f\nTerminal=false\nNoDisplay=true\nMimeType=%3;\n")
                       .arg(EntryString(name), ExecArgument(t.executable), mimeTypes.join(u';'));
    if (!t.icon.isEmpty())
        text += QStringLiteral("Icon=%1\n").arg(EntryString(t.icon));
    return text;
}

bool RegisterListFileType(const AssociationTarget &t, const ProgramRunner &run) {
    const QString type = QString::fromLatin1(kExeBaseName);
    return Register(t, type, QLatin1String(kTplMimeType), {QLatin1String(kTplMimeType)},
                    QStringLiteral("*.tpl"), run);
}

bool RegisterFlashType(const AssociationTarget &t, const ProgramRunner &run) {
    // The Flash type name: the base name followed by " swf" (a file name without the blank).
    const QString type = QString::fromLatin1(kExeBaseName) + QStringLiteral("-swf");
    return Register(t, type, QLatin1String(kSwfMimeType),
                    {QLatin1String(kSwfMimeType), QStringLiteral("application/x-shockwave-flash")},
                    QStringLiteral("*.swf"), run);
}

} // namespace kz
