// The list bar panel's list face on the offscreen platform: its layout arithmetic and the
// Enter key on the two lists.

#include "netsearch/ListDlg.h"
#include "playlist/ListFile.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace kz;

namespace {} // namespace

TEST(ListDlgLayout, FacesAndTheFirstLayout) {
    // Before the main window exists the lists share the height.
    ListDlgLayout l = ComputeListDlgLayout(201, 401, 22, 24, false, false);
    EXPECT_EQ(l.movieList, QRect(0, 0, 201, 200));
    EXPECT_EQ(l.listFileList, QRect(0, 200, 201, 200));
    EXPECT_EQ(l.nameColumnWidth, 199);
    EXPECT_FALSE(l.topRowVisible);

    // The list face: e = 2a/3, f = (2a - 2e - 4)/3, truncating.
    l = ComputeListDlgLayout(200, 400, 22, 24, false, true);
    EXPECT_EQ(l.searchBox, QRect(0, 0, 133, 22));
    EXPECT_EQ(l.searchButton, QRect(135, 0, 43, 22));
    EXPECT_EQ(l.switchButton, QRect(179, 0, 21, 22));
    const int c = (400 - 22 + 2) / 2;
    EXPECT_EQ(l.movieList, QRect(0, 24, 200, c));
    EXPECT_EQ(l.listFileList, QRect(0, 24 + c, 200, c));
    EXPECT_TRUE(l.browser.isEmpty());
    EXPECT_FALSE(l.pageButtonsVisible);

    // The search face: the lists go, the page buttons and the result area come.
    l = ComputeListDlgLayout(200, 400, 22, 24, true, true);
    EXPECT_TRUE(l.movieList.isEmpty());
    EXPECT_TRUE(l.listFileList.isEmpty());
    EXPECT_EQ(l.previousPage, QRect(0, 374, 99, 24));
    EXPECT_EQ(l.nextPage, QRect(101, 374, 99, 24));
    EXPECT_EQ(l.browser, QRect(0, 24, 200, 400 - 22 - 24 - 8));

    // Degenerate sizes give empty, never negative, rectangles.
    l = ComputeListDlgLayout(-5, 3, 22, 24, true, true);
    EXPECT_GE(l.browser.height(), 0);
    EXPECT_GE(l.searchBox.width(), 0);
}

TEST(ListDlg, EnterPlaysOrOpensTheSelectedRow) {
    QTemporaryDir dir;
    CListDlg dlg;
    bool search = false;
    int commands = 0;
    dlg.m_isNetSearchView = [&] { return search; };
    dlg.m_runNetSearchCommand = [&] {
        ++commands;
        search = !search;
        dlg.LayOut();
    };
    dlg.m_bMainWindowReady = true;
    dlg.resize(240, 480);
    dlg.show();
    dlg.LayOut();
    EXPECT_EQ(dlg.MovieList()->columnWidth(1), 238);
    EXPECT_TRUE(dlg.MovieList()->isVisible());

    QSignalSpy play(dlg.MovieList(), &CDragDropListCtrl::PlayRowRequested);
    dlg.MovieList()->AppendFileRow("/m/a.swf");
    dlg.MovieList()->AppendFileRow("/m/b.swf");
    // No selection: Enter does nothing.
    dlg.MovieList()->setFocus();
    EXPECT_FALSE(dlg.OnEnter());
    dlg.MovieList()->topLevelItem(1)->setSelected(true);
    dlg.MovieList()->topLevelItem(0)->setSelected(true);
    QTest::keyClick(dlg.MovieList(), Qt::Key_Return);
    ASSERT_EQ(play.count(), 1);
    EXPECT_EQ(play.at(0).at(0).toInt(), 0) << "the first selected row";

    // In the list-file list Enter shows the list file's movies without its information entry.
    const QString list = QDir(dir.path()).filePath("three.tpl");
    ASSERT_TRUE(CreateListFile(list));
    for (const char *name : {"x.swf", "KZinfo.data", "y.swf", "z.swf"}) {
        const QString path = dir.filePath(name);
        test::WriteFile(path, test::BuildSwf({}));
        ASSERT_TRUE(AddMovie(path, list));
    }
    dlg.ListFileList()->AppendFileRow(list);
    dlg.ListFileList()->SelectOnly(0);
    dlg.ListFileList()->setFocus();
    QTest::keyClick(dlg.ListFileList(), Qt::Key_Enter);
    EXPECT_EQ(dlg.MovieList()->RowCount(), 3);
    EXPECT_EQ(play.count(), 1);

    // Focus elsewhere: nothing.
    dlg.SearchBox()->setFocus();
    EXPECT_FALSE(dlg.OnEnter());

    // "<--" runs the frame's command, which switches the face.
    dlg.findChild<QPushButton *>("IDC_1084")->click();
    EXPECT_EQ(commands, 1);
    EXPECT_FALSE(dlg.MovieList()->isVisible());
    EXPECT_TRUE(dlg.findChild<QPushButton *>("IDC_1079")->isVisible());
    EXPECT_FALSE(dlg.findChild<QPushButton *>("IDC_1079")->isEnabled());
}
