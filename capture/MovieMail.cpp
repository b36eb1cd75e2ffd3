#include "MovieMail.h"

#include "platform/Paths.h"
#include "platform/urlcache/UrlCache.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>

namespace kz {

std::optional<QString> MovieLocalFile(const QString &movie, bool urlMode, const UrlCache &cache) {
    if (movie.isEmpty())
        return std::nullopt;
    if (!urlMode)
        return movie;
    const std::optional<UrlCacheEntry> entry = cache.Lookup(QUrl(movie));
    if (!entry || !QFileInfo(entry->localFile).isFile())
        return std::nullopt;
    return entry->localFile;
}

QString CleanAttachmentName(const QString &movie) {
    const QUrl url(movie);
    QString name = url.isValid() && !url.scheme().isEmpty() && !url.isLocalFile()
                       ? url.fileName(QUrl::FullyDecoded)
                       : movie.section(u'/', -1);
    QString clean;
    for (const char32_t c : name.toUcs4()) {
        const bool ascii = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        const QChar::Script script = QChar::script(c);
        const bool cjk = script == QChar::Script_Han || script == QChar::Script_Hiragana ||
                         script == QChar::Script_Katakana || script == QChar::Script_Hangul ||
                         script == QChar::Script_Bopomofo;
        // Letters only: a script's marks and punctuation ("（", "・") are no part of a name.
        if (ascii || (cjk && QChar::isLetterOrNumber(c)))
            clean += QString::fromUcs4(&c, 1);
    }
    QString extension = QStringLiteral(".swf");
    if (clean.endsWith(extension, Qt::CaseInsensitive)) {
        extension = clean.right(4);
        clean.chop(4);
    }
    // No hidden name, no "." or "..".
    while (clean.startsWith(u'.'))
        clean.remove(0, 1);
    if (clean.isEmpty())
        clean = QStringLiteral("movie");
    clean += extension;
    // File names hold at most 255 bytes; the Chinese take three each.
    while (clean.toUtf8().size() > 200) {
        const qsizetype last = clean.size() - 5; // the character before the extension
        const bool pair = clean.at(last).isLowSurrogate() && last > 0;
        clean.remove(pair ? last - 1 : last, pair ? 2 : 1);
    }
    return clean;
}

QString MailAttachment(const QString &movie, const QString &file, bool urlMode) {
    const bool unsafe = std::any_of(file.begin(), file.end(),
                                    [](QChar c) { return QStringView(u"'\"`$\\\n").contains(c); });
    if (!urlMode && !unsafe)
        return file;
    const QString temp = TempFolder();
    if (temp.isEmpty())
        return {};
    const QString folder = temp + QStringLiteral("mail/");
    if (!QDir().mkpath(folder))
        return {};
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // The mail program reads the copy after we return: earlier copies go once they are old.
    const QDateTime dayAgo = QDateTime::currentDateTimeUtc().addDays(-1);
    for (const QFileInfo &old : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
        if (old.lastModified().toUTC() < dayAgo)
            QFile::remove(old.absoluteFilePath());
    const QString copy = folder + CleanAttachmentName(urlMode ? movie : file);
    QFile::remove(copy);
    if (!QFile::copy(file, copy))
        return {};
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    return copy;
}

MailServices SystemMailServices() {
    MailServices s;
    s.findProgram = [](const QString &name) { return QStandardPaths::findExecutable(name); };
    s.startDetached = [](const QString &program, const QStringList &args) {
        return QProcess::startDetached(program, args);
    };
    return s;
}

MailResult SendFileByMail(const QString &file, const MailServices &services) {
    const QString program = services.findProgram(QString::fromLatin1(kMailProgram));
    if (program.isEmpty())
        return MailResult::NoMailProgram;
    return services.startDetached(program, {QStringLiteral("--attach"), file})
               ? MailResult::Started
               : MailResult::StartFailed;
}

} // namespace kz
