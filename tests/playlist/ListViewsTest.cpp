// The two play-list views and the file commands on the offscreen platform: removing rows, the
// key table, dragging and dropping within and between the views, sorting with the current movie,
// deleting, saving, copying and renaming movies, and the list-file information dialog.

#include "controls/HyperLink.h"
#include "platform/Paths.h"
#include "platform/TextRecords.h"
#include "playlist/DragDropListCtrl.h"
#include "playlist/DragPayload.h"
#include "playlist/ListCommands.h"
#include "playlist/ListFile.h"
#include "playlist/RenameDlg.h"
#include "playlist/TplInfmationDlg.h"
#include "res/Menus.h"
#include "res/StringTable.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kz;

namespace {

// A movie file with bytes of its own, so copies can be told apart.
QString Movie(const QString &path, int marker) {
    test::SwfSpec spec;
    spec.frameCount = std::uint16_t(marker);
    EXPECT_TRUE(test::WriteFile(path, test::BuildSwf(spec)));
    return path;
}

QStringList Entries(const QString &list) {
    QStringList names;
    ListEntries(list, names);
    names.sort();
    return names;
}

// The play list and the list-file list as the list bar pairs them.
struct Views {
    CDragDropListCtrl movies, lists;
    Views() {
        movies.m_nPlayListKind = kMovieList;
        lists.m_nPlayListKind = kListFileList;
        movies.m_pPartner = &lists;
        lists.m_pPartner = &movies;
        movies.SetUpColumns(LoadString(IDS_COLUMN_MOVIES), 200);
        lists.SetUpColumns(LoadString(IDS_COLUMN_LIST_FILES), 200);
        movies.resize(220, 300);
        lists.resize(220, 200);
    }
    QStringList Names(const CDragDropListCtrl &l) const {
        QStringList names;
        for (int i = 0; i < l.RowCount(); ++i)
            names << l.RowText(i, 1);
        return names;
    }
    void Select(CDragDropListCtrl &l, const QList<int> &rows) {
        l.clearSelection();
        for (int r : rows)
            l.topLevelItem(r)->setSelected(true);
    }
};

// Commands with services that answer as a test tells them.
struct Commands {
    Views &v;
    CListCommands c;
    bool answer = true;
    int asked = 0;
    QStringList status, messages;
    QString savePath, folder;
    QStringList saveAsked; // "dir|name"
    std::function<int(QDialog &)> dialog = [](QDialog &) { return int(QDialog::Rejected); };
    QStringList shown;
    explicit Commands(Views &views) : v(views), c(&views.movies, &views.lists, nullptr) {
        c.m_services.confirm = [this](const QString &text) {
            EXPECT_EQ(text, "你确定删除它们吗？");
            ++asked;
            return answer;
        };
        c.m_services.status = [this](const QString &t) { status << t; };
        c.m_services.message = [this](const QString &t) { messages << t; };
        c.m_services.saveFile = [this](const QString &dir, const QString &name, const QString &,
                                       const QString &suffix) {
            EXPECT_EQ(suffix, "swf");
            saveAsked << dir + "|" + name;
            return savePath;
        };
        c.m_services.pickFolder = [this] { return folder; };
        c.m_services.runDialog = [this](QDialog &d) { return dialog(d); };
        c.m_services.showItem = [this](const QString &p) {
            shown << p;
            return true;
        };
    }
};

} // namespace

TEST(ListViews, RemovingRowsSelectsTheRowAfterTheLastRemoved) {
    Views v;
    Commands c(v);
    for (int i = 1; i <= 10; ++i)
        v.movies.AppendFileRow(QStringLiteral("/m/%1.swf").arg(i));
    // Rows 2, 3 and 7 of ten.
    v.Select(v.movies, {1, 2, 6});
    c.c.OnRemoveFromList();
    EXPECT_EQ(v.Names(v.movies),
              (QStringList{"1.swf", "4.swf", "5.swf", "6.swf", "8.swf", "9.swf", "10.swf"}));
    ASSERT_EQ(v.movies.SelectedRows(), QList<int>{4});
    EXPECT_EQ(v.movies.RowText(4, 1), "8.swf") << "the row that was 8th";
    // The last rows: nothing follows, nothing is selected.
    v.Select(v.movies, {5, 6});
    c.c.OnRemoveFromList();
    EXPECT_EQ(v.movies.RowCount(), 5);
    EXPECT_TRUE(v.movies.SelectedRows().isEmpty());
    // The list-file list the same way; no file is touched.
    QTemporaryDir dir;
    for (const char *name : {"a.tpl", "b.tpl", "c.tpl"}) {
        CreateListFile(dir.filePath(name));
        v.lists.AppendFileRow(dir.filePath(name));
    }
    v.Select(v.lists, {0});
    c.c.OnRemoveListFile();
    EXPECT_EQ(v.Names(v.lists), (QStringList{"b.tpl", "c.tpl"}));
    EXPECT_EQ(v.lists.SelectedRows(), QList<int>{0});
    EXPECT_TRUE(QFile::exists(dir.filePath("a.tpl")));
    c.c.OnClearListFiles();
    c.c.OnClearPlayList();
    EXPECT_EQ(v.lists.RowCount() + v.movies.RowCount(), 0);
    EXPECT_EQ(c.asked, 0) << "removing rows asks nothing";
}

TEST(ListViews, KeyTable) {
    Views v;
    v.movies.show();
    v.lists.show();
    QSignalSpy movies(&v.movies, &CDragDropListCtrl::CommandRequested);
    QSignalSpy lists(&v.lists, &CDragDropListCtrl::CommandRequested);
    auto last = [](QSignalSpy &s) { return s.isEmpty() ? 0 : s.takeLast().at(0).toInt(); };

    // Delete needs a selection.
    v.movies.AppendFileRow("/m/a.swf");
    v.movies.AppendFileRow("/m/b.swf");
    QTest::keyClick(&v.movies, Qt::Key_Delete);
    EXPECT_TRUE(movies.isEmpty());
    v.movies.SelectOnly(0);
    QTest::keyClick(&v.movies, Qt::Key_Delete);
    EXPECT_EQ(last(movies), ID_REMOVE_FROM_LIST);
    QTest::keyClick(&v.movies, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(last(movies), ID_DELETE_FILE);

    v.lists.AppendFileRow("/l/a.tpl");
    v.lists.SelectOnly(0);
    QTest::keyClick(&v.lists, Qt::Key_Delete);
    EXPECT_EQ(last(lists), ID_REMOVE_LIST_FILE);
    QTest::keyClick(&v.lists, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(last(lists), ID_DELETE_LIST_FILE);

    // Ctrl+A selects every row and asks for nothing.
    QTest::keyClick(&v.movies, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(v.movies.SelectedRows(), (QList<int>{0, 1}));
    EXPECT_TRUE(movies.isEmpty());

    const std::pair<int, Qt::KeyboardModifiers> keys[] = {{Qt::Key_O, Qt::ControlModifier},
                                                          {Qt::Key_D, Qt::ControlModifier},
                                                          {Qt::Key_I, Qt::ControlModifier},
                                                          {Qt::Key_S, Qt::ControlModifier},
                                                          {Qt::Key_N, Qt::ControlModifier},
                                                          {Qt::Key_L, Qt::ControlModifier},
                                                          {Qt::Key_F1, {}},
                                                          {Qt::Key_F2, {}},
                                                          {Qt::Key_F3, {}},
                                                          {Qt::Key_F4, {}},
                                                          {Qt::Key_F5, {}},
                                                          {Qt::Key_F6, {}},
                                                          {Qt::Key_F7, {}},
                                                          {Qt::Key_F8, {}},
                                                          {Qt::Key_F9, {}}};
    const QList<int> ids{ID_FILE_OPEN,
                         ID_SEARCH_DIRECTORY,
                         ID_SEARCH_IE_CACHE,
                         ID_FILE_SAVE_AS,
                         ID_NEW_LIST_FILE,
                         ID_OPEN_LIST_FILE,
                         ID_APP_ABOUT,
                         ID_LIST_FILE_INFO,
                         ID_NEXT,
                         ID_PREVIOUS,
                         ID_PLAY,
                         ID_PAUSE,
                         ID_STOP,
                         ID_CAPTURE,
                         ID_FTP_CLIENT};
    for (CDragDropListCtrl *l : {&v.movies, &v.lists}) {
        QSignalSpy spy(l, &CDragDropListCtrl::CommandRequested);
        for (const auto &[key, mods] : keys)
            QTest::keyClick(l, Qt::Key(key), mods);
        QList<int> got;
        for (const auto &args : spy)
            got << args.at(0).toInt();
        EXPECT_EQ(got, ids);
    }
    // A letter without Ctrl is no command.
    movies.clear();
    QTest::keyClick(&v.movies, Qt::Key_O);
    EXPECT_TRUE(movies.isEmpty());
}

TEST(ListViews, DragPayloadOfTheSelectedRows) {
    Views v;
    for (int i = 0; i < 5; ++i)
        v.lists.AppendFileRow(QStringLiteral("/l/%1.tpl").arg(i));
    EXPECT_EQ(v.lists.CreateDragData(), nullptr) << "nothing selected";
    v.Select(v.lists, {4, 1});
    std::unique_ptr<QMimeData> data(v.lists.CreateDragData());
    ASSERT_TRUE(data);
    EXPECT_EQ(data->formats(), QStringList{kDragRowsMimeType});
    EXPECT_EQ(data->data(kDragRowsMimeType), QByteArray::fromHex("01000000"
                                                                 "01000000"
                                                                 "04000000"
                                                                 "eeee0000"));
}

TEST(ListViews, ThreeRowsDroppedAtTheTopArriveInReverseOrder) {
    Views v;
    for (const char *name : {"a", "b", "c", "d", "e", "f"})
        v.movies.AppendFileRow(QStringLiteral("/m/%1.swf").arg(name));
    v.movies.AppendRow("/l/X.tpl", "g.swf");
    v.movies.SetCurrentPlayingItem(1); // b
    QSignalSpy moved(&v.movies, &CDragDropListCtrl::CurrentPlayingItemMoved);
    ASSERT_TRUE(v.movies.DropPayload({kMovieList, {2, 3, 6}}, &v.movies, 0));
    EXPECT_EQ(v.Names(v.movies),
              (QStringList{"g.swf", "d.swf", "c.swf", "a.swf", "b.swf", "e.swf", "f.swf"}));
    EXPECT_EQ(v.movies.Row(0), (PlayListRow{"/l/X.tpl", "g.swf"}));
    EXPECT_EQ(v.movies.SelectedRows(), (QList<int>{0, 1, 2}));
    EXPECT_EQ(v.movies.ItemData(0), 0);
    // The current movie is still b, now one row further down.
    EXPECT_EQ(v.movies.CurrentPlayingItem(), 4);
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved.at(0).at(0).toInt(), 4);

    // On empty space the rows go to the end, also in reverse order; the drop position counts
    // the rows above it that were taken away.
    ASSERT_TRUE(v.movies.DropPayload({kMovieList, {0, 1}}, &v.movies, -1));
    EXPECT_EQ(v.Names(v.movies),
              (QStringList{"c.swf", "a.swf", "b.swf", "e.swf", "f.swf", "d.swf", "g.swf"}));
    ASSERT_TRUE(v.movies.DropPayload({kMovieList, {0, 1}}, &v.movies, 4));
    EXPECT_EQ(v.Names(v.movies),
              (QStringList{"b.swf", "e.swf", "a.swf", "c.swf", "f.swf", "d.swf", "g.swf"}));
    // Indices that are not rows are passed over; a payload of the other view's kind from this
    // view is not a drop.
    EXPECT_FALSE(v.movies.DropPayload({kMovieList, {40}}, &v.movies, 0));
    EXPECT_FALSE(v.movies.DropPayload({kListFileList, {0}}, &v.movies, 0));
    EXPECT_EQ(v.movies.RowCount(), 7);
}

TEST(ListViews, ListFileDroppedOnThePlayListAppendsItsMovies) {
    QTemporaryDir dir;
    Views v;
    const QString list = dir.filePath("fun.tpl");
    ASSERT_TRUE(CreateListFile(list));
    for (const char *name : {"one.swf", "KZinfo.data", "two.swf"})
        ASSERT_TRUE(AddMovie(Movie(dir.filePath(name), 1), list));
    v.lists.AppendFileRow(dir.filePath("missing.tpl"));
    v.lists.AppendFileRow(list);
    v.movies.AppendFileRow("/m/kept.swf");
    ASSERT_TRUE(v.movies.DropPayload({kListFileList, {0, 1}}, &v.lists, 0));
    ASSERT_EQ(v.movies.RowCount(), 3) << "kept, and the two movies without the record";
    EXPECT_EQ(v.movies.RowText(0, 1), "kept.swf");
    QStringList added{v.movies.RowText(1, 1), v.movies.RowText(2, 1)};
    added.sort();
    EXPECT_EQ(added, (QStringList{"one.swf", "two.swf"}));
    EXPECT_EQ(v.movies.RowText(2, 0), list);
    EXPECT_EQ(v.movies.ItemData(2), 2);
}

TEST(ListViews, MoviesDroppedOnAListFile) {
    QTemporaryDir dir;
    Views v;
    const QString source = dir.filePath("source.tpl");
    const QString target = dir.filePath("target.tpl");
    ASSERT_TRUE(CreateListFile(source));
    ASSERT_TRUE(CreateListFile(target));
    ASSERT_TRUE(AddMovie(Movie(dir.filePath("inside.swf"), 2), source));
    v.movies.AppendFileRow(Movie(dir.filePath("disk.swf"), 3));
    v.movies.AppendRow(source, "inside.swf");
    v.movies.AppendRow(source, "gone.swf"); // fails; the others still go in
    v.movies.AppendFileRow(dir.filePath("nowhere.swf"));
    v.lists.AppendFileRow(source);
    v.lists.AppendFileRow(target);
    const QByteArray before = test::ReadFile(target);

    // On empty space of the list-file list nothing happens.
    EXPECT_FALSE(v.lists.DropPayload({kMovieList, {0, 1}}, &v.movies, -1));
    EXPECT_EQ(test::ReadFile(target), before);
    EXPECT_TRUE(Entries(target).isEmpty());

    // On a row: that list file gets the movies, and its row becomes the selection.
    v.lists.SelectOnly(0);
    ASSERT_TRUE(v.lists.DropPayload({kMovieList, {0, 1, 2, 3}}, &v.movies, 1));
    EXPECT_EQ(Entries(target), (QStringList{"disk.swf", "inside.swf"}));
    EXPECT_EQ(v.lists.SelectedRows(), QList<int>{1});
    const QString out = dir.filePath("out.swf");
    ASSERT_TRUE(ExtractEntry(out, "inside.swf", target));
    EXPECT_EQ(test::ReadFile(out), test::ReadFile(dir.filePath("inside.swf")));
    EXPECT_EQ(v.movies.RowCount(), 4) << "the play list keeps its rows";
}

TEST(ListViews, DropsFromElsewhereAndDragsOutOfTheWindow) {
    Views v;
    v.movies.show();
    for (const char *name : {"a", "b", "c"})
        v.movies.AppendFileRow(QStringLiteral("/m/%1.swf").arg(name));
    // A payload whose source is not one of this program's views (another program) is refused.
    QMimeData data;
    data.setData(kDragRowsMimeType, *BuildDragPayload(kMovieList, {0}, 3));
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(v.movies.viewport(), &drop);
    EXPECT_EQ(v.movies.RowCount(), 3);
    // Dragged rows that end outside the main window leave this view only.
    v.Select(v.movies, {0, 2});
    v.movies.FinishDrag(false);
    EXPECT_EQ(v.movies.RowCount(), 3);
    v.movies.FinishDrag(true);
    EXPECT_EQ(v.Names(v.movies), QStringList{"b.swf"});
}

TEST(ListViews, SortingKeepsTheCurrentMovieCurrentAndRed) {
    Views v;
    for (const char *name : {"b.swf", "C.swf", "a.swf", "d.swf"})
        v.movies.AppendFileRow(QStringLiteral("/m/") + name);
    // A removal leaves item data that no longer match the rows: the current movie must still be
    // found by itself, not by a stale number.
    v.movies.RemoveRow(0);
    ASSERT_EQ(v.Names(v.movies), (QStringList{"C.swf", "a.swf", "d.swf"}));
    v.movies.SetCurrentPlayingItem(1); // a.swf; the item data of C.swf is 1
    QSignalSpy moved(&v.movies, &CDragDropListCtrl::CurrentPlayingItemMoved);

    v.movies.SortByName();
    EXPECT_TRUE(v.movies.m_bSortAscending);
    EXPECT_EQ(v.Names(v.movies), (QStringList{"a.swf", "C.swf", "d.swf"})) << "case folded";
    EXPECT_EQ(v.movies.CurrentPlayingItem(), 0);
    EXPECT_EQ(moved.count(), 1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(v.movies.ItemData(i), i);
    v.movies.SortByName();
    EXPECT_EQ(v.Names(v.movies), (QStringList{"d.swf", "C.swf", "a.swf"}));
    EXPECT_EQ(v.movies.CurrentPlayingItem(), 2);

    // A click on the header sorts, too.
    v.movies.show();
    QTest::mouseClick(v.movies.header()->viewport(), Qt::LeftButton, {},
                      QPoint(v.movies.header()->sectionPosition(1) + 20, 5));
    EXPECT_EQ(v.Names(v.movies), (QStringList{"a.swf", "C.swf", "d.swf"}));
    EXPECT_EQ(v.movies.CurrentPlayingItem(), 0);

    // The current row is painted red, the others not.
    v.movies.clearSelection();
    auto redPixels = [&](int row) {
        const QImage image = v.movies.viewport()->grab().toImage();
        const QRect r = v.movies.visualItemRect(v.movies.topLevelItem(row));
        int count = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= std::min(r.right(), image.width() - 1); ++x) {
                const QColor c = image.pixelColor(x, y);
                count += c.red() > 180 && c.green() < 90 && c.blue() < 90;
            }
        return count;
    };
    EXPECT_GT(redPixels(0), 5);
    EXPECT_EQ(redPixels(1), 0);
    // The list-file list draws no current row.
    v.lists.AppendFileRow("/l/x.tpl");
    v.lists.SetCurrentPlayingItem(0);
    v.lists.show();
    const QImage lists = v.lists.viewport()->grab().toImage();
    int red = 0;
    for (int y = 0; y < lists.height(); ++y)
        for (int x = 0; x < lists.width(); ++x) {
            const QColor c = lists.pixelColor(x, y);
            red += c.red() > 180 && c.green() < 90 && c.blue() < 90;
        }
    EXPECT_EQ(red, 0);
}

TEST(FileCommands, DeleteOnAPlayListOfBothKinds) {
    QTemporaryDir dir;
    Views v;
    Commands c(v);
    const QString list = dir.filePath("Mixed.TPL");
    ASSERT_TRUE(CreateListFile(list));
    for (const char *name : {"in1.swf", "in2.swf", "stay.swf"})
        ASSERT_TRUE(AddMovie(Movie(dir.filePath(name), 1), list));
    v.movies.AppendFileRow(Movie(dir.filePath("disk1.swf"), 1));
    v.movies.AppendRow(list, "in1.swf");
    v.movies.AppendFileRow(Movie(dir.filePath("disk2.swf"), 1));
    v.movies.AppendRow(list, "in2.swf");
    v.movies.AppendFileRow(dir.filePath("already-gone.swf"));
    v.movies.AppendRow(list, "stay.swf");

    // Cancel changes nothing.
    v.Select(v.movies, {0, 1, 2, 3, 4});
    c.answer = false;
    c.c.OnDeleteFile();
    EXPECT_EQ(c.asked, 1);
    EXPECT_EQ(v.movies.RowCount(), 6);
    EXPECT_TRUE(QFile::exists(dir.filePath("disk1.swf")));

    c.answer = true;
    c.c.OnDeleteFile();
    EXPECT_FALSE(QFile::exists(dir.filePath("disk1.swf")));
    EXPECT_FALSE(QFile::exists(dir.filePath("disk2.swf")));
    EXPECT_EQ(Entries(list), QStringList{"stay.swf"});
    EXPECT_EQ(v.Names(v.movies), QStringList{"stay.swf"});
    EXPECT_EQ(v.movies.SelectedRows(), QList<int>{0}) << "the row after the last removed";

    // Delete all files: every movie, then every row.
    v.movies.AppendFileRow(Movie(dir.filePath("disk3.swf"), 1));
    c.c.OnDeleteAllFiles();
    EXPECT_EQ(v.movies.RowCount(), 0);
    EXPECT_TRUE(Entries(list).isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath("disk3.swf")));
}

TEST(FileCommands, ListFilesDeletedAndCompressed) {
    QTemporaryDir dir;
    Views v;
    Commands c(v);
    for (const char *name : {"a.tpl", "b.tpl", "c.tpl"}) {
        ASSERT_TRUE(CreateListFile(dir.filePath(name)));
        ASSERT_TRUE(AddMovie(Movie(dir.filePath("m.swf"), 9), dir.filePath(name)));
        v.lists.AppendFileRow(dir.filePath(name));
    }
    ASSERT_TRUE(DeleteEntry(dir.filePath("c.tpl"), "m.swf"));
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir.path());
    v.Select(v.lists, {2});
    c.c.OnCompressListFile();
    EXPECT_EQ(c.status, QStringList{"压缩成功！"});
    c.c.OnCompressAll();
    EXPECT_EQ(c.status.size(), 2);
    QDir::setCurrent(cwd);
    EXPECT_EQ(Entries(dir.filePath("a.tpl")), QStringList{"m.swf"});

    v.Select(v.lists, {0});
    c.c.OnDeleteListFile();
    EXPECT_FALSE(QFile::exists(dir.filePath("a.tpl")));
    EXPECT_EQ(v.Names(v.lists), (QStringList{"b.tpl", "c.tpl"}));
    EXPECT_EQ(v.lists.SelectedRows(), QList<int>{0});
    c.answer = false;
    c.c.OnDeleteAllListFiles();
    EXPECT_EQ(v.lists.RowCount(), 2);
    c.answer = true;
    c.c.OnDeleteAllListFiles();
    EXPECT_EQ(v.lists.RowCount(), 0);
    EXPECT_FALSE(QFile::exists(dir.filePath("b.tpl")));
    EXPECT_FALSE(QFile::exists(dir.filePath("c.tpl")));
}

TEST(FileCommands, CopyToDirectoryWithTwoRowsOfOneName) {
    QTemporaryDir dir;
    Views v;
    Commands c(v);
    const QString list = dir.filePath("l.tpl");
    ASSERT_TRUE(CreateListFile(list));
    const QString inList = Movie(dir.filePath("src2/same.swf"), 2);
    ASSERT_TRUE(AddMovie(inList, list));
    ASSERT_TRUE(AddMovie(Movie(dir.filePath("src2/other.swf"), 4), list));
    v.movies.AppendFileRow(Movie(dir.filePath("src1/same.swf"), 1));
    v.movies.AppendRow(list, "same.swf");
    v.movies.AppendRow(list, "other.swf");
    v.Select(v.movies, {0, 1, 2});

    c.folder = QString(); // cancelled
    c.c.OnCopyToDirectory();
    EXPECT_TRUE(c.status.isEmpty());

    c.folder = dir.filePath("to");
    QDir().mkpath(c.folder);
    c.c.OnCopyToDirectory();
    EXPECT_EQ(c.status, QStringList{"文件拷贝成功！"});
    EXPECT_EQ(test::ReadFile(c.folder + "/same.swf"), test::ReadFile(dir.filePath("src1/same.swf")))
        << "the first row's movie; the second fails silently";
    EXPECT_EQ(test::ReadFile(c.folder + "/other.swf"),
              test::ReadFile(dir.filePath("src2/other.swf")));
    EXPECT_FALSE(QFile::exists(TempFolder() + "same.swf")) << "the scratch copy is gone";
    EXPECT_FALSE(QFile::exists(TempFolder() + "other.swf"));
}

TEST(FileCommands, SaveAs) {
    QTemporaryDir dir;
    Views v;
    Commands c(v);
    const QString list = dir.filePath("lists/l.tpl");
    QDir().mkpath(dir.filePath("lists"));
    ASSERT_TRUE(CreateListFile(list));
    ASSERT_TRUE(AddMovie(Movie(dir.filePath("in.swf"), 5), list));
    const QString disk = Movie(dir.filePath("disk/d.swf"), 6);
    v.movies.AppendRow(list, "in.swf");
    v.movies.AppendFileRow(disk);

    v.movies.SelectOnly(0);
    c.savePath = dir.filePath("saved.swf");
    c.c.OnSaveAs();
    EXPECT_EQ(c.saveAsked.last(), dir.filePath("lists/") + "|in.swf");
    EXPECT_EQ(test::ReadFile(c.savePath), test::ReadFile(dir.filePath("in.swf")));
    EXPECT_EQ(c.status, QStringList{"保存成功！"});

    // A movie file replaces an existing file; saving it over itself keeps it.
    v.movies.SelectOnly(1);
    c.c.OnSaveAs();
    EXPECT_EQ(c.saveAsked.last(), dir.filePath("disk/") + "|" + disk);
    EXPECT_EQ(test::ReadFile(c.savePath), test::ReadFile(disk));
    const QByteArray bytes = test::ReadFile(disk);
    c.savePath = disk;
    c.c.OnSaveAs();
    EXPECT_EQ(test::ReadFile(disk), bytes);
    // Cancelled: no status.
    c.savePath.clear();
    c.c.OnSaveAs();
    EXPECT_EQ(c.status.size(), 3);
}

TEST(FileCommands, RenameAnEntryOfAListFile) {
    QTemporaryDir dir;
    Views v;
    Commands c(v);
    const QString list = dir.filePath("r.tpl");
    ASSERT_TRUE(CreateListFile(list));
    ASSERT_TRUE(AddMovie(Movie(dir.filePath("old.swf"), 7), list));
    v.movies.AppendRow(list, "old.swf");
    v.movies.SelectOnly(0);

    QString typed;
    QStringList shownTexts;
    c.dialog = [&](QDialog &d) {
        auto &dlg = dynamic_cast<CRenameDlg &>(d);
        shownTexts << d.findChild<QLineEdit *>("IDC_1050")->text() + "|" +
                          d.findChild<QLineEdit *>("IDC_1049")->text();
        d.findChild<QLineEdit *>("IDC_1049")->setText(typed);
        dlg.accept();
        return int(QDialog::Accepted);
    };
    // The same text: nothing happens.
    typed = "old.swf";
    c.c.OnRenameFile();
    EXPECT_EQ(shownTexts, QStringList{list + "|old.swf"});
    EXPECT_EQ(Entries(list), QStringList{"old.swf"});
    // Another letter case is a new name.
    typed = "OLD.swf";
    c.c.OnRenameFile();
    EXPECT_EQ(Entries(list), QStringList{"OLD.swf"});
    EXPECT_EQ(v.movies.RowText(0, 1), "OLD.swf");
    // A name the list file cannot hold: the movie and the row keep the old name.
    typed = QString(40, u'x') + ".swf";
    c.c.OnRenameFile();
    EXPECT_EQ(c.messages, QStringList{"Rename failed!"});
    EXPECT_EQ(Entries(list), QStringList{"OLD.swf"});
    EXPECT_EQ(v.movies.RowText(0, 1), "OLD.swf");
    typed = "new.swf";
    c.c.OnRenameFile();
    EXPECT_EQ(Entries(list), QStringList{"new.swf"});
    EXPECT_EQ(v.movies.RowText(0, 1), "new.swf");
    // Cancel does nothing.
    c.dialog = [](QDialog &) { return int(QDialog::Rejected); };
    c.c.OnRenameFile();
    EXPECT_EQ(v.movies.RowText(0, 1), "new.swf");
}

TEST(FileCommands, RenameAMovieFile) {
    QTemporaryDir dir;
    Views v;
    Commands c(v);
    v.movies.AppendFileRow("/m/first.swf");
    const QString movie = Movie(dir.filePath("a.swf"), 8);
    v.movies.AppendFileRow(movie);
    v.movies.AppendFileRow("/m/last.swf");
    v.movies.SelectOnly(1);

    // A move that fails keeps the row.
    c.savePath = dir.filePath("no/such/folder/b.swf");
    c.c.OnRenameFile();
    EXPECT_EQ(v.movies.Row(1), (PlayListRow{movie, "a.swf"}));
    EXPECT_TRUE(QFile::exists(movie));

    c.savePath = dir.filePath("b.swf");
    c.c.OnRenameFile();
    EXPECT_EQ(c.saveAsked.last(), dir.path() + "/|" + movie);
    EXPECT_FALSE(QFile::exists(movie));
    EXPECT_TRUE(QFile::exists(c.savePath));
    EXPECT_EQ(v.movies.Row(1), (PlayListRow{c.savePath, "b.swf"}));
    EXPECT_EQ(v.movies.ItemData(1), 1);
    EXPECT_EQ(v.movies.RowCount(), 3);
}

// Renaming moves the file, onto another file system too.
TEST(FileCommands, RenameAMovieFileOntoAnotherFileSystem) {
    QTemporaryDir dir;
    QTemporaryDir other(QStringLiteral("/dev/shm/kz-rename-XXXXXX"));
    struct stat a {
    }, b{};
    if (!other.isValid() || stat(QFile::encodeName(dir.path()), &a) != 0 ||
        stat(QFile::encodeName(other.path()), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system at hand";
    Views v;
    Commands c(v);
    const QString movie = Movie(dir.filePath("a.swf"), 9);
    const QByteArray bytes = test::ReadFile(movie);
    v.movies.AppendFileRow(movie);
    v.movies.SelectOnly(0);
    c.savePath = other.filePath("moved.swf");
    c.c.OnRenameFile();
    EXPECT_FALSE(QFile::exists(movie));
    EXPECT_EQ(test::ReadFile(c.savePath), bytes);
    EXPECT_EQ(v.movies.Row(0), (PlayListRow{c.savePath, "moved.swf"}));
    EXPECT_EQ(QDir(other.path()).entryList(QDir::Files), QStringList{"moved.swf"})
        << "no scratch copy left behind";
}

TEST(FileCommands, BrowseContainingFolder) {
    Views v;
    Commands c(v);
    c.c.OnBrowseFolder();
    c.c.OnBrowseListFolder();
    EXPECT_TRUE(c.shown.isEmpty());
    v.movies.AppendFileRow("/m/a.swf");
    v.movies.AppendRow("/l/x.tpl", "b.swf");
    v.lists.AppendFileRow("/l/x.tpl");
    v.Select(v.movies, {1, 0});
    v.lists.SelectOnly(0);
    c.c.OnBrowseFolder();
    c.c.OnBrowseListFolder();
    v.movies.SelectOnly(1);
    c.c.OnBrowseFolder();
    EXPECT_EQ(c.shown, (QStringList{"/m/a.swf", "/l/x.tpl", "/l/x.tpl"}));
}

namespace {

// A list file whose information record holds the given texts.
QString ListWithRecord(const QString &folder, const QStringList &records) {
    const QString list = QDir(folder).filePath("info.tpl");
    EXPECT_TRUE(CreateListFile(list));
    const QString record = QDir(folder).filePath("KZinfo.data");
    EXPECT_TRUE(WriteTextRecordFile(record, records));
    EXPECT_TRUE(AddMovie(record, list));
    EXPECT_TRUE(AddMovie(Movie(QDir(folder).filePath("m.swf"), 1), list));
    return list;
}

QString Field(QDialog &d, int id) {
    if (auto *e = d.findChild<QLineEdit *>(QStringLiteral("IDC_%1").arg(id)))
        return e->text();
    if (auto *l = d.findChild<CHyperLink *>(QStringLiteral("IDC_%1").arg(id)))
        return l->text();
    return "<none>";
}

} // namespace

TEST(TplInfmationDlg, TheRecordInTheSevenFields) {
    QTemporaryDir dir;
    Views v;
    Commands c(v);
    const QString list = ListWithRecord(
        dir.path(), {"KZNAME=first", "xxKZEMAIL=me@example.org", "KZNAME without equals",
                     "KZMSN=msn=id", "KZOTHER=其他", "KZWEB=http://example.org/a?b=c",
                     "KZDETAIL=details", "KZEMAIL=x KZNAME=later name", "unknown=1"});
    v.lists.AppendFileRow(dir.filePath("elsewhere.tpl"));
    v.lists.AppendFileRow(list);
    v.Select(v.lists, {1});

    QStringList seen;
    QString emailTarget, webTarget;
    c.dialog = [&](QDialog &d) {
        EXPECT_EQ(d.windowTitle(), "Tpl文件信息");
        for (int id : {1062, 1063, 1067, 1065, 1064, 1066, 1061})
            seen << Field(d, id);
        auto &dlg = dynamic_cast<CTplInfmationDlg &>(d);
        emailTarget = dlg.EmailLink()->GetURL();
        webTarget = dlg.WebLink()->GetURL();
        return int(QDialog::Accepted);
    };
    c.c.OnListFileInfo();
    EXPECT_EQ(seen,
              (QStringList{"later name", "me@example.org", "id", "其他", "c", list, "details"}));
    EXPECT_EQ(emailTarget, "mailto:me@example.org");
    // The value starts after the last "=": "c" is no web address, so the link is refused.
    EXPECT_EQ(webTarget, "");

    // Several rows selected: the first. A list file without the record shows only its name.
    seen.clear();
    v.Select(v.lists, {0, 1});
    c.c.OnListFileInfo();
    EXPECT_EQ(seen, (QStringList{"", "", "", "", "", dir.filePath("elsewhere.tpl"), ""}));
    v.lists.clearSelection();
    seen.clear();
    c.c.OnListFileInfo();
    EXPECT_TRUE(seen.isEmpty());
}

TEST(TplInfmationDlg, LinksOpenThroughTheDesktopOrSayWhyNot) {
    CTplInfmationDlg dlg;
    dlg.m_strEmail = "me@example.org";
    dlg.m_strWeb = "";
    dlg.ToControls();
    QStringList opened, reports;
    CHyperLink::SetOpener([&](const QString &url) {
        opened << url;
        return url.isEmpty() ? QString("The link is empty.") : QString();
    });
    dlg.EmailLink()->m_report = [&](const QString &t) { reports << t; };
    dlg.WebLink()->m_report = [&](const QString &t) { reports << t; };
    dlg.show();
    QTest::mouseClick(dlg.EmailLink(), Qt::LeftButton);
    EXPECT_EQ(opened, QStringList{"mailto:me@example.org"});
    EXPECT_TRUE(reports.isEmpty());
    EXPECT_FALSE(dlg.WebLink()->GotoURL());
    EXPECT_EQ(reports, QStringList{"Unable to open hyperlink:\n\nThe link is empty."});
    CHyperLink::SetOpener({});
    // The desktop opener names its reasons without starting anything for bad links.
    EXPECT_EQ(CHyperLink::OpenWithDesktop(""), "The link is empty.");
    EXPECT_EQ(CHyperLink::OpenWithDesktop("mailto:"), "The link names no e-mail address.");
    EXPECT_EQ(CHyperLink::OpenWithDesktop("no scheme"), "The link is not a valid address.");
}

// The record comes from whoever made the list file: the web link opens only http and https,
// the e-mail link only a plain address, and both show their texts as plain text.
TEST(TplInfmationDlg, OnlyWebAndPlainMailLinksOpen) {
    QStringList opened, reports;
    CHyperLink::SetOpener([&](const QString &url) {
        opened << url;
        return QString();
    });
    const auto click = [&](const QString &web, const QString &email) {
        CTplInfmationDlg dlg;
        dlg.m_strWeb = web;
        dlg.m_strEmail = email;
        dlg.ToControls();
        dlg.EmailLink()->m_report = [&](const QString &t) { reports << t; };
        dlg.WebLink()->m_report = [&](const QString &t) { reports << t; };
        EXPECT_EQ(dlg.WebLink()->textFormat(), Qt::PlainText);
        EXPECT_EQ(dlg.EmailLink()->textFormat(), Qt::PlainText);
        EXPECT_EQ(dlg.WebLink()->text(), web);
        EXPECT_EQ(dlg.EmailLink()->text(), email);
        dlg.show();
        QTest::mouseClick(dlg.WebLink(), Qt::LeftButton);
        QTest::mouseClick(dlg.EmailLink(), Qt::LeftButton);
    };
    for (const char *web : {"http://example.org/", "https://例子.cn/a?b", "HTTPS://x.cn"}) {
        opened.clear();
        click(web, "me.too+x@mail.example.cn");
        EXPECT_EQ(opened, (QStringList{web, "mailto:me.too+x@mail.example.cn"})) << web;
    }
    EXPECT_TRUE(reports.isEmpty());
    for (const char *web :
         {"file:///etc/passwd", "javascript:alert(1)", "smb://host/share", "ftp://example.org/",
          "mailto:me@example.org", "http://", "http:/x", "example.org", "vnd.ms-x:run",
          "<a href=\"file:///\">x</a>", " http://example.org/"}) {
        opened.clear();
        reports.clear();
        click(web, "");
        EXPECT_EQ(opened, QStringList{"mailto:"}) << web;
        EXPECT_EQ(reports, QStringList{"Unable to open hyperlink:\n\nOnly web addresses (http, "
                                       "https) are opened from here."})
            << web;
    }
    for (const char *email :
         {"me@example.org?attach=/etc/passwd", "me@example.org?cc", "a@b.cn,c@d.cn", "a b@c.cn",
          "me@example.org\nBcc: x@y.cn", "<b>me@example.org</b>", "me@localhost", "@example.org",
          "me@", "me@-x.cn", "me@example.org&body", "me%40x@y.cn", "mailto:me@example.org",
          "me@example.org/x"}) {
        opened.clear();
        reports.clear();
        click("", email);
        EXPECT_EQ(opened, QStringList{""}) << email;
        EXPECT_EQ(reports, QStringList{"Unable to open hyperlink:\n\nOnly a plain e-mail "
                                       "address is opened from here."})
            << email;
    }
    CHyperLink::SetOpener({});
}
