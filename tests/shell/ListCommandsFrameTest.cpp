// The frame's side of the two lists on the offscreen platform: the file commands are routed and
// follow the lists' selections, the keys of the lists run the frame's commands (Delete removes,
// Shift+Delete deletes after the question), a right click opens "文件" or "列表", and F2 shows
// the information of the selected list file; sorting and moving rows keep the controller's
// current movie.

#include "netsearch/ListDlg.h"
#include "platform/Paths.h"
#include "playback/PlayCtrlDlg.h"
#include "playlist/DragDropListCtrl.h"
#include "playlist/DragPayload.h"
#include "playlist/ListCommands.h"
#include "playlist/ListFile.h"
#include "playlist/TplInfmationDlg.h"
#include "res/Menus.h"
#include "res/StringTable.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"
#include "support/FakeFlashControl.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace kz;

namespace {

struct Frame {
    std::unique_ptr<CMainFrame> frame;
    Frame() {
        test::TestHome();
        ControlFactory f;
        f.flash = [](QWidget *p) { return new test::FakeFlashControl(p); };
        f.browser = [](QWidget *p) { return new test::FakeBrowserControl(p); };
        frame = std::make_unique<CMainFrame>(f, QString());
        frame->show();
        frame->View()->OnInitialUpdate();
        frame->PlayList()->RemoveAllRows();
        frame->ListFileList()->RemoveAllRows();
    }
    CDragDropListCtrl &Play() const { return *frame->PlayList(); }
    CDragDropListCtrl &Lists() const { return *frame->ListFileList(); }
    bool Enabled(int id) {
        frame->Commands().UpdateAll();
        return frame->Commands().Action(id)->isEnabled();
    }
};

const QList<int> kPlaySelection{ID_REMOVE_FROM_LIST,  ID_DELETE_FILE, ID_FILE_SAVE_AS,
                                ID_COPY_TO_DIRECTORY, ID_RENAME_FILE, ID_BROWSE_FOLDER,
                                ID_DELETE_SAVES};
const QList<int> kPlayRows{ID_CLEAR_PLAY_LIST, ID_DELETE_ALL_FILES};
const QList<int> kListSelection{ID_REMOVE_LIST_FILE, ID_DELETE_LIST_FILE, ID_COMPRESS_LIST_FILE,
                                ID_BROWSE_LIST_FOLDER, ID_LIST_FILE_INFO};
const QList<int> kListRows{ID_CLEAR_LIST_FILES, ID_DELETE_ALL_LIST_FILES,
                           ID_COMPRESS_ALL_LIST_FILES};

} // namespace

TEST(ListCommandsFrame, CommandsFollowTheSelections) {
    Frame f;
    for (const auto *ids : {&kPlaySelection, &kPlayRows, &kListSelection, &kListRows})
        for (int id : *ids) {
            EXPECT_TRUE(f.frame->Commands().HasHandler(id)) << id;
            EXPECT_FALSE(f.Enabled(id)) << id;
        }
    f.Play().AppendFileRow("/m/a.swf");
    f.Lists().AppendFileRow("/l/a.tpl");
    for (int id : kPlayRows + kListRows)
        EXPECT_TRUE(f.Enabled(id)) << id;
    for (int id : kPlaySelection + kListSelection)
        EXPECT_FALSE(f.Enabled(id)) << id;
    f.Play().SelectOnly(0);
    f.Lists().SelectOnly(0);
    for (int id : kPlaySelection + kListSelection)
        EXPECT_TRUE(f.Enabled(id)) << id;
}

// A list file that cannot be read, opened into the play list, leaves it as it was and says so.
TEST(ListCommandsFrame, AnUnreadableListFileIsReportedInTheStatusPane) {
    QTemporaryDir dir;
    Frame f;
    f.Play().AppendFileRow("/m/a.swf");
    const QString fake = dir.filePath("fake.tpl");
    test::WriteFile(fake, "not a compound file");
    f.Lists().AppendFileRow(fake);
    QTest::mouseDClick(f.Lists().viewport(), Qt::LeftButton, {},
                       f.Lists().visualItemRect(f.Lists().topLevelItem(0)).center());
    EXPECT_EQ(f.Play().RowCount(), 1);
    EXPECT_EQ(f.frame->StatusText(), QStringLiteral("无法读取列表文件“fake.tpl”"));
}

// Putting rows into a list file stops at a movie file that cannot be added and says which and
// why; what was put before it stays.
TEST(ListCommandsFrame, AFailedAddEndsTheCommandWithAMessage) {
    QTemporaryDir dir;
    Frame f;
    QStringList messages;
    f.frame->m_services.message = [&](const QString &t) { messages << t; };
    const QString list = dir.filePath("target.tpl");
    ASSERT_TRUE(CreateListFile(list));
    f.frame->m_services.openFiles = [&](const QString &, const QString &, bool) {
        return QStringList{list};
    };
    const QString first = dir.filePath("first.swf"), last = dir.filePath("last.swf");
    test::WriteFile(first, test::BuildSwf({}));
    test::WriteFile(last, test::BuildSwf({}));
    f.Play().AppendFileRow(first);
    f.Play().AppendFileRow(dir.filePath("gone.swf"));
    f.Play().AppendFileRow(last);
    f.Play().selectAll();
    ASSERT_TRUE(f.frame->Commands().Execute(ID_ADD_TO_LIST_FILE));
    QStringList names;
    ASSERT_TRUE(ListEntries(list, names));
    EXPECT_EQ(names, QStringList{"first.swf"}) << "the command ends at the failure";
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(dir.filePath("gone.swf"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("文件不存在"))) << messages[0].toStdString();

    // Save as list file: the failure leaves no half-made file behind.
    const QString saved = dir.filePath("saved.tpl");
    f.frame->m_services.saveFile = [&](const QString &, const QString &, const QString &) {
        return saved;
    };
    ASSERT_TRUE(f.frame->Commands().Execute(ID_SAVE_AS_LIST_FILE));
    EXPECT_EQ(messages.size(), 2);
    EXPECT_FALSE(QFile::exists(saved));
    EXPECT_FALSE(QFile::exists(saved + ".new"));
}

TEST(ListCommandsFrame, DeleteAndShiftDeleteThroughTheFrame) {
    QTemporaryDir dir;
    Frame f;
    QStringList asked;
    f.frame->ListCommands()->m_services.confirm = [&](const QString &t) {
        asked << t;
        return true;
    };
    QStringList files;
    for (const char *name : {"a.swf", "b.swf", "c.swf"}) {
        files << dir.filePath(name);
        test::WriteFile(files.last(), test::BuildSwf({}));
        f.Play().AppendFileRow(files.last());
    }
    f.Play().setFocus();
    f.Play().SelectOnly(0);
    QTest::keyClick(&f.Play(), Qt::Key_Delete);
    EXPECT_EQ(f.Play().RowCount(), 2);
    EXPECT_TRUE(QFile::exists(files[0])) << "Delete only removes the row";
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(f.Play().SelectedRows(), QList<int>{0});
    QTest::keyClick(&f.Play(), Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(asked, QStringList{"你确定删除它们吗？"});
    EXPECT_FALSE(QFile::exists(files[1])) << "Shift+Delete deletes the file";
    EXPECT_EQ(f.Play().RowCount(), 1);
    EXPECT_EQ(f.Play().RowText(0, 1), "c.swf");

    // Status texts go to the frame's pane.
    f.Lists().AppendFileRow(dir.filePath("x.tpl"));
    ASSERT_TRUE(CreateListFile(dir.filePath("x.tpl")));
    f.Lists().SelectOnly(0);
    EXPECT_TRUE(f.frame->Commands().Execute(ID_COMPRESS_LIST_FILE));
    EXPECT_EQ(f.frame->StatusText(), "压缩成功！");
}

TEST(ListCommandsFrame, RightClickOpensTheListsMenu) {
    Frame f;
    f.Play().AppendFileRow("/m/a.swf");
    f.Lists().AppendFileRow("/l/a.tpl");
    for (int i : {0, 1}) {
        CDragDropListCtrl &list = i == 0 ? f.Play() : f.Lists();
        QMenu *menu = f.frame->SubMenu(i);
        ASSERT_TRUE(menu);
        QTest::mousePress(list.viewport(), Qt::RightButton, {},
                          list.visualItemRect(list.topLevelItem(0)).center());
        EXPECT_TRUE(menu->isVisible()) << i;
        EXPECT_FALSE(f.frame->SubMenu(1 - i)->isVisible()) << i;
        EXPECT_EQ(list.SelectedRows(), QList<int>{0}) << "the click selects the row first";
        menu->hide();
    }
    EXPECT_EQ(f.frame->SubMenu(0)->title(), "文件");
    EXPECT_EQ(f.frame->SubMenu(1)->title(), "列表");
}

TEST(ListCommandsFrame, F2ShowsTheInformationOfTheSelectedListFile) {
    QTemporaryDir dir;
    Frame f;
    const QString list = dir.filePath("i.tpl");
    ASSERT_TRUE(CreateListFile(list));
    f.Lists().AppendFileRow(list);
    QStringList shown;
    f.frame->m_services.runDialog = [&](QDialog &d) {
        if (auto *info = dynamic_cast<CTplInfmationDlg *>(&d))
            shown << info->findChild<QLineEdit *>("IDC_1066")->text();
        return int(QDialog::Accepted);
    };
    f.Lists().setFocus();
    QTest::keyClick(&f.Lists(), Qt::Key_F2);
    EXPECT_TRUE(shown.isEmpty()) << "no selection, no dialog";
    f.Lists().SelectOnly(0);
    QTest::keyClick(&f.Lists(), Qt::Key_F2);
    EXPECT_EQ(shown, QStringList{list});
}

TEST(ListCommandsFrame, SortingMovesTheControllersCurrentMovie) {
    Frame f;
    auto *ctrl = qobject_cast<CPlayCtrlDlg *>(f.frame->View()->PlayController());
    ASSERT_TRUE(ctrl);
    for (const char *name : {"b.swf", "c.swf", "a.swf"})
        f.Play().AppendFileRow(QStringLiteral("/m/") + name);
    ctrl->m_nCurrentPlayingItem = 2;
    EXPECT_EQ(f.Play().CurrentPlayingItem(), 2) << "the list draws the controller's row";
    f.Play().SortByName();
    EXPECT_EQ(f.Play().RowText(0, 1), "a.swf");
    EXPECT_EQ(ctrl->m_nCurrentPlayingItem, 0);
    EXPECT_EQ(f.Play().CurrentPlayingItem(), 0);
    // Moving the current movie within the list moves it for the controller too.
    ASSERT_TRUE(f.Play().DropPayload({kMovieList, {0}}, &f.Play(), -1));
    EXPECT_EQ(f.Play().RowText(2, 1), "a.swf");
    EXPECT_EQ(ctrl->m_nCurrentPlayingItem, 2);
}
