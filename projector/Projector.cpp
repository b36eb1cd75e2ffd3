#include "Projector.h"

#include "platform/Paths.h"

#include <QFileInfo>

namespace kz {

ProjectorMode DecideProjectorMode(const QString &selfPath, const QStringList &args) {
    for (const QString &a : args) {
        const QString lower = a.toLower();
        if (lower == QLatin1String("/w") || lower == QLatin1String("--window"))
            return ProjectorMode::Window;
        if (lower == QLatin1String("/s") || lower == QLatin1String("-s") ||
            lower == QLatin1String("--screensaver"))
            return ProjectorMode::ScreenSaver;
        if (lower.startsWith(QLatin1String("/p")))
            return ProjectorMode::Preview;
    }
    const QString name = FileNameOf(selfPath);
    if (ExtensionOf(name) == QLatin1String("scr") || name == QLatin1String("VSaver.data"))
        return ProjectorMode::ScreenSaver;
    return ProjectorMode::Window;
}

QString FindRuntimeFolder(const QString &selfFolder, const QString &builtInFolder) {
    QStringList candidates;
    const QString home = qEnvironmentVariable("KZPLAYER_HOME");
    if (!home.isEmpty())
        candidates << home;
    candidates << selfFolder << builtInFolder;
    for (const QString &c : candidates) {
        if (!c.isEmpty() && QFileInfo(WithTrailingSep(c) + QStringLiteral("ruffle/ruffle.js")).isFile())
            return WithTrailingSep(c);
    }
    return QString();
}

} // namespace kz
