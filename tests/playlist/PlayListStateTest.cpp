#include "playlist/PlayListState.h"
#include "platform/TextRecords.h"
#include "playlist/ListFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

TEST(MovieReference, FormsAndRecognition) {
    EXPECT_EQ(MovieReference({"/m/a.swf", "a.swf"}), "/m/a.swf");
    EXPECT_EQ(MovieReference({"/D/X.tpl", "m.swf"}), "/D/X.tpl/m.swf");
    EXPECT_EQ(MovieReference({"/D/X.TPL", "m.swf"}), "/D/X.TPL/m.swf");
    EXPECT_EQ(MovieReference({"/D/X.tplx", "m.swf"}), "/D/X.tplx");
    EXPECT_TRUE(IsListFileReference("/D/X.TPL/m.swf"));
    EXPECT_TRUE(IsListFileReference("/d/a.tplx/m.swf")); // a folder named like one counts too
    EXPECT_FALSE(IsListFileReference("/d/a/m.tpl"));
    EXPECT_FALSE(IsListFileReference("m.swf"));

    // A row's kind by the extension (loading) and by ".tpl" anywhere (the commands).
    EXPECT_TRUE(IsListFilePath("/a/b/Movies.TPL"));
    EXPECT_TRUE(IsListFilePath("/a/b/m.tpl"));
    EXPECT_FALSE(IsListFilePath("/a/b.tpl/m.swf"));
    EXPECT_FALSE(IsListFilePath("/a/b/tpl"));
    EXPECT_TRUE(RowInListFile("/a/b/Movies.TPL"));
    EXPECT_TRUE(RowInListFile("/a/b.Tpl/m.swf"));
    EXPECT_FALSE(RowInListFile("/a/b/m.swf"));
}

// The rows come back with the paths' real letter case; what cannot be opened is dropped.
TEST(PlayListState, RoundTripThroughTheStateFiles) {
    QTemporaryDir tmp;
    const QString list = tmp.filePath("Lists/Fun.TPL");
    QDir().mkpath(tmp.filePath("Lists"));
    ASSERT_TRUE(CreateListFile(list));
    const QString movie = tmp.filePath("Movies/Some Movie.swf");
    ASSERT_TRUE(WriteFile(movie, "m"));
    QDir().mkpath(tmp.filePath("a.tplx/m.swf")); // a folder, not a list file
    const std::vector<PlayListRow> rows{
        {list, "m.swf"},
        {movie, "Some Movie.swf"},
        {tmp.filePath("a.tplx"), "m.swf"},   // written as the folder path itself
        {tmp.filePath("a.tplx/m.swf"), "x"}, // taken for a list file, which it is not
        {tmp.filePath("missing.swf"), "missing.swf"},
        {list, "动画.swf"},
    };
    const QString state = tmp.filePath(QString::fromUtf16(kPlayListStateName));
    ASSERT_TRUE(WritePlayListState(state, rows));
    const auto texts = ReadTextRecordFile(state);
    ASSERT_TRUE(texts);
    EXPECT_EQ(*texts, (QStringList{list + "/m.swf", movie, tmp.filePath("a.tplx"),
                                   tmp.filePath("a.tplx/m.swf"), tmp.filePath("missing.swf"),
                                   list + "/动画.swf"}));
    const StateFileRead back = ReadPlayListState(state);
    EXPECT_TRUE(back.opened);
    EXPECT_EQ(back.records, 6);
    const std::vector<PlayListRow> want{
        {list, "m.swf"}, {movie, "Some Movie.swf"}, {list, "动画.swf"}};
    EXPECT_EQ(back.rows, want);

    const QString state2 = tmp.filePath(QString::fromUtf16(kListFileStateName));
    ASSERT_TRUE(
        WriteListFileState(state2, {{list, "Fun.TPL"}, {tmp.filePath("gone.tpl"), "gone.tpl"}}));
    EXPECT_EQ(*ReadTextRecordFile(state2), (QStringList{list, tmp.filePath("gone.tpl")}));
    const StateFileRead lists = ReadListFileState(state2);
    EXPECT_EQ(lists.rows, (std::vector<PlayListRow>{{list, "Fun.TPL"}}));
}

TEST(PlayListState, EmptyMissingAndUnwritableFiles) {
    QTemporaryDir tmp;
    const QString state = tmp.filePath("1list.ini");
    ASSERT_TRUE(WriteFile(state, "previous content"));
    ASSERT_TRUE(WritePlayListState(state, {}));
    EXPECT_EQ(ReadFile(state), QByteArray());
    const StateFileRead empty = ReadPlayListState(state);
    EXPECT_TRUE(empty.opened);
    EXPECT_EQ(empty.records, 0);
    const StateFileRead missing = ReadPlayListState(tmp.filePath("none.ini"));
    EXPECT_FALSE(missing.opened);
    EXPECT_FALSE(WritePlayListState(tmp.filePath("no/such/folder/1list.ini"), {{"a", "b"}}));
    // A marker pair 0xFF 0x00 is a record; 0x00 0x00 ends the reading.
    const QString movie = tmp.filePath("m.swf");
    ASSERT_TRUE(WriteFile(movie, "m"));
    QByteArray bytes = EncodeTextRecord(movie);
    bytes[1] = '\0';
    QByteArray stop = EncodeTextRecord(movie);
    stop[0] = stop[1] = '\0';
    ASSERT_TRUE(WriteFile(state, bytes + stop + EncodeTextRecord(movie)));
    const StateFileRead odd = ReadPlayListState(state);
    EXPECT_EQ(odd.records, 1);
    EXPECT_EQ(odd.rows, (std::vector<PlayListRow>{{movie, "m.swf"}}));
}

// An older installation's state files (and favourites and search history) become the user's on the
// first start, and never again once the user's folder has state of its own.
TEST(PlayListState, OldStateFilesAreAdoptedOnceAndNeverReplaceTheUsers) {
    QTemporaryDir tmp;
    const QString old = tmp.filePath("program/"), user = tmp.filePath("data/KZPlayer/");
    const QString movie = tmp.filePath("m.swf");
    ASSERT_TRUE(WriteFile(movie, "m"));
    ASSERT_TRUE(WriteFile(old + "sample.tpl", "not copied: it ships with the program"));
    ASSERT_TRUE(WritePlayListState(old + "1list.ini", {{movie, "m.swf"}}));
    ASSERT_TRUE(WriteTextRecordFile(old + "2list.ini", {old + "sample.tpl"}));
    ASSERT_TRUE(WriteFile(old + "MyFavo.tpl", "favourites"));
    const QByteArray history("w\0o\0r\0d\0\xff", 9);
    ASSERT_TRUE(WriteFile(old + "slist.data", history));
    // Installed copies are read-only; the user's copies must still be writable.
    for (const char *name : {"1list.ini", "2list.ini", "MyFavo.tpl", "slist.data"})
        QFile::setPermissions(old + name, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);

    EXPECT_EQ(AdoptOldStateFiles(old, user), 4) << "the user's folder is made";
    EXPECT_EQ(ReadFile(user + "slist.data"), history);
    EXPECT_EQ(ReadPlayListState(user + "1list.ini").rows,
              (std::vector<PlayListRow>{{movie, "m.swf"}}));
    EXPECT_EQ(ReadTextRecordFile(user + "2list.ini"), QStringList{old + "sample.tpl"});
    EXPECT_EQ(ReadFile(user + "MyFavo.tpl"), "favourites");
    EXPECT_FALSE(QFileInfo::exists(user + "sample.tpl"));
    for (const char *name : {"1list.ini", "2list.ini", "MyFavo.tpl", "slist.data"})
        EXPECT_TRUE(QFile::permissions(user + name) & QFile::WriteOwner) << name;
    EXPECT_TRUE(WritePlayListState(user + "1list.ini", {}));

    // Later starts: the user's state stands, whatever the old folder holds.
    QFile::setPermissions(old + "1list.ini", QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(WriteTextRecordFile(old + "1list.ini", {"/changed.swf"}));
    EXPECT_EQ(AdoptOldStateFiles(old, user), 0);
    EXPECT_EQ(ReadTextRecordFile(user + "1list.ini"), QStringList{});

    // One state file of the user's is enough to leave everything as it is.
    QFile::remove(user + "1list.ini");
    EXPECT_EQ(AdoptOldStateFiles(old, user), 0);
    EXPECT_FALSE(QFileInfo::exists(user + "1list.ini"));

    // Without state files the user's own favourites and history are still never replaced.
    QFile::remove(user + "2list.ini");
    ASSERT_TRUE(WriteFile(user + "MyFavo.tpl", "mine"));
    ASSERT_TRUE(WriteFile(user + "slist.data", "mine"));
    EXPECT_EQ(AdoptOldStateFiles(old, user), 2);
    EXPECT_EQ(ReadFile(user + "MyFavo.tpl"), "mine");
    EXPECT_EQ(ReadFile(user + "slist.data"), "mine");
    EXPECT_EQ(ReadTextRecordFile(user + "1list.ini"), QStringList{"/changed.swf"});
}

TEST(PlayListState, AdoptingFromNothingOrFromItselfDoesNothing) {
    QTemporaryDir tmp;
    const QString user = tmp.filePath("data/KZPlayer/");
    EXPECT_EQ(AdoptOldStateFiles(tmp.filePath("none/"), user), 0);
    EXPECT_FALSE(QFileInfo::exists(user)) << "nothing to copy, nothing made";
    // Not files: skipped.
    QDir().mkpath(tmp.filePath("odd/1list.ini"));
    EXPECT_EQ(AdoptOldStateFiles(tmp.filePath("odd"), user), 0);
    // The same folder both ways.
    ASSERT_TRUE(WriteFile(user + "MyFavo.tpl", "x"));
    EXPECT_EQ(AdoptOldStateFiles(user, user), 0);
    EXPECT_EQ(AdoptOldStateFiles(tmp.filePath("data/KZPlayer"), user), 0);
}
