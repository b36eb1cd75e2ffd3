// The player.

#include "platform/flash/Explorer.h"
#include "platform/flash/ShockwaveFlash.h"
#include "shell/KZPlayerApp.h"

#include <QApplication>

int main(int argc, char **argv) {
    kz::PrepareWebEngine();
    QApplication app(argc, argv);
    kz::ControlFactory controls;
    controls.flash = [](QWidget *parent) { return new kz::CMedia(parent); };
    controls.browser = [](QWidget *parent) { return new kz::CExplorer1(parent); };
    kz::CKZPlayerApp theApp(controls);
    if (!theApp.InitInstance(app.arguments()))
        return 0;
    const int rc = app.exec();
    theApp.ExitInstance();
    return rc;
}
