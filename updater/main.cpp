// The updater: installs the update package waiting in its own folder and starts the player
// beside it again. It takes no arguments and keeps no settings.

#include "platform/Paths.h"
#include "updater/CvupdateDlg.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    kz::CvupdateDlg dlg(kz::ProgramDir());
    dlg.exec();
    return 0;
}
