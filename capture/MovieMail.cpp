#include "MovieMail.h"

#include "platform/urlcache/UrlCache.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

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
