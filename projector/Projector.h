#pragma once
// The self-running movie stub: what it is asked to do, judged from its own file and its
// arguments, and where it finds the Flash runtime on this machine.

#include <QString>
#include <QStringList>

namespace kz {

enum class ProjectorMode {
    Window,      // a packaged program: the movie in a window of its own
    ScreenSaver, // full screen, quitting on a key or a click
    Preview,     // a screensaver's preview request: nothing to show
};

// A file named ".scr" or the screensaver stub itself runs as a screensaver; "/s", "-s" or
// "--screensaver" ask for it, "/p" is a preview request, "/w" or "--window" force a window.
ProjectorMode DecideProjectorMode(const QString &selfPath, const QStringList &args);

// The folder holding the Flash runtime ("ruffle/ruffle.js"): $KZPLAYER_HOME, then the stub's own
// folder, then the program directory the stub was built for. Empty when none has it.
QString FindRuntimeFolder(const QString &selfFolder, const QString &builtInFolder);

} // namespace kz
