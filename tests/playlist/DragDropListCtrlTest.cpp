// The play-list views on the offscreen platform: rows, item data, selection, the play
// operation and opening a list file into the play list.

#include "playlist/DragDropListCtrl.h"
#include "platform/Thumbnails.h"
#include "playlist/ListFile.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

using namespace kz;

namespace {

// A list file with three movies and an information entry.
QString ListWithThreeMovies(const QString &folder) {
    const QString list = QDir(folder).filePath("three.tpl");
    EXPECT_TRUE(CreateListFile(list));
    for (const char *name : {"one.swf", "KZinfo.data", "two.swf", "three.swf"}) {
        const QString path = QDir(folder).filePath(name);
        test::WriteFile(path, test::BuildSwf({}));
        EXPECT_TRUE(AddMovie(path, list)) << name;
    }
    return list;
}

} // namespace

TEST(DragDropListCtrl, RowsKeepTheirTextsAndIndex) {
    CDragDropListCtrl list;
    list.SetUpColumns("动画文件", 150);
    EXPECT_EQ(list.columnWidth(0), 0);
    EXPECT_EQ(list.columnWidth(1), 150);
    EXPECT_EQ(list.headerItem()->text(0), "目录");
    EXPECT_EQ(list.AppendFileRow("/a/b/电影.swf"), 0);
    EXPECT_EQ(list.AppendRow("/a/x.tpl", "in.swf"), 1);
    EXPECT_EQ(list.AppendFileRow("noseparator.swf"), 2);
    EXPECT_EQ(list.RowCount(), 3);
    EXPECT_EQ(list.Row(0), (PlayListRow{"/a/b/电影.swf", "电影.swf"}));
    EXPECT_EQ(list.Row(2), (PlayListRow{"noseparator.swf", "noseparator.swf"}));
    EXPECT_EQ(list.ItemData(1), 1);
    // Out of range reads are empty, never a crash.
    EXPECT_EQ(list.RowText(3, 0), "");
    EXPECT_EQ(list.RowText(-1, 1), "");
    EXPECT_EQ(list.RowText(0, 2), "");
    EXPECT_EQ(list.ItemData(9), -1);

    EXPECT_TRUE(list.SelectedRows().isEmpty());
    list.topLevelItem(2)->setSelected(true);
    list.topLevelItem(0)->setSelected(true);
    EXPECT_EQ(list.SelectedRows(), (QList<int>{0, 2}));
    EXPECT_EQ(list.SelectedCount(), 2);
    list.SelectOnly(1);
    EXPECT_EQ(list.SelectedRows(), QList<int>{1});

    // Appending after a removal numbers by the current count.
    list.RemoveRow(0);
    EXPECT_EQ(list.AppendFileRow("/c.swf"), 2);
    EXPECT_EQ(list.ItemData(2), 2);
    list.EnsureRowVisible(2);
    list.EnsureRowVisible(99);
    list.RedrawRows();
    list.RemoveAllRows();
    EXPECT_EQ(list.RowCount(), 0);
}

TEST(DragDropListCtrl, PlayRowAndDoubleClick) {
    QTemporaryDir dir;
    CDragDropListCtrl movies, lists;
    movies.m_nPlayListKind = kMovieList;
    lists.m_nPlayListKind = kListFileList;
    movies.m_pPartner = &lists;
    lists.m_pPartner = &movies;
    movies.SetUpColumns("动画文件", 200);
    lists.SetUpColumns("列表文件", 200);
    movies.resize(220, 200);
    lists.resize(220, 200);
    movies.show();
    lists.show();
    QSignalSpy spy(&movies, &CDragDropListCtrl::PlayRowRequested);
    QSignalSpy listSpy(&lists, &CDragDropListCtrl::PlayRowRequested);

    movies.AppendFileRow("/m/a.swf");
    movies.AppendRow("/m/l.tpl", "b.swf");
    EXPECT_TRUE(movies.PlayRow(1));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0), (QList<QVariant>{1, "/m/l.tpl", "b.swf"}));
    EXPECT_FALSE(movies.PlayRow(2));
    EXPECT_FALSE(movies.PlayRow(-1));

    // The list-file list plays nothing; a double-click opens the list file into the play list.
    const QString list = ListWithThreeMovies(dir.path());
    lists.AppendFileRow(list);
    EXPECT_FALSE(lists.PlayRow(0));
    const QRect row0 = lists.visualItemRect(lists.topLevelItem(0));
    QTest::mouseDClick(lists.viewport(), Qt::LeftButton, {}, row0.center());
    EXPECT_EQ(listSpy.count(), 0);
    ASSERT_EQ(movies.RowCount(), 3) << "the information entry is skipped";
    QStringList names;
    for (int i = 0; i < 3; ++i) {
        names << movies.RowText(i, 1);
        EXPECT_EQ(movies.RowText(i, 0), list);
        EXPECT_EQ(movies.ItemData(i), i);
    }
    names.sort();
    EXPECT_EQ(names, (QStringList{"one.swf", "three.swf", "two.swf"}));

    // Double-click on a movie plays it; on empty space nothing happens.
    spy.clear();
    QTest::mouseDClick(movies.viewport(), Qt::LeftButton, {},
                       movies.visualItemRect(movies.topLevelItem(2)).center());
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 2);
    QTest::mouseDClick(movies.viewport(), Qt::LeftButton, {}, QPoint(10, 190));
    EXPECT_EQ(spy.count(), 1);

    // A row whose list file is not a list file leaves the play list as it was.
    test::WriteFile(dir.filePath("fake.tpl"), "not a compound file");
    lists.AppendFileRow(dir.filePath("fake.tpl"));
    EXPECT_FALSE(lists.OpenListFileRow(1));
    EXPECT_EQ(movies.RowCount(), 3);
}

TEST(DragDropListCtrl, AMoviesThumbnailIsItsToolTip) {
    QTemporaryDir home;
    qputenv("XDG_CACHE_HOME", home.filePath("cache").toUtf8());
    const QString movie = home.filePath("m.swf");
    ASSERT_TRUE(test::WriteFile(movie, "FWS"));
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    picture.setPixel(0, 0, qRgb(0, 0, 255));
    ASSERT_TRUE(WriteThumbnail(FileThumbnail(movie), picture));

    CDragDropListCtrl list;
    list.resize(300, 200);
    list.show();
    list.AppendFileRow(movie);
    list.AppendFileRow(home.filePath("none.swf"));
    auto tipAt = [&](int row) {
        QToolTip::hideText();
        const QPoint at = list.visualItemRect(list.topLevelItem(row)).center();
        QHelpEvent help(QEvent::ToolTip, at, list.viewport()->mapToGlobal(at));
        QApplication::sendEvent(list.viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_TRUE(tipAt(0).contains("<img src=\"" + FileThumbnail(movie).path + "\""))
        << tipAt(0).toStdString();
    EXPECT_FALSE(tipAt(1).contains("<img"));

    // A list file's row shows the pictures its movies have, and nothing without them.
    const QString tpl = home.filePath("l.tpl");
    ASSERT_TRUE(CreateListFile(tpl) && AddMovie(movie, tpl));
    ASSERT_TRUE(test::WriteFile(home.filePath("n.swf"), "FWS") &&
                AddMovie(home.filePath("n.swf"), tpl));
    ASSERT_TRUE(WriteThumbnail(RowThumbnail(tpl, "m.swf"), picture));
    list.m_nPlayListKind = kListFileList;
    list.AppendFileRow(tpl);
    const QString strip = tipAt(2);
    EXPECT_EQ(strip.count("<img"), 1) << strip.toStdString();
    EXPECT_TRUE(strip.contains(RowThumbnail(tpl, "m.swf").path));
    EXPECT_FALSE(tipAt(1).contains("<img"));
}
