// The real player under a display: it starts as a single instance, shows its window, takes a
// second start's file over the local socket, and hands a waiting update to the updater.

#include "platform/Paths.h"
#include "platform/flash/Explorer.h"
#include "platform/flash/ShockwaveFlash.h"
#include "res/Menus.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"
#include "shell/ViewLayout.h"
#include "support/E2eSupport.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace kz::test;

QString Player() {
    return QDir(kz::test::BinDir()).filePath("KZPlayer");
}

} // namespace

TEST(PlayerE2e, SecondStartHandsItsFileToTheFirstAndQuits) {
    KeepStateFiles keep;
    QTemporaryDir home;
    const QProcessEnvironment env = PrivateEnvironment(home.path());

    QProcess first;
    first.setProcessEnvironment(env);
    first.setProcessChannelMode(QProcess::SeparateChannels);
    first.start(Player(), {});
    ASSERT_TRUE(first.waitForStarted());
    // Listening means the view has finished its initial update.
    const QString socket = home.filePath("run/KZPlayer.socket");
    ASSERT_TRUE(SleepUntil([&] { return QFile::exists(socket); }, 60000))
        << "the player never got ready";
    // The association is written right after the view's initial update, so it may follow the
    // socket by a moment.
    EXPECT_TRUE(SleepUntil(
        [&] { return QFile::exists(home.filePath("data/applications/KZPlayer.desktop")); }, 10000))
        << "the list-file association is written at start";

    // The window shows the information line and the local home page.
    QImage shot;
    SleepUntil(
        [&] {
            shot = ScreenShot(home.filePath("player.png"));
            return DistinctColours(shot) > 10;
        },
        60000);
    ASSERT_FALSE(shot.isNull());
    shot.save(QDir::temp().filePath("kz-player-window.png"));
    EXPECT_GT(DistinctColours(shot), 10) << "nothing drawn";

    const QString other = QDir(kz::test::CorpusDir()).filePath("acid_acid-gradient.swf");
    QElapsedTimer t;
    t.start();
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(Player(), {other});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().contains("handed over"));

    QByteArray log;
    EXPECT_TRUE(SleepUntil(
        [&] {
            first.waitForReadyRead(50);
            log += first.readAllStandardError();
            return log.contains("hand-over: \"" + other.toUtf8() + "\"");
        },
        10000))
        << log.toStdString();

    first.terminate();
    if (!first.waitForFinished(10000)) {
        first.kill();
        first.waitForFinished();
    }

    // With the first gone, a new start becomes the first instance itself.
    QProcess again;
    again.setProcessEnvironment(env);
    again.start(Player(), {});
    ASSERT_TRUE(again.waitForStarted());
    EXPECT_TRUE(SleepUntil(
        [&] { return again.state() == QProcess::Running && QFile::exists(socket); }, 60000));
    EXPECT_FALSE(again.waitForFinished(1000)) << "it should keep running";
    again.kill();
    again.waitForFinished();
}

TEST(PlayerE2e, WaitingUpdatePackageStartsTheNewUpdaterAndQuits) {
    QTemporaryDir dir, home;
    const QString program = dir.filePath("KZPlayer");
    ASSERT_TRUE(QFile::copy(Player(), program));
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString marker = dir.filePath("updater-ran");
    ASSERT_TRUE(kz::test::WriteFile(dir.filePath("vupdate"), "#!/bin/sh\nexit 1\n"));
    ASSERT_TRUE(kz::test::WriteFile(dir.filePath("vupdate1"),
                                    QString("#!/bin/sh\ntouch '%1'\n").arg(marker).toUtf8()));
    QFile::setPermissions(dir.filePath("vupdate1"), QFile::ReadOwner | QFile::ExeOwner);
    ASSERT_TRUE(kz::test::WriteFile(dir.filePath("duvez.zip"), "PK"));

    QProcess p;
    p.setProcessEnvironment(PrivateEnvironment(home.path()));
    p.start(program, {});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(dir.filePath("vupdate1")));
    EXPECT_TRUE(SleepUntil([&] { return QFile::exists(marker); }, 5000))
        << "the new updater did not run";
    EXPECT_FALSE(QFile::exists(home.filePath("run/KZPlayer.socket"))) << "no player window";
}

// The frame and the view with the real controls: a movie plays in the view's layout, in a
// window and full screen, zooms, and a right click on it brings up the play menu.
TEST(PlayerE2e, ViewShowsAMovieInItsLayout) {
    KeepStateFiles keep;
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    kz::ControlFactory controls;
    controls.flash = [](QWidget *p) { return new kz::CMedia(p); };
    controls.browser = [](QWidget *p) { return new kz::CExplorer1(p); };
    kz::CMainFrame frame(controls, {});
    frame.resize(900, 700);
    frame.show();
    kz::CKZPlayerView *view = frame.View();
    view->OnInitialUpdate();
    auto *flash = static_cast<kz::CMedia *>(view->Flash());
    ASSERT_TRUE(PumpUntil([&] { return flash->PageReady(); }, 30000));

    QSignalSpy ready(flash, &kz::FlashControl::MovieReady);
    flash->SetScale("ShowAll");
    flash->LoadMovie(0, QDir(kz::test::CorpusDir()).filePath("examples_timeline_Simple.swf"));
    ASSERT_TRUE(PumpUntil([&] { return ready.count() > 0; }, 30000));
    // What the play controller does when a movie starts.
    view->m_nPlayState = kz::kStatePlaying;
    view->SetMovieSize(QSize(flash->Facts().width, flash->Facts().height));
    view->LayOut();
    EXPECT_FALSE(view->Browser()->isVisible());
    EXPECT_LT(flash->width(), view->width()) << "fitted to the movie's proportions";

    PumpUntil([] { return false; }, 400);
    const QImage a = frame.grab().toImage();
    PumpUntil([] { return false; }, 400);
    const QImage b = frame.grab().toImage();
    a.save(QDir::temp().filePath("kz-view-windowed.png"));
    EXPECT_NE(a, b) << "the movie does not move in the view";

    ASSERT_TRUE(frame.Commands().Execute(kz::ID_FULL_SCREEN));
    ASSERT_TRUE(PumpUntil([&] { return frame.isFullScreen(); }, 5000));
    PumpUntil([] { return false; }, 800);
    EXPECT_EQ(
        flash->geometry(),
        kz::FullScreenFit(view->size(), view->size().isEmpty()
                                            ? QSize()
                                            : QSize(flash->Facts().width, flash->Facts().height)));
    const QImage full = frame.grab().toImage();
    full.save(QDir::temp().filePath("kz-view-fullscreen.png"));
    EXPECT_FALSE(view->InfoLine()->isVisible());

    ASSERT_TRUE(frame.Commands().Execute(kz::ID_ZOOM_IN));
    EXPECT_EQ(view->m_nZoom, 80);
    PumpUntil([] { return false; }, 800);
    frame.grab().toImage().save(QDir::temp().filePath("kz-view-zoomed.png"));

    // A right click on the movie pops up the main menu's play menu.
    QWidget *render = flash->WebView()->focusProxy();
    ASSERT_NE(render, nullptr);
    QTest::mouseClick(render, Qt::RightButton, {}, QPoint(40, 40));
    EXPECT_TRUE(PumpUntil([&] { return QApplication::activePopupWidget() != nullptr; }, 3000));
    if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
        EXPECT_EQ(menu->title(), "播放");
        menu->close();
    }
    frame.Commands().Execute(kz::ID_FULL_SCREEN);
}
