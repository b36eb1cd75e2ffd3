// The view's update timers with fake controls: timer 1 shows the online home page when the
// maker's site answers and fetches a new version's package; timer 2 switches to the online page
// once the site answers after a start without it.

#include "platform/Paths.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"
#include "support/FakeControls.h"
#include "support/FakeFlashControl.h"
#include "support/FolderServer.h"
#include "support/TestSupport.h"
#include "support/UpdateKeys.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace kz;
using test::FakeBrowserControl;
using test::FakeFlashControl;

namespace {

struct SiteEnv {
    explicit SiteEnv(const QString &site) { qputenv("KZPLAYER_SITE", site.toUtf8()); }
    ~SiteEnv() { qputenv("KZPLAYER_SITE", "http://127.0.0.1:9"); }
};

} // namespace

TEST(UpdateView, OnlineHomePageAndNewVersionAfterTimer1) {
    test::TestHome();
    const QString program = test::TestProgramDir();
    ASSERT_TRUE(test::WriteFile(program + "inweb/bindex.html", "<html>home</html>"));
    QFile::remove(program + "duvez.zip");
    QTemporaryDir root, keysDir;
    const test::UpdateKeys keys = test::MakeUpdateKeys(keysDir.path());
    ASSERT_TRUE(test::InstallKey(keys, program));
    ASSERT_TRUE(test::WriteFile(root.filePath("newver/ver.zip"), "ZQP_CURRENT_VER:4.4\r\n"));
    ASSERT_TRUE(test::WriteFile(root.filePath("newver/duvez.zip"), "a new package"));
    ASSERT_TRUE(test::SignBeside(keys, root.filePath("newver/duvez.zip")));
    ASSERT_TRUE(test::WriteFile(root.filePath("bindex.html"), "<html>online</html>"));
    test::FolderServer server(root.path());
    const QString site = server.Url(QString()).chopped(1);
    SiteEnv env(site);

    CMainFrame frame(test::FakeControls(), {});
    frame.show();
    CKZPlayerView *view = frame.View();
    auto *browser = static_cast<FakeBrowserControl *>(view->Browser());
    view->OnInitialUpdate();
    EXPECT_EQ(view->OnlineHomePage(), 0);
    ASSERT_TRUE(test::PumpUntil([&] { return browser->navigated.size() == 2; }, 15000));
    EXPECT_EQ(browser->navigated[1], site + "/bindex.html");
    EXPECT_EQ(view->OnlineHomePage(), 1);
    EXPECT_TRUE(view->TimerActive(kConnectivityTimer.id));
    ASSERT_TRUE(test::PumpUntil([&] { return QFile::exists(program + "duvez.zip"); }, 15000));
    EXPECT_TRUE(test::PumpUntil(
        [&] { return test::ReadFile(program + "duvez.zip") == "a new package"; }, 5000));
    EXPECT_EQ(test::ReadFile(program + "duvez.zip.sig"),
              test::ReadFile(root.filePath("newver/duvez.zip.sig")));
    EXPECT_TRUE(QDir(TempFolder()).entryList({"duvez.zip"}).isEmpty());
    for (const char *name : {"duvez.zip", "duvez.zip.sig", "update.pub"})
        QFile::remove(program + name);
}

TEST(UpdateView, ConnectivityRecheckSwitchesToTheOnlinePage) {
    test::TestHome();
    const QString program = test::TestProgramDir();
    ASSERT_TRUE(test::WriteFile(program + "inweb/bindex.html", "<html>home</html>"));
    QFile::remove(program + "duvez.zip");

    CMainFrame frame(test::FakeControls(), {});
    frame.show();
    CKZPlayerView *view = frame.View();
    auto *browser = static_cast<FakeBrowserControl *>(view->Browser());
    // Re-checks every fifth of a second instead of every five minutes.
    auto *timer2 = view->findChild<QTimer *>(QStringLiteral("timer%1").arg(kConnectivityTimer.id));
    ASSERT_NE(timer2, nullptr);
    timer2->setInterval(200);
    view->OnInitialUpdate();
    // No site: the local page.
    ASSERT_TRUE(test::PumpUntil([&] { return browser->navigated.size() == 2; }, 15000));
    EXPECT_EQ(browser->navigated[1], program + "inweb/bindex.html");
    test::Pump(600);
    EXPECT_EQ(browser->navigated.size(), 2);
    EXPECT_EQ(view->OnlineHomePage(), 0);

    QTemporaryDir root;
    ASSERT_TRUE(test::WriteFile(root.filePath("ok"), "x"));
    test::FolderServer server(root.path());
    SiteEnv env(server.Url(QString()).chopped(1));
    ASSERT_TRUE(test::PumpUntil([&] { return browser->navigated.size() == 3; }, 15000));
    EXPECT_EQ(browser->navigated[2], server.Url("bindex.html"));
    EXPECT_EQ(view->OnlineHomePage(), 1);
    test::Pump(800);
    EXPECT_EQ(browser->navigated.size(), 3) << "the online page is opened once";
    EXPECT_FALSE(QFile::exists(program + "duvez.zip")) << "the re-check fetches no package";
}
