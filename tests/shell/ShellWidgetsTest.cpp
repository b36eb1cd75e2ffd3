// The frame, the view and the application with fake controls, on the offscreen platform.

#include "controls/MyBitmapButton.h"
#include "platform/Paths.h"
#include "platform/registry/Profile.h"
#include "platform/registry/Registry.h"
#include "playback/PlayCtrlDlg.h"
#include "playback/SoundCtrlDlg.h"
#include "playlist/DragDropListCtrl.h"
#include "res/Menus.h"
#include "res/StringTable.h"
#include "shell/AboutDlg.h"
#include "shell/KZPlayerApp.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"
#include "shell/ViewLayout.h"
#include "support/FakeControls.h"
#include "support/FakeFlashControl.h"
#include "support/FakeMixer.h"
#include "support/RowsDrawn.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace kz;
using test::FakeBrowserControl;
using test::FakeFlashControl;

namespace {

// The run's private home, with the view's image and home page in its program directory.
QTemporaryDir &Home() {
    static QTemporaryDir &home = []() -> QTemporaryDir & {
        QTemporaryDir &h = test::TestHome();
        const QString program = test::TestProgramDir();
        QDir().mkpath(program + "res");
        QFile::copy(test::BinDir() + "/res/return.jpg", program + "res/return.jpg");
        test::WriteFile(program + "inweb/bindex.html", "<html>home</html>");
        return h;
    }();
    return home;
}

struct Player {
    QTemporaryDir &home = Home();
    CMainFrame frame;
    CKZPlayerView *view;
    FakeFlashControl *flash;
    FakeBrowserControl *browser;
    explicit Player(const QString &commandLineFile = {})
        : frame(test::FakeControls(), commandLineFile), view(frame.View()),
          flash(static_cast<FakeFlashControl *>(view->Flash())),
          browser(static_cast<FakeBrowserControl *>(view->Browser())) {
        frame.resize(800, 600);
        frame.show();
        view->OnInitialUpdate();
    }
    ViewLayout Expected() const {
        ViewLayoutInput in;
        in.client = view->size();
        in.infoHeight = kInfoLineHeight;
        in.stripHeightBefore = kLoadingStripHeight;
        in.backImage = view->BackButton()->iconSize();
        in.fullScreen = frame.m_bFullScreen;
        in.actualSize = frame.m_bActualSize;
        in.gameMode = view->m_bGameMode;
        in.playState = view->m_nPlayState;
        in.movie = QSize(550, 400);
        return LayOutView(in);
    }
    void Playing() {
        view->m_nPlayState = kStatePlaying;
        view->SetMovieSize(QSize(550, 400));
        view->LayOut();
    }
    bool Enabled(int id) {
        frame.Commands().UpdateAll();
        return frame.Commands().Action(id)->isEnabled();
    }
};

} // namespace

TEST(PlayerView, InitialUpdateInOrder) {
    Home();
    CMainFrame frame(test::FakeControls(), {});
    QSignalSpy done(frame.View(), &CKZPlayerView::InitialUpdateDone);
    frame.show();
    frame.View()->OnInitialUpdate();
    auto *flash = static_cast<FakeFlashControl *>(frame.View()->Flash());
    auto *browser = static_cast<FakeBrowserControl *>(frame.View()->Browser());
    EXPECT_EQ(flash->calls,
              (QStringList{"LoadMovie 0 about:blank", "BackgroundColor 0", "Scale noScale"}));
    EXPECT_EQ(browser->navigated, QStringList{"about:blank"});
    EXPECT_EQ(frame.windowTitle(), LoadString(IDS_TITLE));
    EXPECT_EQ(frame.View()->InfoLine()->text(), "Vobi Flash 播放器");
    EXPECT_TRUE(frame.View()->InfoLine()->styleSheet().contains("background-color: #ffffff"));
    const QSize back = QImage(ProgramDir() + "res/return.jpg").size();
    EXPECT_FALSE(back.isEmpty());
    EXPECT_EQ(frame.View()->BackButton()->iconSize(), back) << "from res/return.jpg";
    EXPECT_EQ(frame.View()->LoadingBar()->maximum(), 100);
    EXPECT_EQ(done.count(), 1);
    EXPECT_TRUE(frame.View()->TimerActive(kHomePageTimer.id));
    EXPECT_FALSE(frame.View()->TimerActive(kRepaintTimer.id)) << "no movie on the command line";
    for (const char *id :
         {"IDC_1000", "IDC_1010", "IDC_1044", "IDC_1068", "IDD_131", "IDD_166", "IDC_1081"})
        EXPECT_NE(frame.findChild<QWidget *>(id), nullptr) << id;

    // Timer 1 shows the local home page and starts timer 2.
    ASSERT_TRUE(test::PumpUntil([&] { return browser->navigated.size() == 2; }, 3000));
    EXPECT_EQ(browser->navigated[1], ProgramDir() + "inweb/bindex.html");
    EXPECT_FALSE(frame.View()->TimerActive(kHomePageTimer.id));
    EXPECT_TRUE(frame.View()->TimerActive(kConnectivityTimer.id));
}

TEST(PlayerView, StartWithAMovieSetsTheStartFlagAndTheRepaintTimer) {
    Player p("/m/Movie.SWF");
    EXPECT_EQ(p.frame.m_bStartFile, 1);
    EXPECT_TRUE(p.view->TimerActive(kRepaintTimer.id));
    EXPECT_TRUE(test::PumpUntil([&] { return !p.view->TimerActive(kRepaintTimer.id); }, 1000));
    Player q("/m/list.tpl");
    EXPECT_EQ(q.frame.m_bStartFile, 0);
}

TEST(PlayerView, LayoutOfTheThreeModes) {
    Player p;
    EXPECT_EQ(p.flash->geometry(), p.Expected().flash);
    EXPECT_EQ(p.browser->geometry(), p.Expected().browser);
    EXPECT_TRUE(p.browser->isVisible());
    EXPECT_EQ(p.view->PlayController()->geometry(), p.Expected().controller);
    EXPECT_EQ(p.view->LoadingStrip()->geometry(), p.Expected().strip);
    EXPECT_EQ(p.view->LoadingBar()->geometry(), QRect(9, 2, p.view->width() - 14, 9));

    p.Playing();
    EXPECT_EQ(p.flash->geometry(), p.Expected().flash);
    EXPECT_FALSE(p.browser->isVisible());
    EXPECT_LT(p.flash->width(), p.view->width()) << "the movie's proportions";

    ASSERT_TRUE(p.frame.Commands().Execute(ID_FULL_SCREEN));
    EXPECT_EQ(p.frame.m_bFullScreen, 1);
    test::PumpUntil([&] { return p.frame.isFullScreen(); }, 1000);
    EXPECT_EQ(p.flash->geometry(), p.Expected().flash);
    EXPECT_FALSE(p.view->InfoLine()->isVisible());
    EXPECT_FALSE(p.view->PlayController()->isVisible());
    EXPECT_TRUE(p.frame.Commands().Action(ID_FULL_SCREEN)->isChecked());

    // Straight into actual size from full screen; the placement of the window stays.
    ASSERT_TRUE(p.frame.Commands().Execute(ID_ACTUAL_SIZE));
    EXPECT_EQ(p.frame.m_bFullScreen, 0);
    EXPECT_EQ(p.frame.m_bActualSize, 1);
    EXPECT_EQ(p.flash->geometry(), p.Expected().flash);
    EXPECT_EQ(p.flash->size(), QSize(550, 400));

    // In actual size the play controller shows only under the pointer.
    auto move = [&](QPoint at) {
        QMouseEvent ev(QEvent::MouseMove, at, p.view->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                       {});
        QApplication::sendEvent(p.view, &ev);
    };
    move(QPoint(5, p.view->height() - 10));
    EXPECT_TRUE(p.view->PlayController()->isVisible());
    move(QPoint(5, 5));
    EXPECT_FALSE(p.view->PlayController()->isVisible());

    p.view->m_bGameMode = true;
    p.view->LayOut();
    EXPECT_TRUE(p.view->BackButton()->isVisible());
    QTest::mouseClick(p.view->BackButton(), Qt::LeftButton);
    EXPECT_EQ(p.frame.m_bActualSize, 0);
    EXPECT_FALSE(p.view->BackButton()->isVisible());
    EXPECT_TRUE(p.view->InfoLine()->isVisible());
}

TEST(PlayerView, DoubleClickAndEscapeLeaveTheModes) {
    Player p;
    emit p.flash->LeftButtonDoubleClick(QPoint(10, 10));
    EXPECT_EQ(p.frame.m_bFullScreen, 1);
    emit p.flash->LeftButtonDoubleClick(QPoint(10, 10));
    EXPECT_EQ(p.frame.m_bFullScreen, 0);

    p.frame.OnViewActualSize();
    QTest::mouseDClick(p.view, Qt::LeftButton);
    EXPECT_EQ(p.frame.m_bActualSize, 0) << "a double click leaves actual size";
    EXPECT_EQ(p.frame.m_bFullScreen, 0);

    p.frame.OnViewFullScreen();
    emit p.flash->EscapePressed();
    EXPECT_EQ(p.frame.m_bFullScreen, 0);
    p.frame.OnViewActualSize();
    emit p.flash->EscapePressed();
    EXPECT_EQ(p.frame.m_bActualSize, 0);

    p.view->m_bGameMode = true;
    emit p.flash->LeftButtonDoubleClick(QPoint(10, 10));
    EXPECT_EQ(p.frame.m_bFullScreen, 0) << "game mode keeps the screen mode";
}

TEST(PlayerView, ZoomStepsAndEnabling) {
    Player p;
    p.flash->calls.clear();
    EXPECT_FALSE(p.frame.Commands().Execute(ID_ZOOM_OUT)) << "disabled at 100";
    EXPECT_TRUE(p.frame.Commands().Execute(ID_ZOOM_IN));
    EXPECT_TRUE(p.flash->calls.isEmpty()) << "ignored while stopped";
    EXPECT_EQ(p.view->m_nZoom, 100);

    p.Playing();
    for (int expected : {80, 60, 40, 20}) {
        ASSERT_TRUE(p.Enabled(ID_ZOOM_IN));
        p.frame.Commands().Execute(ID_ZOOM_IN);
        EXPECT_EQ(p.view->m_nZoom, expected);
    }
    EXPECT_FALSE(p.Enabled(ID_ZOOM_IN));
    EXPECT_TRUE(p.Enabled(ID_ZOOM_OUT));
    for (int expected : {40, 60, 80, 0}) {
        p.frame.Commands().Execute(ID_ZOOM_OUT);
        EXPECT_EQ(p.view->m_nZoom, expected);
    }
    EXPECT_FALSE(p.Enabled(ID_ZOOM_OUT));
    EXPECT_TRUE(p.Enabled(ID_ZOOM_IN));
    EXPECT_EQ(p.flash->calls.mid(0, 2), (QStringList{"Zoom 0", "Zoom 80"}));
    EXPECT_EQ(p.flash->calls.mid(p.flash->calls.size() - 2), (QStringList{"Zoom 0", "Zoom 0"}));
    EXPECT_DOUBLE_EQ(p.flash->m_state.ZoomFactor(), 1.0) << "back to the whole movie";
}

TEST(PlayerView, FirstEraseIsWhiteThenTheBackgroundColour) {
    Home();
    ProfileStore().WriteProfileInt("KZPlayer", "m_intBackColor", 0x0000FF); // red as COLORREF
    CKZPlayerView::ResetFirstErase();
    Player p;
    EXPECT_EQ(p.view->m_intBackColor, 0x0000FFu);
    p.view->grab();
    EXPECT_EQ(p.view->LastEraseColour(), QColor(Qt::white));
    p.view->grab();
    EXPECT_EQ(p.view->LastEraseColour(), QColor(255, 0, 0));
    ProfileStore().WriteProfileInt("KZPlayer", "m_intBackColor", 0);
}

TEST(PlayerView, BackgroundColourDialogStoresTheColourAndColoursTheInfoLine) {
    Player p;
    std::optional<QColor> answer = QColor(0x10, 0x20, 0x30);
    QColor offered;
    p.view->m_chooseColour = [&](QColor current) {
        offered = current;
        return answer;
    };
    const QString plain = p.view->InfoLine()->styleSheet();
    ASSERT_TRUE(p.frame.Commands().Execute(ID_BACK_COLOUR));
    EXPECT_EQ(offered, QColor(0, 0, 0));
    EXPECT_EQ(p.view->m_intBackColor, 0x302010u);
    EXPECT_EQ(ProfileStore().GetProfileInt("KZPlayer", "m_intBackColor", -1), 0x302010);
    EXPECT_EQ(p.view->InfoLine()->styleSheet(), plain) << "stopped: shows with the next movie";

    p.Playing();
    answer = QColor(255, 0, 0);
    p.frame.Commands().Execute(ID_BACK_COLOUR);
    EXPECT_TRUE(p.view->InfoLine()->styleSheet().contains("background-color: #ff0000"));
    EXPECT_TRUE(p.view->InfoLine()->styleSheet().contains("color: #00ffff"));

    answer.reset(); // cancelled
    p.frame.Commands().Execute(ID_BACK_COLOUR);
    EXPECT_EQ(p.view->m_intBackColor, 0x0000FFu);
    ProfileStore().WriteProfileInt("KZPlayer", "m_intBackColor", 0);
}

TEST(PlayerView, SwfLinksOfTheHomePageArePlayedNotOpened) {
    Player p;
    QSignalSpy play(p.view, &CKZPlayerView::PlayUrlRequested);
    p.view->Browser()->Navigate("http://127.0.0.1/movies/Intro.SWF");
    ASSERT_EQ(play.count(), 1);
    EXPECT_EQ(play.at(0).at(0).toString(), "http://127.0.0.1/movies/Intro.SWF");
    EXPECT_EQ(p.browser->LocationURL(), "about:blank") << "navigation cancelled";

    p.view->Browser()->Navigate("http://127.0.0.1/bindex.html");
    p.view->Browser()->Navigate("http://127.0.0.1/page.htm");
    EXPECT_EQ(play.count(), 1);
    EXPECT_EQ(p.browser->LocationURL(), "http://127.0.0.1/page.htm");

    qputenv("KZPLAYER_SITE", "http://127.0.0.1:9/");
    p.view->OnOpenOnlineHomePage();
    EXPECT_EQ(p.browser->LocationURL(), "http://127.0.0.1:9/bindex.html");
    qputenv("KZPLAYER_SITE", "http://127.0.0.1:9");
}

TEST(PlayerView, TrayIconAndMenu) {
    Player p;
    QMenu *tray = p.view->TrayMenu();
    ASSERT_NE(tray, nullptr);
    QStringList captions;
    for (QAction *a : tray->actions())
        if (!a->isSeparator())
            captions << a->text();
    EXPECT_EQ(captions, (QStringList{"播放", "暂停", "停止", "下一个", "上一个", "打开", "退出"}));

    p.view->AddTrayIcon();
    EXPECT_TRUE(p.view->HasTrayIcon());
    p.frame.hide();
    ASSERT_TRUE(p.frame.Commands().Execute(ID_TRAY_OPEN));
    EXPECT_FALSE(p.view->HasTrayIcon());
    EXPECT_TRUE(p.frame.isVisible());

    // Minimising with the notification-area option hides the window behind the icon.
    p.frame.m_settings.m_bTaskBar = 1;
    p.frame.showMinimized();
    EXPECT_TRUE(test::PumpUntil([&] { return p.view->HasTrayIcon(); }, 2000));
    EXPECT_FALSE(p.frame.isVisible());
    p.view->RestoreFromTray();
    EXPECT_TRUE(p.frame.isVisible());
}

TEST(PlayerView, CommandTableHoldsLaterCommandsDisabled) {
    Player p;
    CommandTable &t = p.frame.Commands();
    for (int id : AllCommandIds())
        ASSERT_NE(t.Action(id), nullptr) << id;
    EXPECT_EQ(t.Action(ID_PLAY)->text(), "播放");
    EXPECT_EQ(t.Action(ID_PLAY)->shortcut(), QKeySequence("F5"));
    EXPECT_EQ(t.Action(ID_FULL_SCREEN)->shortcut(), QKeySequence("F10"));
    EXPECT_EQ(t.Action(ID_APP_ABOUT)->text(), "关于...");
    EXPECT_EQ(t.Action(ID_FILE_SAVE_AS)->shortcut(), QKeySequence("Ctrl+S"));
    for (int id : {ID_PAUSE, ID_SAVE_MOVIE_AS, ID_CAPTURE})
        EXPECT_FALSE(p.Enabled(id)) << id;
    for (int id :
         {ID_PLAY, ID_STOP, ID_FULL_SCREEN, ID_ACTUAL_SIZE, ID_BACK_COLOUR, ID_ZOOM_IN, ID_APP_EXIT,
          ID_FILE_OPEN, ID_CONFIGURATION, ID_MUTE, ID_GAME_MODE, ID_SEARCH_DIRECTORY})
        EXPECT_TRUE(p.Enabled(id)) << id;
    EXPECT_FALSE(t.Execute(ID_PAUSE));
    // The third sub-menu of the main menu is "播放", which the view pops up.
    ASSERT_NE(p.frame.SubMenu(2), nullptr);
    EXPECT_EQ(p.frame.SubMenu(2)->title(), "播放");
}

TEST(PlayerView, PlayCommandsFollowTheControllerAndItsSettingsAreWrittenAtTheEnd) {
    Home();
    QFile::remove(IniRegistryStore().Path());
    test::SwfSpec spec;
    spec.frameCount = 50;
    const QString movie = Home().filePath("start.swf");
    test::WriteFile(movie, test::BuildSwf(spec) + QByteArray(100, '\0'));
    {
        // A movie on the command line starts playing.
        Player p(movie);
        CPlayCtrlDlg *c = p.view->PlayCtrl();
        ASSERT_NE(c, nullptr);
        EXPECT_TRUE(p.flash->calls.contains("LoadMovie 0 " + movie));
        EXPECT_EQ(p.view->m_nPlayState, kStatePlaying);
        EXPECT_EQ(c->geometry(), p.Expected().controller);
        EXPECT_FALSE(p.Enabled(ID_PLAY));
        EXPECT_TRUE(p.Enabled(ID_PAUSE));
        EXPECT_TRUE(p.frame.Commands().Execute(ID_PAUSE));
        EXPECT_EQ(c->m_nPlayState, kStatePaused);
        EXPECT_TRUE(p.Enabled(ID_PLAY));
        EXPECT_FALSE(p.Enabled(ID_PAUSE));

        CommandTable &t = p.frame.Commands();
        t.UpdateAll();
        EXPECT_FALSE(t.Action(ID_AUTO_PLAY)->isChecked());
        EXPECT_TRUE(t.Execute(ID_AUTO_PLAY));
        t.UpdateAll();
        EXPECT_TRUE(t.Action(ID_AUTO_PLAY)->isChecked());
        EXPECT_EQ(c->m_bAutoPlay, 1);
        // List loop is on: its command is ticked and disabled, the other free.
        EXPECT_FALSE(p.Enabled(ID_LOOP_LIST));
        EXPECT_TRUE(t.Action(ID_LOOP_LIST)->isChecked());
        EXPECT_TRUE(p.Enabled(ID_LOOP_SINGLE));
        EXPECT_TRUE(t.Execute(ID_LOOP_SINGLE));
        EXPECT_FALSE(p.Enabled(ID_LOOP_SINGLE));
        EXPECT_TRUE(t.Action(ID_LOOP_SINGLE)->isChecked());
        EXPECT_TRUE(p.Enabled(ID_LOOP_LIST));

        EXPECT_TRUE(t.Execute(ID_STOP));
        EXPECT_EQ(p.view->m_nPlayState, kStateStopped);
        EXPECT_TRUE(p.view->Browser()->isVisible());

        // A movie link in the home page goes to the controller.
        p.browser->Navigate("http://127.0.0.1:1/Link.SWF");
        EXPECT_TRUE(test::PumpUntil([&] { return !p.view->PlayCtrl()->PlayUrlPending(); }));
        EXPECT_TRUE(p.flash->calls.contains("LoadMovie 0 http://127.0.0.1:1/Link.SWF"));
        EXPECT_EQ(p.view->m_nPlayState, kStatePlaying);
    }
    IniRegistryStore store;
    ControllerSettings s;
    s.m_bAutoPlay = 7;
    LoadControllerSettings(store, s);
    EXPECT_EQ(s.m_bAutoPlay, 1);
    EXPECT_EQ(s.m_nPlayingMode, 0);
    EXPECT_EQ(s.m_nCurrentPlayingItem, 0);
    QFile::remove(IniRegistryStore().Path());
}

TEST(PlayerView, PlayListRowsPlayThroughTheControllerWithTheCurrentRowInRed) {
    Player p;
    CDragDropListCtrl *list = p.frame.PlayList();
    for (int i = 0; i < 4; ++i) {
        test::SwfSpec spec;
        spec.frameCount = std::uint16_t(10 + i);
        const QString path = Home().filePath(QString("row%1.swf").arg(i));
        test::WriteFile(path, test::BuildSwf(spec) + QByteArray(100, '\0'));
        list->AppendFileRow(path);
    }
    CPlayCtrlDlg *c = p.view->PlayCtrl();
    ASSERT_TRUE(list->PlayRow(1));
    EXPECT_EQ(c->m_nCurrentPlayingItem, 1);
    EXPECT_EQ(p.flash->Movie(), list->RowText(1, 0));
    EXPECT_EQ(test::RowsDrawnRed(*list), QList<int>{1});
    ASSERT_TRUE(p.frame.Commands().Execute(ID_NEXT));
    EXPECT_EQ(c->m_nCurrentPlayingItem, 2);
    EXPECT_EQ(test::RowsDrawnRed(*list), QList<int>{2});

    // Removing a row above the current one leaves one red row: the current one.
    list->clearSelection();
    list->topLevelItem(0)->setSelected(true);
    ASSERT_TRUE(p.frame.Commands().Execute(ID_REMOVE_FROM_LIST));
    ASSERT_EQ(list->RowCount(), 3);
    EXPECT_EQ(c->m_nCurrentPlayingItem, 2);
    EXPECT_EQ(test::RowsDrawnRed(*list), QList<int>{2});

    // Past the last row with auto-close armed and closing at the end on: the frame closes.
    p.frame.m_settings.m_bCloseEndofPlayingList = 1;
    p.frame.m_bAutoCloseArmed = 1;
    ASSERT_TRUE(p.frame.Commands().Execute(ID_NEXT));
    EXPECT_FALSE(p.frame.isVisible());
    p.frame.m_bAutoCloseArmed = 0;
}

TEST(PlayerApp, FirstInstanceReceivesWhatASecondStartHandsOver) {
    Home();
    QTemporaryDir run;
    QStringList ran;
    auto runner = [&](const QString &program, const QStringList &args, bool) {
        ran << program + ' ' + args.join(' ');
        return true;
    };
    CKZPlayerApp first(test::FakeControls());
    first.m_instanceFolder = run.path();
    first.m_runProgram = runner;
    ASSERT_TRUE(first.InitInstance({"KZPlayer", "/m/first.swf"}));
    ASSERT_NE(first.MainFrame(), nullptr);
    QStringList handedOver;
    QObject::connect(first.MainFrame(), &CMainFrame::FileHandedOver,
                     [&](const QString &file) { handedOver << file; });
    EXPECT_EQ(first.m_strCmdLineFile, "/m/first.swf");
    EXPECT_EQ(first.MainFrame()->m_bStartFile, 1);
    EXPECT_TRUE(first.Instance()->Listening()) << "listening once the view is ready";
    EXPECT_TRUE(
        QFile::exists(qEnvironmentVariable("XDG_DATA_HOME") + "/applications/KZPlayer.desktop"));
    EXPECT_TRUE(ran.contains("xdg-mime default KZPlayer.desktop application/x-kzplayer-tpl"));

    CKZPlayerApp second(test::FakeControls());
    second.m_instanceFolder = run.path();
    second.m_runProgram = runner;
    EXPECT_FALSE(second.InitInstance({"KZPlayer", "/m/其他.swf"}));
    EXPECT_EQ(second.MainFrame(), nullptr) << "a second start makes no window";
    CKZPlayerApp third(test::FakeControls());
    third.m_instanceFolder = run.path();
    EXPECT_FALSE(third.InitInstance({"KZPlayer"}));
    ASSERT_TRUE(test::PumpUntil([&] { return handedOver.size() == 2; }));
    EXPECT_EQ(handedOver, (QStringList{"/m/其他.swf", ""}));

    // Set as default Flash player: the status pane thanks the user when every step worked.
    ran.clear();
    ASSERT_TRUE(first.MainFrame()->Commands().Execute(ID_SET_DEFAULT_PLAYER));
    EXPECT_EQ(first.MainFrame()->StatusText(), LoadString(IDS_DEFAULT_PLAYER_DONE));
    EXPECT_EQ(ran.size(), 2);
    first.m_runProgram = [](const QString &, const QStringList &, bool) { return false; };
    first.MainFrame()->SetStatusText("x");
    first.MainFrame()->Commands().Execute(ID_SET_DEFAULT_PLAYER);
    EXPECT_EQ(first.MainFrame()->StatusText(), "x") << "a failure ends silently";
    first.ExitInstance();
}

TEST(PlayerApp, WaitingUpdateGoesToTheNewUpdaterWithoutAWindow) {
    Home();
    QTemporaryDir dir, run;
    ASSERT_TRUE(test::WriteFile(dir.filePath("vupdate"), "old"));
    ASSERT_TRUE(test::WriteFile(dir.filePath("vupdate1"), "new"));
    ASSERT_TRUE(test::WriteFile(dir.filePath("duvez.zip"), "PK"));
    // What a download or an installation that broke off left behind goes first.
    for (const char *scratch : {".vupdate-77-1", "res/.vupdate-77-2", ".duvez.zip.Xy12Zq"})
        ASSERT_TRUE(test::WriteFile(dir.filePath(scratch), "scratch"));
    SetProgramDirOverride(dir.path());
    QStringList ran;
    CKZPlayerApp app(test::FakeControls());
    app.m_instanceFolder = run.path();
    app.m_runProgram = [&](const QString &program, const QStringList &args, bool wait) {
        ran << program + ' ' + args.join(' ') + (wait ? " wait" : "");
        return true;
    };
    EXPECT_FALSE(app.InitInstance({"KZPlayer"}));
    SetProgramDirOverride(test::TestProgramDir());
    EXPECT_EQ(app.MainFrame(), nullptr);
    EXPECT_EQ(ran, QStringList{QDir(dir.path()).filePath("vupdate") + ' '});
    EXPECT_EQ(test::ReadFile(dir.filePath("vupdate")), "new");
    EXPECT_FALSE(QFile::exists(dir.filePath("vupdate1")));
    for (const char *scratch : {".vupdate-77-1", "res/.vupdate-77-2", ".duvez.zip.Xy12Zq"})
        EXPECT_FALSE(QFile::exists(dir.filePath(scratch))) << scratch;

    // An updater that cannot be started does not keep the player from starting.
    SetProgramDirOverride(dir.path());
    CKZPlayerApp stuck(test::FakeControls());
    stuck.m_instanceFolder = run.path();
    stuck.m_runProgram = [](const QString &, const QStringList &, bool) { return false; };
    EXPECT_TRUE(stuck.InitInstance({"KZPlayer"}));
    SetProgramDirOverride(test::TestProgramDir());
    EXPECT_NE(stuck.MainFrame(), nullptr);
    EXPECT_TRUE(QFile::exists(dir.filePath("duvez.zip")));
    stuck.ExitInstance();
}

// A package that arrives while the player runs waits for the next first start: a second start
// hands its file over as always, and neither the updater nor the files change under the
// running player.
TEST(PlayerApp, SecondStartHandsOverItsFileEvenWithAWaitingPackage) {
    Home();
    QTemporaryDir dir, run;
    SetProgramDirOverride(dir.path());
    QStringList ran;
    const auto runner = [&](const QString &program, const QStringList &args, bool) {
        ran << program + ' ' + args.join(' ');
        return true;
    };
    CKZPlayerApp first(test::FakeControls());
    first.m_instanceFolder = run.path();
    first.m_runProgram = runner;
    ASSERT_TRUE(first.InitInstance({"KZPlayer"}));
    QStringList handedOver;
    QObject::connect(first.MainFrame(), &CMainFrame::FileHandedOver,
                     [&](const QString &file) { handedOver << file; });

    ASSERT_TRUE(test::WriteFile(dir.filePath("duvez.zip"), "PK"));
    ASSERT_TRUE(test::WriteFile(dir.filePath("vupdate1"), "new"));
    ASSERT_TRUE(test::WriteFile(dir.filePath(".vupdate-5-5"), "being written"));
    ran.clear();
    CKZPlayerApp second(test::FakeControls());
    second.m_instanceFolder = run.path();
    second.m_runProgram = runner;
    EXPECT_FALSE(second.InitInstance({"KZPlayer", "/m/second.swf"}));
    EXPECT_TRUE(test::PumpUntil([&] { return handedOver.size() == 1; }, 15000));
    SetProgramDirOverride(test::TestProgramDir());
    EXPECT_EQ(handedOver, QStringList{"/m/second.swf"});
    EXPECT_TRUE(ran.isEmpty()) << ran.join('|').toStdString();
    for (const char *name : {"duvez.zip", "vupdate1", ".vupdate-5-5"})
        EXPECT_TRUE(QFile::exists(dir.filePath(name))) << name;
    first.ExitInstance();
}

// A program directory owned by another user takes no update: its package is left alone and
// the player starts.
TEST(PlayerApp, ProgramDirectoryOfAnotherUserIsNotUpdated) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only the superuser can give a folder to another user";
    Home();
    QTemporaryDir dir, run;
    for (const char *name : {"duvez.zip", "vupdate1", ".vupdate-5-5"})
        ASSERT_TRUE(test::WriteFile(dir.filePath(name), "x"));
    ASSERT_EQ(::chown(QFile::encodeName(dir.path()).constData(), 65534, 65534), 0);
    SetProgramDirOverride(dir.path());
    QStringList ran;
    CKZPlayerApp app(test::FakeControls());
    app.m_instanceFolder = run.path();
    app.m_runProgram = [&](const QString &program, const QStringList &, bool) {
        ran << program;
        return true;
    };
    EXPECT_TRUE(app.InitInstance({"KZPlayer"}));
    SetProgramDirOverride(test::TestProgramDir());
    ::chown(QFile::encodeName(dir.path()).constData(), 0, 0);
    EXPECT_NE(app.MainFrame(), nullptr);
    EXPECT_FALSE(ran.contains(QDir(dir.path()).filePath("vupdate")));
    for (const char *name : {"duvez.zip", "vupdate1", ".vupdate-5-5"})
        EXPECT_TRUE(QFile::exists(dir.filePath(name))) << name;
    app.ExitInstance();
}

TEST(PlayerView, RightClickPopsUpThePlayMenu) {
    Player p;
    emit p.flash->RightButtonDown(QPoint(30, 30));
    ASSERT_TRUE(
        test::PumpUntil([&] { return QApplication::activePopupWidget() != nullptr; }, 2000));
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), "播放");
    menu->close();
    test::PumpUntil([] { return QApplication::activePopupWidget() == nullptr; }, 2000);
    QTest::mouseClick(p.view, Qt::RightButton, {}, QPoint(5, 5));
    ASSERT_TRUE(
        test::PumpUntil([&] { return QApplication::activePopupWidget() != nullptr; }, 2000));
    QApplication::activePopupWidget()->close();
}

TEST(PlayerApp, AboutBoxHoldsThreeLinks) {
    Home();
    qputenv("KZPLAYER_SITE", "http://127.0.0.1:8/");
    CAboutDlg dlg;
    qputenv("KZPLAYER_SITE", "http://127.0.0.1:9");
    for (const char *id : {"IDC_1056", "IDC_1072", "IDC_1073"}) {
        auto *link = dlg.findChild<QLabel *>(id);
        ASSERT_NE(link, nullptr) << id;
        EXPECT_TRUE(link->openExternalLinks());
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    }
    EXPECT_TRUE(
        dlg.findChild<QLabel *>("IDC_1056")->text().contains("href=\"http://127.0.0.1:8\""));
    EXPECT_TRUE(dlg.findChild<QLabel *>("IDC_1072")->text().contains("mailto:"));
}

// The view's "静音" and "游戏模式" commands drive the sound panel, with their check marks; game
// mode keeps the screen mode from double-clicks and, full screen, gives the controller's place
// to the "Back" button.
TEST(PlayerView, MuteAndGameModeCommands) {
    Home();
    QFile::remove(IniRegistryStore().Path());
    ControlFactory controls = test::FakeControls();
    test::FakeMixer *mixer = nullptr;
    controls.mixer = [&mixer] {
        auto m = std::make_unique<test::FakeMixer>(test::FakeMixer::Stereo(100, 100, true));
        mixer = m.get();
        return m;
    };
    CMainFrame frame(controls, {});
    frame.resize(800, 600);
    frame.show();
    CKZPlayerView *view = frame.View();
    view->OnInitialUpdate();
    CommandTable &t = frame.Commands();
    CSoundCtrlDlg *panel = view->PlayCtrl()->SoundPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_NE(mixer, nullptr);
    EXPECT_FALSE(mixer->line->muted) << "the player starts with sound on";
    // Right-aligned in the controller, which had its size before the panel was made.
    EXPECT_EQ(panel->geometry().right(), view->PlayCtrl()->width() - 1);
    EXPECT_EQ(panel->geometry().top(), view->PlayCtrl()->Button(IDC_CONTINUE)->geometry().top());
    auto checked = [&](int id) {
        t.UpdateAll();
        return t.Action(id)->isChecked();
    };
    EXPECT_FALSE(checked(ID_MUTE));
    ASSERT_TRUE(t.Execute(ID_MUTE));
    EXPECT_TRUE(mixer->line->muted);
    EXPECT_TRUE(checked(ID_MUTE));
    EXPECT_FALSE(panel->Button(IDC_SOUND)->isHidden());
    ASSERT_TRUE(t.Execute(ID_MUTE));
    EXPECT_FALSE(mixer->line->muted);
    EXPECT_FALSE(checked(ID_MUTE));
    // A change made elsewhere moves the check mark too.
    mixer->MuteElsewhere(true);
    EXPECT_TRUE(test::PumpUntil([&] { return checked(ID_MUTE); }, 2000));

    // Game mode in the window switches auto play off once.
    view->PlayCtrl()->OnAuto();
    EXPECT_FALSE(checked(ID_GAME_MODE));
    ASSERT_TRUE(t.Execute(ID_GAME_MODE));
    EXPECT_TRUE(checked(ID_GAME_MODE));
    EXPECT_TRUE(panel->GameModeBox()->isChecked());
    EXPECT_EQ(view->PlayCtrl()->m_bAutoPlay, 0);
    EXPECT_TRUE(view->m_bGameMode);
    auto *flash = static_cast<FakeFlashControl *>(view->Flash());
    emit flash->LeftButtonDoubleClick(QPoint(10, 10));
    EXPECT_EQ(frame.m_bFullScreen, 0) << "no screen mode by double-click in game mode";
    ASSERT_TRUE(t.Execute(ID_GAME_MODE));
    EXPECT_FALSE(view->m_bGameMode);
    EXPECT_EQ(view->PlayCtrl()->m_bAutoPlay, 0) << "not back on";

    // Full screen: turning game mode on hides the controller and shows Back.
    view->m_nPlayState = kStatePlaying;
    ASSERT_TRUE(t.Execute(ID_FULL_SCREEN));
    view->PlayCtrl()->show(); // as the pointer over it shows it
    ASSERT_TRUE(t.Execute(ID_GAME_MODE));
    EXPECT_FALSE(view->PlayController()->isVisible());
    EXPECT_TRUE(view->BackButton()->isVisible());
    emit flash->LeftButtonDoubleClick(QPoint(10, 10));
    EXPECT_EQ(frame.m_bFullScreen, 1);
    QTest::mouseClick(view->BackButton(), Qt::LeftButton);
    EXPECT_EQ(frame.m_bFullScreen, 0);
    // Off again, so the stored setting does not reach the tests after this one.
    ASSERT_TRUE(t.Execute(ID_GAME_MODE));
    EXPECT_FALSE(view->m_bGameMode);
    frame.close();
}
