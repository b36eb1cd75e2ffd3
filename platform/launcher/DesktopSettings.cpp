#include "DesktopSettings.h"

#include <QMutex>
#include <QProcess>
#include <QStandardPaths>

namespace kz {

QList<LaunchCommand> DesktopSettingsCommands(DesktopSettingsPage page) {
    const auto cmd = [](const char *program, QStringList args = {}) {
        return LaunchCommand{QString::fromLatin1(program), std::move(args)};
    };
    if (page == DesktopSettingsPage::ScreenSaver) {
        return {
            cmd("xfce4-screensaver-preferences"),
            cmd("mate-screensaver-preferences"),
            cmd("cinnamon-settings", {QStringLiteral("screensaver")}),
            cmd("gnome-control-center", {QStringLiteral("privacy")}),
            cmd("systemsettings", {QStringLiteral("kcm_screenlocker")}),
            cmd("kcmshell5", {QStringLiteral("kcm_screenlocker")}),
            cmd("xscreensaver-settings"),
            cmd("xscreensaver-demo"),
            cmd("lxqt-config-powermanagement"),
        };
    }
    return {
        cmd("xfdesktop-settings"),
        cmd("mate-appearance-properties", {QStringLiteral("--show-page=background")}),
        cmd("cinnamon-settings", {QStringLiteral("backgrounds")}),
        cmd("gnome-control-center", {QStringLiteral("background")}),
        cmd("systemsettings", {QStringLiteral("kcm_wallpaper")}),
        cmd("pcmanfm-qt", {QStringLiteral("--desktop-pref")}),
        cmd("pcmanfm", {QStringLiteral("--desktop-pref")}),
        cmd("nitrogen"),
    };
}

QString ProgramLauncher::Find(const QString &program) const {
    return QStandardPaths::findExecutable(program);
}

bool ProgramLauncher::Start(const QString &path, const QStringList &arguments) {
    return QProcess::startDetached(path, arguments);
}

namespace {
QMutex gLauncherMutex;
ProgramLauncher *gLauncher = nullptr;
} // namespace

ProgramLauncher &CurrentProgramLauncher() {
    static ProgramLauncher real;
    QMutexLocker lock(&gLauncherMutex);
    return gLauncher ? *gLauncher : real;
}

void SetProgramLauncher(ProgramLauncher *launcher) {
    QMutexLocker lock(&gLauncherMutex);
    gLauncher = launcher;
}

bool OpenDesktopSettings(DesktopSettingsPage page) {
    ProgramLauncher &launcher = CurrentProgramLauncher();
    for (const LaunchCommand &c : DesktopSettingsCommands(page)) {
        const QString path = launcher.Find(c.program);
        if (!path.isEmpty() && launcher.Start(path, c.arguments))
            return true;
    }
    return false;
}

} // namespace kz
