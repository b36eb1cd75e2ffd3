#include "UserDirs.h"

#include "Paths.h"

#include <QDir>

namespace kz {

namespace {
QString XdgFolder(const char *variable, const QString &underHome) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::homePath() + kSep + underHome;
}
} // namespace

QString ConfigHome() {
    return XdgFolder("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

QString DataHome() {
    return XdgFolder("XDG_DATA_HOME", QStringLiteral(".local/share"));
}

QString CacheHome() {
    return XdgFolder("XDG_CACHE_HOME", QStringLiteral(".cache"));
}

QString UserDataDir() {
    return WithTrailingSep(DataHome()) + QStringLiteral("KZPlayer/");
}

} // namespace kz
