// The main frame with fake controls on the offscreen platform: its bars and commands, the
// settings and play-list state it keeps, screen modes, auto-close, hand-overs, drops, the
// options dialogs and the list-file commands.

#include "netsearch/ListDlg.h"
#include "platform/Paths.h"
#include "platform/TextRecords.h"
#include "platform/library/MovieLibrary.h"
#include "platform/registry/Profile.h"
#include "platform/registry/Registry.h"
#include "playback/PlayCtrlDlg.h"
#include "playlist/DragDropListCtrl.h"
#include "playlist/ListFile.h"
#include "playlist/PlayListState.h"
#include "res/Menus.h"
#include "res/StringTable.h"
#include "settings/Settings.h"
#include "shell/HandOver.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"
#include "shell/OptionDlgs.h"
#include "shell/SingleInstance.h"
#include "support/FakeControls.h"
#include "support/FakeFlashControl.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

using namespace kz;

namespace {

// Where the play-list state files and the favourites go: the user's data folder.
QString UserFolder() {
    return test::TestHome().filePath("data/KZPlayer/");
}

// Forgets every setting and state file, as on a new machine.
void FreshStart() {
    test::TestHome();
    QDir(test::TestHome().filePath("config")).removeRecursively();
    QDir(UserFolder()).removeRecursively();
    for (const char *name : {"1list.ini", "2list.ini", "sample.tpl", "MyFavo.tpl"})
        QFile::remove(test::TestProgramDir() + name);
}

// A real movie from the corpus, copied under the given name.
QString Movie(const QString &folder, const QString &name) {
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(name);
    QFile::remove(path);
    const QStringList corpus = test::CorpusFiles();
    if (!corpus.isEmpty())
        QFile::copy(corpus.first(), path);
    else
        test::WriteFile(path, test::BuildSwf({}));
    return path;
}

struct Frame {
    std::unique_ptr<CMainFrame> frame;
    QStringList played; // "row column0 column1"
    explicit Frame(const QString &commandLineFile = {}) {
        test::TestHome();
        frame = std::make_unique<CMainFrame>(test::FakeControls(), commandLineFile);
        frame->show();
        frame->View()->OnInitialUpdate();
        QObject::connect(frame->PlayList(), &CDragDropListCtrl::PlayRowRequested,
                         [this](int row, const QString &c0, const QString &c1) {
                             played << QStringLiteral("%1 %2 %3").arg(row).arg(c0, c1);
                         });
    }
    CMainFrame *operator->() const { return frame.get(); }
    CDragDropListCtrl &Play() const { return *frame->PlayList(); }
    CDragDropListCtrl &Lists() const { return *frame->ListFileList(); }
    bool Enabled(int id) {
        frame->Commands().UpdateAll();
        return frame->Commands().Action(id)->isEnabled();
    }
    bool Checked(int id) {
        frame->Commands().UpdateAll();
        return frame->Commands().Action(id)->isChecked();
    }
    // Closes as the user would, then destroys.
    void CloseAndDestroy() {
        frame->close();
        frame.reset();
    }
};

std::optional<std::uint32_t> MachineDword(const char *name) {
    IniRegistryStore store;
    auto key = store.OpenKey(QString::fromUtf16(kMachineKey));
    return key ? key->QueryDword(QString::fromLatin1(name)) : std::nullopt;
}

QStringList Names(const CDragDropListCtrl &list) {
    QStringList names;
    for (int i = 0; i < list.RowCount(); ++i)
        names << list.RowText(i, 1);
    return names;
}

} // namespace

TEST(MainFrame, BarsMenusAndStatusPane) {
    FreshStart();
    Frame f;
    // Menu 128's first three sub-menus, in the order the context menus rely on.
    ASSERT_NE(f->SubMenu(2), nullptr);
    EXPECT_EQ(f->SubMenu(0)->title(), "文件");
    EXPECT_EQ(f->SubMenu(1)->title(), "列表");
    EXPECT_EQ(f->SubMenu(2)->title(), "播放");

    // Twelve labelled buttons in order, all of one size.
    QToolBar *bar = f->ToolBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->objectName(), "ID_59392");
    EXPECT_EQ(f->toolBarArea(bar), Qt::TopToolBarArea);
    const QList<QToolButton *> buttons = bar->findChildren<QToolButton *>(
        QRegularExpression("^ID_\\d+$"), Qt::FindDirectChildrenOnly);
    QStringList labels;
    QList<int> ids;
    for (QToolButton *b : buttons) {
        labels << b->text();
        ids << b->objectName().mid(3).toInt();
        EXPECT_EQ(b->size(), buttons.first()->size()) << b->text().toStdString();
        EXPECT_GE(b->width(), b->sizeHint().width());
    }
    EXPECT_EQ(labels, (QStringList{"打开", "搜索目录", "搜索IE", "最喜欢", "上次播放", "新列表",
                                   "打开列表", "选项", "设为默认", "放大", "缩小", "Flash工具"}));
    EXPECT_EQ(ids, ToolBarCommands());
    EXPECT_EQ(ids.first(), ID_FILE_OPEN);

    // The list bar "My Bar" (123), docked left, holding the panel with its two lists.
    QDockWidget *dock = f->ListBarDock();
    EXPECT_EQ(dock->windowTitle(), "My Bar");
    EXPECT_EQ(dock->objectName(), "ID_123");
    EXPECT_EQ(f->dockWidgetArea(dock), Qt::LeftDockWidgetArea);
    ASSERT_NE(dock->findChild<CDragDropListCtrl *>("IDC_1023"), nullptr);
    ASSERT_NE(dock->findChild<CDragDropListCtrl *>("IDC_1024"), nullptr);
    EXPECT_EQ(f.Play().headerItem()->text(1), "动画文件");
    EXPECT_EQ(f.Lists().headerItem()->text(1), "列表文件");
    EXPECT_EQ(f.Play().columnWidth(0), 0) << "the path column is hidden";

    // Pane 110 starts "准备好" and widens to a longer text.
    auto *pane = f->statusBar()->findChild<QLabel *>("IDS_110");
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->text(), "准备好");
    const QString longer = "一个相当长的状态栏文字，足以让窗格变宽";
    f->SetStatusText(longer);
    EXPECT_EQ(f->StatusText(), longer);
    EXPECT_GE(pane->minimumWidth(), pane->fontMetrics().horizontalAdvance(longer));

    // The list bar toggles and shows its state as a check.
    EXPECT_TRUE(f.Checked(ID_LIST_BAR));
    f->Commands().Execute(ID_LIST_BAR);
    EXPECT_TRUE(dock->isHidden());
    EXPECT_FALSE(f.Checked(ID_LIST_BAR));
    f->Commands().Execute(ID_LIST_BAR);
    EXPECT_FALSE(dock->isHidden());
}

TEST(MainFrame, CommandsEnableAndCheckAsTheirRulesSay) {
    FreshStart();
    Frame f;
    for (int id : {ID_FILE_OPEN, ID_NET_SEARCH, ID_LAST_PLAY_LIST, ID_FAVOURITE_LIST,
                   ID_OPEN_LIST_FILE, ID_NEW_LIST_FILE, ID_APP_EXIT, ID_FULL_SCREEN, ID_ACTUAL_SIZE,
                   ID_LIST_BAR, ID_TOP_MOST, ID_IMAGE_OPTIONS, ID_BROWSE_IMAGE_FOLDER,
                   ID_SET_WALLPAPER, ID_CONFIGURATION, ID_FTP_CLIENT, ID_RUN_UPDATER})
        EXPECT_TRUE(f.Enabled(id)) << id;
    // Commands on the play list's selection.
    const int selectionCommands[] = {ID_SAVE_AS_LIST_FILE, ID_ADD_TO_LIST_FILE,
                                     ID_ADD_TO_FAVOURITES};
    for (int id : selectionCommands)
        EXPECT_FALSE(f.Enabled(id)) << id;
    f.Play().AppendRow("/m/a.swf", "a.swf");
    for (int id : selectionCommands)
        EXPECT_FALSE(f.Enabled(id)) << "rows but no selection " << id;
    f.Play().SelectOnly(0);
    for (int id : selectionCommands)
        EXPECT_TRUE(f.Enabled(id)) << id;
    // The selection as movie references: files as they are, list-file entries joined.
    f.Play().AppendRow("/l/Box.TPL", "in.swf");
    f.Play().AppendRow("/m/noext", "noext");
    f.Play().topLevelItem(1)->setSelected(true);
    f.Play().topLevelItem(2)->setSelected(true);
    EXPECT_EQ(f->SelectedMovieReferences(),
              (QStringList{"/m/a.swf", "/l/Box.TPL/in.swf", "/m/noext/noext"}));

    // Auto-close needs one of its two options.
    EXPECT_TRUE(f.Enabled(ID_AUTO_CLOSE));
    f->m_settings.m_bCloseTimeout = 0;
    EXPECT_TRUE(f.Enabled(ID_AUTO_CLOSE));
    f->m_settings.m_bCloseEndofPlayingList = 0;
    EXPECT_FALSE(f.Enabled(ID_AUTO_CLOSE));
    EXPECT_FALSE(f->Commands().Execute(ID_AUTO_CLOSE));
    EXPECT_EQ(f->m_bAutoCloseArmed, 0);

    // Checks follow the flags.
    EXPECT_FALSE(f.Checked(ID_TOP_MOST));
    f->Commands().Execute(ID_TOP_MOST);
    EXPECT_TRUE(f.Checked(ID_TOP_MOST));
    EXPECT_TRUE(f->windowFlags() & Qt::WindowStaysOnTopHint);
    f->Commands().Execute(ID_TOP_MOST);
    EXPECT_FALSE(f->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(f.Checked(ID_NET_SEARCH));
    f->Commands().Execute(ID_NET_SEARCH);
    EXPECT_TRUE(f.Checked(ID_NET_SEARCH));
    EXPECT_FALSE(f.Play().isVisible()) << "the search face hides the lists";
    f->ListBar()->findChild<QPushButton *>("IDC_1084")->click();
    EXPECT_FALSE(f.Checked(ID_NET_SEARCH)) << "\"<--\" runs the net-search command";
    EXPECT_TRUE(f.Play().isVisible());

    // Programs: the FTP client by name, the updater from the program directory.
    QStringList started;
    f->m_services.startProgram = [&](const QString &p, const QStringList &) {
        started << p;
        return true;
    };
    f->Commands().Execute(ID_FTP_CLIENT);
    f->Commands().Execute(ID_RUN_UPDATER);
    EXPECT_EQ(started, (QStringList{"Vantrelftpc", ProgramDir() + "vupdate"}));
    QString opened;
    f->m_services.openFolder = [&](const QString &folder) {
        opened = folder;
        return true;
    };
    f->Commands().Execute(ID_BROWSE_IMAGE_FOLDER);
    EXPECT_EQ(opened, f->m_settings.m_strSavedDirectory);
}

TEST(MainFrame, TwoHandOversWithinTheIntervalAddBothAndStartTheFirst) {
    FreshStart();
    Frame f;
    f->OnCopyData(kHandOverFile, FileNameBytes("/m/one.swf"));
    QTest::qWait(100);
    f->OnCopyData(kHandOverFile, FileNameBytes("/m/Two.SWF"));
    EXPECT_EQ(f->m_nPendingPlayItem, 0);
    EXPECT_TRUE(f->TimerActive(kHandOverTimer.id));
    EXPECT_EQ(Names(f.Play()), (QStringList{"one.swf", "Two.SWF"}));
    EXPECT_TRUE(f.played.isEmpty()) << "nothing plays before the interval";
    ASSERT_TRUE(test::PumpUntil([&] { return !f.played.isEmpty(); }, 3000));
    QTest::qWait(700);
    EXPECT_EQ(f.played, QStringList{"0 /m/one.swf one.swf"});
    EXPECT_EQ(f->m_nPendingPlayItem, -1);
    EXPECT_FALSE(f->TimerActive(kHandOverTimer.id));

    // A list file joins the list-file list; other names change nothing.
    f->OnCopyData(kHandOverFile, FileNameBytes("/l/list.TPL"));
    EXPECT_EQ(Names(f.Lists()), QStringList{"list.TPL"});
    for (const QString &other :
         {QString("/m/readme.txt"), QString("/m.swf/noext"), QString(""), QString("/m/x.swfx")})
        f->OnCopyData(kHandOverFile, FileNameBytes(other));
    f->OnCopyData(kHandOverFile, QByteArray("\x41", 1)); // an odd byte count
    EXPECT_EQ(f.Play().RowCount(), 2);
    EXPECT_EQ(f.Lists().RowCount(), 1);
    EXPECT_FALSE(f->TimerActive(kHandOverTimer.id));
}

TEST(MainFrame, FtpClientGetsOneReplyPerListFile) {
    FreshStart();
    QTemporaryDir run;
    Frame f;
    f->m_instanceFolder = run.path();
    SingleInstance client(run.path(), "Vobi FTP Client");
    ASSERT_TRUE(client.Listen());
    QList<HandOverRecord> replies;
    QObject::connect(&client, &SingleInstance::RecordReceived,
                     [&](quint32 word, const QByteArray &data) {
                         replies << HandOverRecord{word, data};
                     });
    f.Lists().AppendRow("/l/a.tpl", "a.tpl");
    f.Lists().AppendRow("/l/列表.tpl", "列表.tpl");
    // A request with data is not a request.
    f->OnCopyData(kHandOverFtpClient, FileNameBytes("/x"));
    f->OnCopyData(kHandOverFtpClient, {});
    ASSERT_TRUE(test::PumpUntil([&] { return replies.size() == 2; }, 3000));
    QTest::qWait(100);
    ASSERT_EQ(replies.size(), 2);
    EXPECT_EQ(replies[0], (HandOverRecord{0x8888, FileNameBytes("/l/a.tpl")}));
    EXPECT_EQ(replies[1], (HandOverRecord{0x8888, FileNameBytes("/l/列表.tpl")}));
    EXPECT_EQ(f.Play().RowCount(), 0);

    // Without a client nothing blocks or fails.
    QTemporaryDir empty;
    f->m_instanceFolder = empty.path();
    f->OnCopyData(kHandOverFtpClient, {});
}

TEST(MainFrame, DroppedMoviesAndListFilesJoinTheirLists) {
    FreshStart();
    QTemporaryDir dir;
    const QString movie = Movie(dir.path(), "dropped.swf");
    const QString list = dir.filePath("dropped.tpl");
    ASSERT_TRUE(CreateListFile(list));
    QDir().mkpath(dir.filePath("folder.swf"));
    test::WriteFile(dir.filePath("notes.txt"), "x");
    Frame f;
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(movie), QUrl::fromLocalFile(dir.filePath("folder.swf")),
                  QUrl::fromLocalFile(dir.filePath("notes.txt")), QUrl::fromLocalFile(list),
                  QUrl("http://127.0.0.1/web.swf")});
    const QPointF at(f->width() / 2.0, f->height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.frame.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.frame.get(), &drop);
    EXPECT_EQ(f.Play().RowCount(), 1);
    EXPECT_EQ(f.Play().Row(0), (PlayListRow{movie, "dropped.swf"}));
    EXPECT_EQ(f.Play().ItemData(0), 0);
    EXPECT_EQ(f.Lists().Rows(), (std::vector<PlayListRow>{{list, "dropped.tpl"}}));
    QTest::qWait(700);
    EXPECT_TRUE(f.played.isEmpty()) << "a drop plays nothing";
}

TEST(MainFrame, AutoCloseArmsItsTimerAndTheEndOfListRule) {
    FreshStart();
    {
        Frame f;
        EXPECT_FALSE(f->CloseAtEndOfPlayList()) << "not armed";
        f->m_settings.m_CloseTimeOutValue = 7;
        f->Commands().Execute(ID_AUTO_CLOSE);
        EXPECT_EQ(f->m_bAutoCloseArmed, 1);
        EXPECT_TRUE(f.Checked(ID_AUTO_CLOSE));
        ASSERT_TRUE(f->TimerActive(kAutoCloseTimer.id));
        EXPECT_EQ(f->findChild<QTimer *>("timer100")->interval(), 7 * 60000);
        f->Commands().Execute(ID_AUTO_CLOSE);
        EXPECT_FALSE(f->TimerActive(kAutoCloseTimer.id));

        // Without the time-out only the end-of-list rule applies.
        f->m_settings.m_bCloseTimeout = 0;
        f->Commands().Execute(ID_AUTO_CLOSE);
        EXPECT_EQ(f->m_bAutoCloseArmed, 1);
        EXPECT_FALSE(f->TimerActive(kAutoCloseTimer.id));
        f->m_settings.m_bCloseEndofPlayingList = 0;
        EXPECT_FALSE(f->CloseAtEndOfPlayList());
        EXPECT_TRUE(f->isVisible());
        f->m_settings.m_bCloseEndofPlayingList = 1;
        EXPECT_TRUE(f->CloseAtEndOfPlayList());
        EXPECT_FALSE(f->isVisible()) << "the end of the list closed the frame";
    }
    {
        // A time-out of 0 minutes closes at once; a huge one does not overflow to 0.
        Frame f;
        f->m_settings.m_bCloseTimeout = 1;
        f->m_settings.m_CloseTimeOutValue = 100000;
        f->Commands().Execute(ID_AUTO_CLOSE);
        EXPECT_GT(f->findChild<QTimer *>("timer100")->interval(), 0);
        f->Commands().Execute(ID_AUTO_CLOSE);
        f->m_settings.m_CloseTimeOutValue = 0;
        f->Commands().Execute(ID_AUTO_CLOSE);
        EXPECT_TRUE(test::PumpUntil([&] { return !f->isVisible(); }, 2000));
    }
}

TEST(MainFrame, ScreenModesCoverTheScreenAndComeBack) {
    FreshStart();
    Frame f;
    f->setGeometry(60, 70, 700, 500);
    QTest::qWait(50);
    const QRect before = f->geometry();
    const QRect screen = f->screen()->geometry();

    f->Commands().Execute(ID_FULL_SCREEN);
    ASSERT_TRUE(test::PumpUntil([&] { return f->View()->size() == screen.size(); }, 3000));
    EXPECT_EQ(QRect(f->View()->mapToGlobal(QPoint(0, 0)), f->View()->size()), screen);
    EXPECT_TRUE(f.Checked(ID_FULL_SCREEN));
    EXPECT_TRUE(f->menuBar()->isHidden());
    EXPECT_TRUE(f->ListBarDock()->isHidden());

    // Actual size from full screen: the window stays, one flag replaces the other.
    f->Commands().Execute(ID_ACTUAL_SIZE);
    EXPECT_EQ(f->m_bFullScreen, 0);
    EXPECT_EQ(f->m_bActualSize, 1);
    EXPECT_EQ(f->View()->size(), screen.size());
    // Leaving returns to the placement before the first mode.
    f->Commands().Execute(ID_ACTUAL_SIZE);
    ASSERT_TRUE(test::PumpUntil([&] { return f->geometry() == before; }, 3000));
    EXPECT_FALSE(f->menuBar()->isHidden());
    EXPECT_FALSE(f->ListBarDock()->isHidden());
    EXPECT_FALSE(f->ToolBar()->isHidden());
    EXPECT_LT(f->View()->width(), screen.width());

    // Closed in a screen mode, the frame keeps the normal window's rectangle, not the screen's.
    f->Commands().Execute(ID_FULL_SCREEN);
    ASSERT_TRUE(test::PumpUntil([&] { return f->View()->size() == screen.size(); }, 3000));
    f.CloseAndDestroy();
    IniRegistryStore machine;
    const std::optional<StoredWindowRect> stored = LoadWindowRect(machine);
    ASSERT_TRUE(stored);
    EXPECT_EQ(QRect(QPoint(stored->left, stored->top), QPoint(stored->right, stored->bottom)),
              before.adjusted(0, 0, 1, 1));
}

TEST(MainFrame, StateFilesAndSettingsAcrossStarts) {
    FreshStart();
    QTemporaryDir dir;
    const QString a = Movie(dir.path(), "a.swf"), b = Movie(dir.path(), "b.swf");
    const QString list = dir.filePath("Box.tpl");
    ASSERT_TRUE(CreateListFile(list));
    ASSERT_TRUE(AddMovie(a, list));
    ASSERT_TRUE(CreateListFile(test::TestProgramDir() + "sample.tpl"));

    {
        // First start: the sample list is offered, and the flag is stored as 1.
        Frame f;
        EXPECT_EQ(f->m_settings.m_bFirstRun, 1);
        EXPECT_EQ(f.Lists().Rows(), (std::vector<PlayListRow>{
                                        {test::TestProgramDir() + "sample.tpl", "sample.tpl"}}));
        f.Play().AppendFileRow(a);
        f.Play().AppendRow(list, "a.swf");
        f.Play().AppendFileRow(b);
        f.Lists().AppendFileRow(list);
        f->setGeometry(110, 90, 640, 480);
        f->m_settings.m_nIEFilterSize = 321;
        f.CloseAndDestroy();
    }
    EXPECT_EQ(MachineDword("m_bFirstRun"), 1u);
    EXPECT_EQ(MachineDword("m_nIEFilterSize"), 321u);
    EXPECT_EQ(ReadTextRecordFile(UserFolder() + "1list.ini"), (QStringList{a, list + "/a.swf", b}));

    QFile::remove(b); // gone by the next start: dropped silently
    {
        Frame f;
        EXPECT_EQ(f->m_settings.m_bFirstRun, 0);
        EXPECT_EQ(f->m_settings.m_nIEFilterSize, 321);
        EXPECT_EQ(f.Play().Rows(), (std::vector<PlayListRow>{{a, "a.swf"}, {list, "a.swf"}}));
        EXPECT_EQ(f.Play().ItemData(1), 1);
        EXPECT_EQ(Names(f.Lists()), (QStringList{"sample.tpl", "Box.tpl"}));
        EXPECT_EQ(f->geometry(), QRect(110, 90, 640, 480)) << "back where it was";
        f.CloseAndDestroy();
    }
    EXPECT_EQ(MachineDword("m_bFirstRun"), 0u);

    {
        // A movie on the command line: it alone in the play list, the list files restored.
        Frame f(b + ".missing.swf");
        EXPECT_EQ(f->m_bStartFile, 1);
        EXPECT_EQ(Names(f.Play()), QStringList{"b.swf.missing.swf"});
        EXPECT_EQ(f.Lists().RowCount(), 2);
        f.frame.reset(); // destroyed without a close: the state files stay
    }
    {
        // A list file on the command line restores neither list; the close writes the short ones.
        Frame f(list);
        EXPECT_EQ(f->m_bStartFile, 0);
        EXPECT_EQ(f.Play().RowCount(), 0);
        EXPECT_EQ(f.Lists().Rows(), (std::vector<PlayListRow>{{list, "Box.tpl"}}));
        f.CloseAndDestroy();
    }
    EXPECT_EQ(ReadTextRecordFile(UserFolder() + "1list.ini"), QStringList{});
    EXPECT_EQ(ReadTextRecordFile(UserFolder() + "2list.ini"), QStringList{list});
}

TEST(MainFrame, BarLayoutIsKeptAndAForeignOneIgnored) {
    FreshStart();
    {
        Frame f;
        f->Commands().Execute(ID_LIST_BAR);
        f->removeDockWidget(f->ListBarDock());
        f->addDockWidget(Qt::RightDockWidgetArea, f->ListBarDock());
        f.CloseAndDestroy();
    }
    ProfileStore profile;
    EXPECT_EQ(profile.GetProfileInt("BarState-Summary", "Bars", 0), 2);
    EXPECT_EQ(profile.GetProfileInt("BarState-Bar1", "BarID", 0), 123);
    // Every orientation's size is written, not only the present one's.
    for (const char *name :
         {"sizeHorzCX", "sizeHorzCY", "sizeVertCX", "sizeVertCY", "sizeFloatCX", "sizeFloatCY"})
        EXPECT_GT(profile.GetProfileInt("BarState-SCBar-123", name, 0), 0) << name;
    {
        Frame f;
        EXPECT_TRUE(f->ListBarDock()->isHidden());
        EXPECT_EQ(f->dockWidgetArea(f->ListBarDock()), Qt::RightDockWidgetArea);
        f->Commands().Execute(ID_LIST_BAR);
        f.frame.reset();
    }
    // A layout naming a bar this frame does not have is not taken.
    {
        ProfileStore p;
        p.WriteProfileInt("BarState-Bar1", "BarID", 4711);
        p.Flush();
    }
    Frame f;
    EXPECT_EQ(f->dockWidgetArea(f->ListBarDock()), Qt::LeftDockWidgetArea);
}

TEST(MainFrame, ConfigurationDialogCopiesBackOnlyOnOk) {
    FreshStart();
    Frame f;
    f->m_settings.m_CloseTimeOutValue = 30;
    f->m_settings.m_nSearchEngine = 2;
    QStringList prompts;
    int shown = 0;
    f->m_services.runDialog = [&](QDialog &dlg) {
        ++shown;
        auto *cfg = dynamic_cast<CConfigDlg *>(&dlg);
        EXPECT_NE(cfg, nullptr);
        if (!cfg)
            return int(QDialog::Rejected);
        cfg->m_prompt = [&](const QString &t) { prompts << t; };
        EXPECT_EQ(dlg.findChild<QLineEdit *>("IDC_1028")->text(), "30");
        EXPECT_TRUE(dlg.findChild<QRadioButton *>("IDC_1087")->isChecked());
        dlg.findChild<QLineEdit *>("IDC_1046")->setText("12kb");
        dlg.accept();
        EXPECT_FALSE(dlg.result() == QDialog::Accepted) << "a non-integer keeps it open";
        dlg.findChild<QLineEdit *>("IDC_1046")->setText("250");
        dlg.findChild<QLineEdit *>("IDC_1028")->setText("5");
        dlg.findChild<QCheckBox *>("IDC_1047")->setChecked(false);
        dlg.findChild<QCheckBox *>("IDC_1075")->setChecked(true);
        dlg.findChild<QRadioButton *>("IDC_1088")->setChecked(true);
        // "信任的目录": one added twice is kept once.
        cfg->m_browseTrusted = [] { return QStringLiteral("/srv/flash games"); };
        dlg.findChild<QPushButton *>("IDC_1121")->click();
        dlg.findChild<QPushButton *>("IDC_1121")->click();
        dlg.accept();
        return dlg.result();
    };
    f->Commands().Execute(ID_CONFIGURATION);
    IniRegistryStore machine;
    EXPECT_EQ(LoadTrustedFolders(machine), QStringList{"/srv/flash games"});
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(prompts, QStringList{"Please enter an integer."});
    EXPECT_EQ(f->m_settings.m_nIEFilterSize, 250);
    EXPECT_EQ(f->m_settings.m_CloseTimeOutValue, 5);
    EXPECT_EQ(f->m_settings.m_bCloseTimeout, 0);
    EXPECT_EQ(f->m_settings.m_bTaskBar, 1);
    EXPECT_EQ(f->m_settings.m_nSearchEngine, 3);

    // The library's two engines follow the four with buttons of their own.
    for (const auto &[stored, shownId, pickedId, picked] :
         {std::tuple{5, "IDC_1090", "IDC_1089", 4}, std::tuple{4, "IDC_1089", "IDC_1090", 5}}) {
        f->m_settings.m_nSearchEngine = stored;
        f->m_services.runDialog = [&](QDialog &dlg) {
            EXPECT_TRUE(dlg.findChild<QRadioButton *>(shownId)->isChecked()) << shownId;
            dlg.findChild<QRadioButton *>(pickedId)->setChecked(true);
            dlg.accept();
            return dlg.result();
        };
        f->Commands().Execute(ID_CONFIGURATION);
        EXPECT_EQ(f->m_settings.m_nSearchEngine, picked);
    }

    // Cancel changes nothing.
    f->m_services.runDialog = [](QDialog &dlg) {
        dlg.findChild<QLineEdit *>("IDC_1028")->setText("99");
        dlg.reject();
        return int(QDialog::Rejected);
    };
    f->Commands().Execute(ID_CONFIGURATION);
    EXPECT_EQ(f->m_settings.m_CloseTimeOutValue, 5);
}

TEST(MainFrame, ImageOptionsDialogTakesTheCaptureSettings) {
    FreshStart();
    Frame f;
    f->m_settings.m_strSavedDirectory.clear();
    f->m_settings.m_bSavedInClipboard = 1;
    f->m_settings.m_bGifFormat = 1;
    f->m_settings.m_bBmpFormat = 0;
    f->m_services.runDialog = [&](QDialog &dlg) {
        EXPECT_EQ(dlg.windowTitle(), "图象选项");
        EXPECT_EQ(dlg.findChild<QLineEdit *>("IDC_1027")->text(), "/")
            << "an empty folder keeps the dialog's own";
        EXPECT_TRUE(dlg.findChild<QCheckBox *>("IDC_1029")->isChecked());
        EXPECT_FALSE(dlg.findChild<QCheckBox *>("IDC_1071")->isChecked());
        EXPECT_TRUE(dlg.findChild<QCheckBox *>("IDC_1073")->isChecked());
        auto *img = dynamic_cast<CImageOptionDlg *>(&dlg);
        QString asked;
        img->m_browseFolder = [&](const QString &current) {
            asked = current;
            return QString("/pictures/截图");
        };
        dlg.findChild<QPushButton *>("IDC_1031")->click();
        EXPECT_EQ(asked, "/") << "the browser starts at the folder in the edit";
        EXPECT_EQ(dlg.findChild<QLineEdit *>("IDC_1027")->text(), "/pictures/截图");
        // The formats are independent boxes: PNG and JPEG join GIF.
        dlg.findChild<QCheckBox *>("IDC_1074")->setChecked(true);
        dlg.findChild<QCheckBox *>("IDC_1072")->setChecked(true);
        dlg.findChild<QCheckBox *>("IDC_1073")->setChecked(false);
        dlg.findChild<QCheckBox *>("IDC_1030")->setChecked(false);
        dlg.accept();
        return dlg.result();
    };
    f->Commands().Execute(ID_IMAGE_OPTIONS);
    EXPECT_EQ(f->m_settings.m_strSavedDirectory, "/pictures/截图");
    EXPECT_EQ(f->m_settings.m_bSavedInFile, 0);
    EXPECT_EQ(f->m_settings.m_bGifFormat, 0);
    EXPECT_EQ(f->m_settings.m_bPngFormat, 1);
    EXPECT_EQ(f->m_settings.m_bJpgFormat, 1);
    EXPECT_EQ(f->m_settings.m_bBmpFormat, 0);

    // All four on come back all four on.
    f->m_settings.m_bBmpFormat = f->m_settings.m_bGifFormat = 1;
    f->m_services.runDialog = [&](QDialog &dlg) {
        for (int id = 1071; id <= 1074; ++id)
            EXPECT_TRUE(dlg.findChild<QCheckBox *>(QString("IDC_%1").arg(id))->isChecked()) << id;
        dlg.accept();
        return dlg.result();
    };
    f->Commands().Execute(ID_IMAGE_OPTIONS);
    EXPECT_EQ(f->m_settings.m_bBmpFormat + f->m_settings.m_bJpgFormat + f->m_settings.m_bGifFormat +
                  f->m_settings.m_bPngFormat,
              4);
}

TEST(MainFrame, ListFileCommands) {
    FreshStart();
    QTemporaryDir dir;
    const QString a = Movie(dir.path(), "a.swf"), b = Movie(dir.path(), "b.swf");
    Frame f;
    QStringList openAnswer;
    QString saveAnswer;
    QStringList asked;
    f->m_services.openFiles = [&](const QString &d, const QString &filter, bool multi) {
        asked << d + "|" + filter + "|" + (multi ? "multi" : "single");
        return openAnswer;
    };
    f->m_services.saveFile = [&](const QString &d, const QString &filter, const QString &suffix) {
        asked << d + "|" + filter + "|" + suffix;
        return saveAnswer;
    };

    // New list file.
    saveAnswer = dir.filePath("new.tpl");
    f->Commands().Execute(ID_NEW_LIST_FILE);
    EXPECT_TRUE(QFile::exists(saveAnswer));
    EXPECT_EQ(f.Lists().Rows(), (std::vector<PlayListRow>{{saveAnswer, "new.tpl"}}));
    EXPECT_EQ(f->m_settings.m_strTplDefaultDir, dir.path() + "/");
    EXPECT_EQ(asked.takeFirst(), "|Vobi List Files(*.tpl)|tpl");

    // Open: several files, a missing one skipped.
    openAnswer = {saveAnswer, dir.filePath("missing.tpl")};
    f->Commands().Execute(ID_OPEN_LIST_FILE);
    EXPECT_EQ(f.Lists().RowCount(), 2);
    EXPECT_EQ(asked.takeFirst(), dir.path() + "/|Vobi List Files(*.tpl)|multi");

    // Open movies: appended, the first played, the list face shown.
    openAnswer = {a, b};
    f->Commands().Execute(ID_FILE_OPEN);
    EXPECT_EQ(asked.takeFirst(), "|Flash Files(*.swf)|multi");
    EXPECT_EQ(Names(f.Play()), (QStringList{"a.swf", "b.swf"}));
    EXPECT_EQ(f.played, QStringList{"0 " + a + " a.swf"});
    EXPECT_EQ(f->m_settings.m_bNetSearchView, 0);
    EXPECT_EQ(f->m_settings.m_strSwfDefaultDir, dir.path() + "/");

    // Add to list file: the selected movie files go in.
    f.Play().SelectOnly(1);
    openAnswer = {saveAnswer};
    f->Commands().Execute(ID_ADD_TO_LIST_FILE);
    EXPECT_EQ(asked.takeFirst(), dir.path() + "/|Vobi List Files(*.tpl)|single");
    QStringList entries;
    ASSERT_TRUE(ListEntries(saveAnswer, entries));
    EXPECT_EQ(entries, QStringList{"b.swf"});

    // Save as list file: a movie file and an entry of a list file, into the very list file
    // that holds the entry. Nothing of it is lost.
    f.Play().AppendRow(saveAnswer, "b.swf");
    f.Play().clearSelection();
    f.Play().topLevelItem(0)->setSelected(true);
    f.Play().topLevelItem(2)->setSelected(true);
    f->Commands().Execute(ID_SAVE_AS_LIST_FILE);
    entries.clear();
    ASSERT_TRUE(ListEntries(saveAnswer, entries));
    entries.sort();
    EXPECT_EQ(entries, (QStringList{"a.swf", "b.swf"}));
    EXPECT_EQ(f.Lists().RowCount(), 3);
    EXPECT_FALSE(QFile::exists(saveAnswer + ".new"));
    const QString extracted = dir.filePath("out.swf");
    ASSERT_TRUE(ExtractEntry(extracted, "b.swf", saveAnswer));
    EXPECT_EQ(test::ReadFile(extracted), test::ReadFile(b));

    // Cancelled dialogs do nothing.
    saveAnswer.clear();
    openAnswer.clear();
    f->Commands().Execute(ID_SAVE_AS_LIST_FILE);
    f->Commands().Execute(ID_NEW_LIST_FILE);
    f->Commands().Execute(ID_FILE_OPEN);
    EXPECT_EQ(f.Lists().RowCount(), 3);
    EXPECT_EQ(f.Play().RowCount(), 3);
}

TEST(MainFrame, FavouritesAndTheLastPlayList) {
    FreshStart();
    QTemporaryDir dir;
    const QString a = Movie(dir.path(), "a.swf"), b = Movie(dir.path(), "b.swf");
    Frame f;
    // An empty favourites list changes nothing.
    f.Play().AppendFileRow(a);
    f->Commands().Execute(ID_FAVOURITE_LIST);
    EXPECT_EQ(f.Play().RowCount(), 1);

    f.Play().AppendFileRow(b);
    f.Play().SelectOnly(1);
    // The favourites live in the user's data folder, made when it is missing.
    EXPECT_EQ(f->FavouritesPath(), UserFolder() + "MyFavo.tpl");
    QDir(UserFolder()).removeRecursively();
    f->Commands().Execute(ID_ADD_TO_FAVOURITES);
    ASSERT_TRUE(QFile::exists(f->FavouritesPath()));
    f.Play().SelectOnly(0);
    f->Commands().Execute(ID_ADD_TO_FAVOURITES);
    f->Commands().Execute(ID_FAVOURITE_LIST);
    EXPECT_EQ(f.Play().RowCount(), 2);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(f.Play().RowText(i, 0), f->FavouritesPath());
    QStringList names = Names(f.Play());
    names.sort();
    EXPECT_EQ(names, (QStringList{"a.swf", "b.swf"}));

    // The favourites file cannot be made: the message, nothing else.
    QFile::remove(f->FavouritesPath());
    QDir().mkpath(f->FavouritesPath() + "/blocked");
    QStringList messages;
    f->m_services.message = [&](const QString &t) { messages << t; };
    f.Play().SelectOnly(0);
    f->Commands().Execute(ID_ADD_TO_FAVOURITES);
    EXPECT_EQ(messages, QStringList{"不能创建我最喜爱的列表文件！"});
    QDir(f->FavouritesPath()).removeRecursively();

    // Last play list: an empty state file reports and keeps the list.
    ASSERT_TRUE(WriteTextRecordFile(UserFolder() + "1list.ini", {}));
    f->Commands().Execute(ID_LAST_PLAY_LIST);
    EXPECT_EQ(f->StatusText(), "没有找到符合要求的Flash文件");
    EXPECT_EQ(f.Play().RowCount(), 2);
    // A state file whose records all fail still empties the list.
    ASSERT_TRUE(WriteTextRecordFile(UserFolder() + "1list.ini", {dir.filePath("gone.swf")}));
    f->SetStatusText("x");
    f->Commands().Execute(ID_LAST_PLAY_LIST);
    EXPECT_EQ(f.Play().RowCount(), 0);
    EXPECT_EQ(f->StatusText(), "x");
    ASSERT_TRUE(WriteTextRecordFile(UserFolder() + "1list.ini", {b, a}));
    f->Commands().Execute(ID_LAST_PLAY_LIST);
    EXPECT_EQ(Names(f.Play()), (QStringList{"b.swf", "a.swf"}));
}

// --- The user's files: the program directory only ships, the state is the user's. ---

namespace {

// Names, sizes and times of everything in a folder, to see that nothing there changed.
QStringList FolderState(const QString &folder) {
    QStringList out;
    for (const QFileInfo &info : QDir(folder).entryInfoList(
             QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name))
        out << QStringLiteral("%1 %2 %3")
                   .arg(info.fileName())
                   .arg(info.size())
                   .arg(info.lastModified().toMSecsSinceEpoch());
    return out;
}

// Another user of the same machine: a home of their own until this goes.
struct OtherUser {
    QTemporaryDir home;
    OtherUser() { test::UsePrivateHome(home.path()); }
    ~OtherUser() { Back(); }
    void Back() { test::UsePrivateHome(test::TestHome().path()); }
    void Again() { test::UsePrivateHome(home.path()); }
    QString Folder() const { return home.filePath("data/KZPlayer/"); }
};

} // namespace

TEST(MainFrame, ReadOnlyProgramDirectoryKeepsTheListsInTheUsersFolder) {
    FreshStart();
    QTemporaryDir dir;
    const QString a = Movie(dir.path(), "a.swf");
    const QString list = dir.filePath("Box.tpl");
    ASSERT_TRUE(CreateListFile(list));
    ASSERT_TRUE(CreateListFile(test::TestProgramDir() + "sample.tpl"));
    const QFile::Permissions before = QFile::permissions(test::TestProgramDir());
    ASSERT_TRUE(QFile::setPermissions(test::TestProgramDir(), QFile::ReadOwner | QFile::ExeOwner |
                                                                  QFile::ReadOther |
                                                                  QFile::ExeOther));
    const QStringList shipped = FolderState(test::TestProgramDir());
    {
        Frame f;
        EXPECT_EQ(Names(f.Lists()), QStringList{"sample.tpl"});
        f.Play().AppendFileRow(a);
        f.Lists().AppendFileRow(list);
        f.CloseAndDestroy();
    }
    EXPECT_EQ(ReadTextRecordFile(UserFolder() + "1list.ini"), QStringList{a});
    EXPECT_EQ(ReadTextRecordFile(UserFolder() + "2list.ini"),
              (QStringList{test::TestProgramDir() + "sample.tpl", list}));
    {
        Frame f;
        EXPECT_EQ(f.Play().Rows(), (std::vector<PlayListRow>{{a, "a.swf"}}));
        EXPECT_EQ(Names(f.Lists()), (QStringList{"sample.tpl", "Box.tpl"}));
        f.CloseAndDestroy();
    }
    EXPECT_EQ(FolderState(test::TestProgramDir()), shipped)
        << "nothing written where the program is";
    QFile::setPermissions(test::TestProgramDir(), before);
}

TEST(MainFrame, TwoUsersOnOneProgramDirectoryKeepSeparateLists) {
    FreshStart();
    QTemporaryDir dir;
    const QString a = Movie(dir.path(), "a.swf"), b = Movie(dir.path(), "b.swf");
    ASSERT_TRUE(CreateListFile(test::TestProgramDir() + "sample.tpl"));
    {
        Frame f;
        f.Play().AppendFileRow(a);
        f.CloseAndDestroy();
    }
    OtherUser other;
    {
        // Their own first start: the sample offered, nothing of the first user's.
        Frame f;
        EXPECT_EQ(f->m_settings.m_bFirstRun, 1);
        EXPECT_EQ(f.Play().RowCount(), 0);
        EXPECT_EQ(Names(f.Lists()), QStringList{"sample.tpl"});
        f.Play().AppendFileRow(b);
        f.Lists().RemoveRow(0); // not wanted: it does not come back
        f.CloseAndDestroy();
    }
    EXPECT_EQ(ReadTextRecordFile(other.Folder() + "1list.ini"), QStringList{b});
    other.Back();
    {
        Frame f;
        EXPECT_EQ(f.Play().Rows(), (std::vector<PlayListRow>{{a, "a.swf"}}));
        EXPECT_EQ(Names(f.Lists()), QStringList{"sample.tpl"});
        f.CloseAndDestroy();
    }
    other.Again();
    {
        Frame f;
        EXPECT_EQ(f->m_settings.m_bFirstRun, 0);
        EXPECT_EQ(f.Play().Rows(), (std::vector<PlayListRow>{{b, "b.swf"}}));
        EXPECT_EQ(f.Lists().RowCount(), 0) << "the sample once per user";
        f.CloseAndDestroy();
    }
    other.Back();
    EXPECT_EQ(ReadTextRecordFile(UserFolder() + "1list.ini"), QStringList{a});
    for (const char *name : {"1list.ini", "2list.ini", "MyFavo.tpl"})
        EXPECT_FALSE(QFileInfo::exists(test::TestProgramDir() + name)) << name;
}

TEST(MainFrame, OldStateFilesInTheProgramDirectoryAreTakenOverOnce) {
    FreshStart();
    QTemporaryDir dir;
    const QString a = Movie(dir.path(), "a.swf"), b = Movie(dir.path(), "b.swf");
    const QString list = dir.filePath("Box.tpl");
    ASSERT_TRUE(CreateListFile(list));
    const QString sample = test::TestProgramDir() + "sample.tpl";
    ASSERT_TRUE(CreateListFile(sample));
    // An older installation's lists, favourites included; they already hold the sample.
    ASSERT_TRUE(WriteTextRecordFile(test::TestProgramDir() + "1list.ini", {a}));
    ASSERT_TRUE(WriteTextRecordFile(test::TestProgramDir() + "2list.ini", {sample, list}));
    ASSERT_TRUE(CreateListFile(test::TestProgramDir() + "MyFavo.tpl"));
    ASSERT_TRUE(AddMovie(b, test::TestProgramDir() + "MyFavo.tpl"));
    {
        Frame f;
        EXPECT_EQ(f->m_settings.m_bFirstRun, 1);
        EXPECT_EQ(f.Play().Rows(), (std::vector<PlayListRow>{{a, "a.swf"}}));
        EXPECT_EQ(Names(f.Lists()), (QStringList{"sample.tpl", "Box.tpl"}))
            << "the sample is not offered twice";
        f->Commands().Execute(ID_FAVOURITE_LIST);
        EXPECT_EQ(Names(f.Play()), QStringList{"b.swf"});
        EXPECT_EQ(f.Play().RowText(0, 0), UserFolder() + "MyFavo.tpl");
        f.Play().RemoveAllRows();
        f.Play().AppendFileRow(b);
        f.CloseAndDestroy();
    }
    EXPECT_EQ(ReadTextRecordFile(UserFolder() + "1list.ini"), QStringList{b});
    // The old files stay as they were, and never again replace the user's.
    EXPECT_EQ(ReadTextRecordFile(test::TestProgramDir() + "1list.ini"), QStringList{a});
    {
        Frame f;
        EXPECT_EQ(f.Play().Rows(), (std::vector<PlayListRow>{{b, "b.swf"}}));
        EXPECT_EQ(Names(f.Lists()), (QStringList{"sample.tpl", "Box.tpl"}));
        f.CloseAndDestroy();
    }
    EXPECT_EQ(ReadTextRecordFile(UserFolder() + "1list.ini"), QStringList{b});
}

// "播放速度" and "画质": under 播放 for the movie in play, in the play list's menu for the
// selected rows; a choice is kept in the library across starts.
TEST(MainFrame, SpeedAndQualitySubMenus) {
    FreshStart();
    const QString movie = Movie(test::TestHome().filePath("movies"), "speed.swf");
    {
        Frame f;
        for (int menu : {0, 2}) {
            QStringList titles;
            for (QAction *a : f->SubMenu(menu)->actions())
                if (a->menu())
                    titles << a->text();
            EXPECT_EQ(titles, (QStringList{"播放速度", "画质"})) << menu;
        }
        QStringList speeds, qualities;
        for (int i = 0; i < kSpeedCount; ++i)
            speeds << f->Commands().Action(ID_SPEED_FIRST + i)->text();
        for (int i = 0; i < kQualityCount; ++i)
            qualities << f->Commands().Action(ID_ROW_QUALITY_FIRST + i)->text();
        EXPECT_EQ(speeds, (QStringList{"0.5×", "1×", "1.5×", "2×", "3×"}));
        EXPECT_EQ(qualities, (QStringList{"低", "中", "高", "最佳"}));

        // Nothing in play, nothing selected: nothing to set.
        EXPECT_FALSE(f.Enabled(ID_SPEED_FIRST + 3));
        EXPECT_FALSE(f.Enabled(ID_ROW_SPEED_FIRST + 3));
        f.Play().AppendFileRow(movie);
        f.Play().SelectOnly(0);
        EXPECT_TRUE(f.Checked(ID_ROW_SPEED_FIRST + 1)) << "1x until chosen";
        EXPECT_TRUE(f->Commands().Execute(ID_ROW_SPEED_FIRST + 3));
        EXPECT_TRUE(f->Commands().Execute(ID_ROW_QUALITY_FIRST));
        EXPECT_TRUE(f.Checked(ID_ROW_SPEED_FIRST + 3));
        EXPECT_FALSE(f.Checked(ID_ROW_SPEED_FIRST + 1));

        // Played, the movie's own menu shows the same choice.
        f->View()->PlayCtrl()->PlayLocalItem(movie, "speed.swf");
        EXPECT_TRUE(f.Checked(ID_SPEED_FIRST + 3));
        EXPECT_TRUE(f.Checked(ID_QUALITY_FIRST));
        f.CloseAndDestroy();
    }
    MovieLibrary library;
    const QList<LibraryRow> rows = library.All();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].identity, QFileInfo(movie).absoluteFilePath());
    EXPECT_EQ(rows[0].settings, (MovieSettings{2.0, MovieQuality::Low}));
}
