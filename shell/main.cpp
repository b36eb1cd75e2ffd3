// The player.

#include "platform/Workers.h"
#include "platform/flash/Explorer.h"
#include "platform/flash/ShockwaveFlash.h"
#include "platform/mixer/Mixer.h"
#include "shell/KZPlayerApp.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int gSignalPipe[2] = {-1, -1};

void OnTerminate(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &c, 1);
}

// A session's end (SIGTERM) or Ctrl+C closes the window as the user would, so the play lists
// and the settings are kept.
void CloseOnTermination(kz::CKZPlayerApp &theApp) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [&theApp] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(gSignalPipe[0], &c, 1);
        if (kz::CMainFrame *frame = theApp.MainFrame())
            frame->close();
        QCoreApplication::quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = OnTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

} // namespace

int main(int argc, char **argv) {
    kz::PrepareWebEngine();
    QApplication app(argc, argv);
    // Downloads and probes still running are stopped and joined before the application goes.
    const kz::WorkersScope workers;
    kz::ControlFactory controls;
    controls.flash = [](QWidget *parent) { return new kz::CMedia(parent); };
    controls.browser = [](QWidget *parent) { return new kz::CExplorer1(parent); };
    controls.mixer = [] { return kz::CreatePulseMixer(); };
    kz::CKZPlayerApp theApp(controls);
    // Before the window exists, so that an early end still closes it properly.
    CloseOnTermination(theApp);
    if (!theApp.InitInstance(app.arguments()))
        return 0;
    const int rc = app.exec();
    theApp.ExitInstance();
    return rc;
}
