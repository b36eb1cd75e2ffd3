#pragma once
// The desktop's display settings, opened at one of their pages. Desktops differ in which
// settings program they ship; the first one found on the PATH is started.

#include <QList>
#include <QString>
#include <QStringList>

namespace kz {

enum class DesktopSettingsPage { Wallpaper, ScreenSaver };

struct LaunchCommand {
    QString program;
    QStringList arguments;
    bool operator==(const LaunchCommand &) const = default;
};

// The settings programs that can show the page, in the order they are tried.
QList<LaunchCommand> DesktopSettingsCommands(DesktopSettingsPage page);

// Finds and starts programs. Tests replace it so that no real program starts.
class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;
    // Full path of the program, empty when it is not installed.
    virtual QString Find(const QString &program) const;
    // Starts the program detached; true when it started.
    virtual bool Start(const QString &path, const QStringList &arguments);
};

// The launcher in use; null restores the real one.
ProgramLauncher &CurrentProgramLauncher();
void SetProgramLauncher(ProgramLauncher *launcher);

// Starts the first available settings program for the page. True when one started.
bool OpenDesktopSettings(DesktopSettingsPage page);

} // namespace kz
