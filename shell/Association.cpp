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

// Quotes an argument of a desktop entry's Exec key.
QString ExecQuoted(const QString &path) {
    QString q = path;
    for (const char *c : {"\\", "\"", "`", "$"})
        q.replace(QLatin1String(c), QLatin1String("\\") + QLatin1String(c));
    return u'"' + q + u'"';
}

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
                       .arg(name, ExecQuoted(t.executable), mimeTypes.join(u';'));
    if (!t.icon.isEmpty())
        text += QStringLiteral("Icon=%1\n").arg(t.icon);
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
