// The one main of every test program: the application object exists before any test runs and
// loopback requests go direct. Unit and widget tests draw offscreen unless a platform is named;
// end-to-end tests (KZ_E2E_MAIN) prepare the web engine first and use the build's program
// directory.

#include "TestSupport.h"
#include "platform/Workers.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef KZ_E2E_MAIN
#include "platform/Paths.h"
#include "platform/flash/ShockwaveFlash.h"
#endif

int main(int argc, char **argv) {
    kz::test::ClearProxyEnvironment();
    // The maker's site is a closed local port unless a test names one: no test reaches out to
    // the network, and no player a test starts finds an update.
    if (qEnvironmentVariableIsEmpty("KZPLAYER_SITE"))
        qputenv("KZPLAYER_SITE", "http://127.0.0.1:9");
#ifdef KZ_E2E_MAIN
    kz::PrepareWebEngine();
#else
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Each test program (and the programs it starts) gets its own temporary folder, so test
    // programs running side by side never meet in the player's scratch files there.
    const QTemporaryDir temp(QDir::tempPath() + QStringLiteral("/kz-test-XXXXXX"));
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
#endif
    QApplication app(argc, argv);
    // Worker threads the tests started end before the application object, as in the player.
    const kz::WorkersScope workers;
#ifdef KZ_E2E_MAIN
    kz::SetProgramDirOverride(kz::test::BinDir());
#endif
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
