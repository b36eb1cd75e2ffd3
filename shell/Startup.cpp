#include "Startup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kz {

bool ReplaceUpdater(const QString &programDir) {
    const QDir dir(programDir);
    const QString fresh = dir.filePath(QLatin1String(kNewUpdaterName));
    const QString old = dir.filePath(QLatin1String(kUpdaterName));
    if (!QFileInfo::exists(fresh))
        return false;
    QFile::remove(old);
    return QFile::rename(fresh, old);
}

bool UpdatePackageWaiting(const QString &programDir) {
    return QFileInfo::exists(QDir(programDir).filePath(QLatin1String(kUpdatePackageName)));
}

QString CommandLineFile(const QStringList &arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a.isEmpty())
            continue;
        return QFileInfo(a).isAbsolute() ? a : QDir::current().absoluteFilePath(a);
    }
    return QString();
}

QString MakerSite() {
    QString site = qEnvironmentVariable("KZPLAYER_SITE");
    if (site.isEmpty())
        site = QStringLiteral("https://www.vobi.invalid");
    while (site.endsWith(u'/'))
        site.chop(1);
    return site;
}

} // namespace kz
