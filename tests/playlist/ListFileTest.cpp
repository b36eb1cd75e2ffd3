#include "support/StorageTestUtil.h"

#include "platform/Paths.h"
#include "platform/storage/CompoundFile.h"
#include "playlist/ListFile.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace kz;
using namespace kz::test;

namespace {

QStringList Entries(const QString &list) {
    QStringList names;
    EXPECT_TRUE(ListEntries(list, names));
    return names;
}

QStringList SortedByFormat(QStringList names) {
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return CompoundFile::CompareNames(a, b) < 0;
    });
    return names;
}

// Every name in the folder, hidden ones too.
QStringList FolderNames(const QString &folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// Corpus movies whose names fit an entry.
QStringList CorpusMovies(int count) {
    QStringList out;
    for (const QString &f : CorpusFiles())
        if (FileNameOf(f).size() <= 31 && out.size() < count)
            out << f;
    return out;
}

} // namespace

TEST(ListFile, CorpusMoviesGoInAndComeOutByteForByte) {
    QTemporaryDir tmp;
    const QString list = tmp.filePath("Fun.tpl");
    ASSERT_TRUE(CreateListFile(list));
    EXPECT_TRUE(Entries(list).isEmpty());
    const QStringList movies = CorpusMovies(25);
    ASSERT_GE(movies.size(), 10);
    QStringList names;
    for (const QString &m : movies) {
        ASSERT_TRUE(AddMovie(m, list)) << m.toStdString();
        names << FileNameOf(m);
    }
    const QStringList listed = Entries(list);
    EXPECT_EQ(listed, SortedByFormat(names)); // the tree's order, letter case kept
    const QJsonObject ole = OleStreams(list);
    EXPECT_EQ(ole.size(), movies.size());
    for (const QString &m : movies) {
        const QString name = FileNameOf(m);
        const QByteArray bytes = ReadFile(m);
        EXPECT_EQ(ole[name + "/" + name].toString(), Sha1(bytes)) << name.toStdString();
        const QString out = tmp.filePath("out/" + name);
        QDir().mkpath(tmp.filePath("out"));
        ASSERT_TRUE(ExtractEntry(out, name.toUpper(), list));
        EXPECT_EQ(ReadFile(out), bytes);
    }
    // gsf sees the same bytes.
    const QString one = FileNameOf(movies.first());
    const ProcResult cat = RunProgram("gsf", {"cat", list, one + "/" + one});
    EXPECT_EQ(cat.out, ReadFile(movies.first()));
}

TEST(ListFile, AddingTheSameNameReplacesTheEntry) {
    QTemporaryDir tmp;
    const QString list = tmp.filePath("r.tpl");
    ASSERT_TRUE(CreateListFile(list));
    ASSERT_TRUE(WriteFile(tmp.filePath("a/b/c.swf"), PatternBytes(5000, 1)));
    ASSERT_TRUE(WriteFile(tmp.filePath("d/c.swf"), PatternBytes(20000, 2)));
    ASSERT_TRUE(WriteFile(tmp.filePath("e/C.SWF"), PatternBytes(300, 3)));
    ASSERT_TRUE(AddMovie(tmp.filePath("a/b/c.swf"), list));
    ASSERT_TRUE(AddMovie(tmp.filePath("d/c.swf"), list));
    EXPECT_EQ(Entries(list), QStringList{"c.swf"});
    ASSERT_TRUE(ExtractEntry(tmp.filePath("x"), "c.swf", list));
    EXPECT_EQ(ReadFile(tmp.filePath("x")), PatternBytes(20000, 2));
    // Names compare without case; the new entry keeps the case it was given.
    ASSERT_TRUE(AddMovie(tmp.filePath("e/C.SWF"), list));
    EXPECT_EQ(Entries(list), QStringList{"C.SWF"});
    EXPECT_EQ(OleStreams(list)["C.SWF/C.SWF"].toString(), Sha1(PatternBytes(300, 3)));
}

TEST(ListFile, ChunkBoundariesAndEmptyMovies) {
    QTemporaryDir tmp;
    const QString list = tmp.filePath("c.tpl");
    ASSERT_TRUE(CreateListFile(list));
    for (const qint64 size : {qint64(0), qint64(3000), qint64(4095), qint64(4096), qint64(10239),
                              qint64(10240), qint64(10241), qint64(30720), qint64(700001)}) {
        const QString movie = tmp.filePath(QStringLiteral("m%1.swf").arg(size));
        ASSERT_TRUE(WriteFile(movie, PatternBytes(size, quint32(size))));
        ASSERT_TRUE(AddMovie(movie, list));
        const QString out = tmp.filePath("out.swf");
        ASSERT_TRUE(WriteFile(out, "old content to be replaced"));
        ASSERT_TRUE(ExtractEntry(out, FileNameOf(movie), list));
        EXPECT_EQ(ReadFile(out), PatternBytes(size, quint32(size))) << size;
    }
    // Nothing but the destination is left beside it.
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files).filter(".part").size(), 0);
}

TEST(ListFile, FailuresReturnFalseAndKeepWhatIsStored) {
    QTemporaryDir tmp;
    const QString list = tmp.filePath("f.tpl");
    ASSERT_TRUE(CreateListFile(list));
    const QByteArray keep = PatternBytes(7000, 9);
    ASSERT_TRUE(WriteFile(tmp.filePath("keep.swf"), keep));
    ASSERT_TRUE(AddMovie(tmp.filePath("keep.swf"), list));
    const QByteArray before = ReadFile(list);

    // Not list files.
    ASSERT_TRUE(WriteFile(tmp.filePath("text.tpl"), "not a compound file at all"));
    QStringList names;
    for (const QString &bad : {tmp.filePath("text.tpl"), tmp.filePath("missing.tpl"), tmp.path()}) {
        EXPECT_FALSE(ListEntries(bad, names));
        EXPECT_FALSE(AddMovie(tmp.filePath("keep.swf"), bad));
        EXPECT_FALSE(ExtractEntry(tmp.filePath("o"), "keep.swf", bad));
        EXPECT_FALSE(DeleteEntry(bad, "keep.swf"));
        EXPECT_FALSE(CompactListFile(bad));
    }
    EXPECT_TRUE(names.isEmpty());
    EXPECT_EQ(ReadFile(tmp.filePath("text.tpl")), "not a compound file at all");

    // A missing entry, a name too long for the format, an unreadable movie, a folder, the list
    // itself: each fails and the list file keeps its bytes.
    EXPECT_FALSE(ExtractEntry(tmp.filePath("o"), "none.swf", list));
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath("o")));
    EXPECT_FALSE(DeleteEntry(list, "none.swf"));
    const QString longName = tmp.filePath(QString(28, u'n') + ".swf");
    ASSERT_TRUE(WriteFile(longName, "x"));
    EXPECT_FALSE(AddMovie(longName, list));
    EXPECT_FALSE(AddMovie(tmp.filePath("missing/keep.swf"), list)); // would replace keep.swf
    QDir().mkpath(tmp.filePath("folder.swf"));
    EXPECT_FALSE(AddMovie(tmp.filePath("folder.swf"), list));
    EXPECT_FALSE(AddMovie(list, list));
    EXPECT_EQ(ReadFile(list), before);
    EXPECT_FALSE(ExtractEntry(tmp.filePath("nofolder/o.swf"), "keep.swf", list));
}

// An entry larger than the caller takes (the player: what the Flash control plays) is refused
// before a byte is copied out; one of exactly that size is not.
TEST(ListFile, ExtractionRefusesEntriesAboveItsLimitBeforeCopying) {
    QTemporaryDir tmp;
    const QString list = tmp.filePath("l.tpl"), out = tmp.filePath("out.swf");
    ASSERT_TRUE(CreateListFile(list));
    const QByteArray bytes = PatternBytes(70000, 9);
    ASSERT_TRUE(WriteFile(tmp.filePath("big.swf"), bytes));
    ASSERT_TRUE(AddMovie(tmp.filePath("big.swf"), list));
    EXPECT_FALSE(ExtractEntry(out, "big.swf", list, 69999));
    EXPECT_EQ(FolderNames(tmp.path()), (QStringList{"big.swf", "l.tpl"}));
    ASSERT_TRUE(ExtractEntry(out, "big.swf", list, 70000));
    EXPECT_EQ(ReadFile(out), bytes);
}

TEST(ListFile, DeleteCopyAndRename) {
    QTemporaryDir tmp;
    const QString a = tmp.filePath("a.tpl"), b = tmp.filePath("b.tpl");
    ASSERT_TRUE(CreateListFile(a) && CreateListFile(b));
    const QByteArray m1 = PatternBytes(15000, 1), m2 = PatternBytes(900, 2);
    ASSERT_TRUE(WriteFile(tmp.filePath("one.swf"), m1) && WriteFile(tmp.filePath("Two.swf"), m2));
    ASSERT_TRUE(AddMovie(tmp.filePath("one.swf"), a) && AddMovie(tmp.filePath("Two.swf"), a));

    ASSERT_TRUE(CopyEntry("Two.swf", a, b));
    EXPECT_EQ(Entries(b), QStringList{"Two.swf"});
    EXPECT_FALSE(QFileInfo::exists(TempFolder() + "Two.swf"));
    EXPECT_FALSE(CopyEntry("none.swf", a, b));
    EXPECT_FALSE(CopyEntry("Two.swf", a, tmp.filePath("missing.tpl")));

    ASSERT_TRUE(RenameEntry("renamed.swf", a, "one.swf"));
    EXPECT_EQ(Entries(a), (QStringList{"Two.swf", "renamed.swf"}));
    EXPECT_EQ(OleStreams(a)["renamed.swf/renamed.swf"].toString(), Sha1(m1));
    // A change of case only keeps the movie.
    ASSERT_TRUE(RenameEntry("TWO.swf", a, "Two.swf"));
    EXPECT_EQ(Entries(a), (QStringList{"TWO.swf", "renamed.swf"}));
    EXPECT_EQ(OleStreams(a)["TWO.swf/TWO.swf"].toString(), Sha1(m2));
    // A name the format refuses fails and loses nothing.
    EXPECT_FALSE(RenameEntry(QString(32, u'x'), a, "renamed.swf"));
    EXPECT_FALSE(RenameEntry("a:b.swf", a, "renamed.swf"));
    EXPECT_FALSE(RenameEntry("x.swf", a, "none.swf"));
    EXPECT_EQ(Entries(a), (QStringList{"TWO.swf", "renamed.swf"}));
    EXPECT_EQ(OleStreams(a)["renamed.swf/renamed.swf"].toString(), Sha1(m1));
    // Renaming onto another entry's name replaces that entry.
    ASSERT_TRUE(RenameEntry("two.swf", a, "renamed.swf"));
    EXPECT_EQ(Entries(a), QStringList{"two.swf"});
    EXPECT_EQ(OleStreams(a)["two.swf/two.swf"].toString(), Sha1(m1));

    ASSERT_TRUE(DeleteEntry(a, "TWO.SWF"));
    EXPECT_TRUE(Entries(a).isEmpty());
}

TEST(ListFile, AnotherWriterMakesWritesFail) {
    QTemporaryDir tmp;
    const QString list = tmp.filePath("l.tpl");
    ASSERT_TRUE(CreateListFile(list));
    ASSERT_TRUE(WriteFile(tmp.filePath("m.swf"), "movie"));
    ASSERT_TRUE(AddMovie(tmp.filePath("m.swf"), list));
    {
        auto holder = CompoundFile::Open(list, CompoundFile::Access::Write);
        ASSERT_TRUE(holder);
        QStringList names;
        EXPECT_FALSE(AddMovie(tmp.filePath("m.swf"), list));
        EXPECT_FALSE(DeleteEntry(list, "m.swf"));
        EXPECT_FALSE(RenameEntry("n.swf", list, "m.swf"));
        EXPECT_FALSE(CreateListFile(list));
        EXPECT_FALSE(ListEntries(list, names));
        EXPECT_FALSE(CompactListFile(list));
    }
    {
        auto reader = CompoundFile::Open(list, CompoundFile::Access::Read);
        ASSERT_TRUE(reader);
        EXPECT_FALSE(DeleteEntry(list, "m.swf"));
        EXPECT_EQ(Entries(list), QStringList{"m.swf"}); // readers share
        EXPECT_TRUE(ExtractEntry(tmp.filePath("o.swf"), "m.swf", list));
    }
    EXPECT_TRUE(DeleteEntry(list, "m.swf"));
}

namespace {
struct CurrentDir {
    explicit CurrentDir(const QString &dir) : m_old(QDir::currentPath()) { QDir::setCurrent(dir); }
    ~CurrentDir() { QDir::setCurrent(m_old); }
    QString m_old;
};

// A list file of `count` movies with every other one deleted again; the kept ones by name.
std::map<QString, QByteArray> FillAndThin(const QString &list, int count, quint32 seed) {
    std::map<QString, QByteArray> kept;
    EXPECT_TRUE(CreateListFile(list));
    QTemporaryDir movies;
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("m%1.swf").arg(i);
        const QByteArray bytes = PatternBytes(i % 2 ? 100000 + i : 2000 + i, seed + quint32(i));
        const QString movie = movies.filePath(name);
        EXPECT_TRUE(WriteFile(movie, bytes));
        EXPECT_TRUE(AddMovie(movie, list));
        QFile::remove(movie);
        kept[name] = bytes;
    }
    for (int i = 0; i < count; i += 3) {
        const QString name = QStringLiteral("m%1.swf").arg(i);
        EXPECT_TRUE(DeleteEntry(list, name));
        kept.erase(name);
    }
    return kept;
}

void ExpectHolds(const QString &list, const std::map<QString, QByteArray> &kept) {
    const QJsonObject ole = OleStreams(list);
    EXPECT_EQ(ole.size(), qsizetype(kept.size())) << list.toStdString();
    for (const auto &[name, bytes] : kept)
        EXPECT_EQ(ole[name + "/" + name].toString(), Sha1(bytes)) << name.toStdString();
}
} // namespace

TEST(ListFile, CompactionDropsUnusedSpaceAndKeepsEveryEntry) {
    QTemporaryDir tmp;
    QDir().mkpath(tmp.filePath("lists"));
    const QString list = tmp.filePath("lists/big.tpl");
    const auto kept = FillAndThin(list, 8, 0);
    ASSERT_TRUE(::chmod(QFile::encodeName(list).constData(), 0640) == 0);
    const qint64 before = QFileInfo(list).size();
    // The current folder plays no part: one that is gone changes nothing.
    QDir().mkpath(tmp.filePath("gone"));
    {
        CurrentDir cd(tmp.filePath("gone"));
        ASSERT_TRUE(QDir().rmdir(tmp.filePath("gone")));
        ASSERT_TRUE(CompactListFile(list));
    }
    EXPECT_LT(QFileInfo(list).size(), before - 100000);
    ExpectHolds(list, kept);
    // The new file keeps the old one's permissions; no scratch file is left beside it.
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(list).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(FolderNames(tmp.filePath("lists")), QStringList{"big.tpl"});
    EXPECT_EQ(FolderNames(tmp.path()), QStringList{"lists"});
}

// Compactions of two lists in one folder at the same time, over and over: each keeps its own
// entries (a shared scratch name would hand one list the other's), and nothing is left over.
TEST(ListFile, CompactionsInOneFolderAtOnceStayApart) {
    QTemporaryDir tmp;
    const QString a = tmp.filePath("a.tpl"), b = tmp.filePath("b.tpl");
    const auto keptA = FillAndThin(a, 12, 100);
    const auto keptB = FillAndThin(b, 9, 200);
    for (int round = 0; round < 5; ++round) {
        std::atomic<int> done{0};
        std::atomic<bool> okA{false}, okB{false};
        std::thread ta([&] {
            okA = CompactListFile(a);
            ++done;
        });
        std::thread tb([&] {
            okB = CompactListFile(b);
            ++done;
        });
        ta.join();
        tb.join();
        EXPECT_TRUE(okA);
        EXPECT_TRUE(okB);
    }
    ExpectHolds(a, keptA);
    ExpectHolds(b, keptB);
    EXPECT_EQ(FolderNames(tmp.path()), (QStringList{"a.tpl", "b.tpl"}));
    QStringList names;
    ASSERT_TRUE(ListEntries(a, names));
    EXPECT_EQ(names.size(), qsizetype(keptA.size()));
}

// A scratch name that is taken is never opened (nor truncated): the compaction takes another.
// A compaction that cannot finish leaves the list as it was and no scratch file.
TEST(ListFile, CompactionScratchFileIsItsOwnAndGoesOnFailure) {
    QTemporaryDir tmp;
    const QString list = tmp.filePath("l.tpl");
    const auto kept = FillAndThin(list, 6, 300);
    // Every name this process would try first is already there, as a link to a file of ours.
    ASSERT_TRUE(WriteFile(tmp.filePath("victim"), "keep me"));
    QStringList planted;
    for (int n = 0; n < 200; ++n) {
        const QString name = QStringLiteral(".l.tpl.%1-%2.compact").arg(::getpid()).arg(n);
        ASSERT_EQ(::symlink("victim", QFile::encodeName(tmp.filePath(name)).constData()), 0);
        planted << name;
    }
    // Up to 100 names are tried; with all of those taken the compaction gives up cleanly.
    EXPECT_FALSE(CompactListFile(list));
    ExpectHolds(list, kept);
    EXPECT_EQ(ReadFile(tmp.filePath("victim")), QByteArray("keep me"));
    for (const QString &name : planted)
        QFile::remove(tmp.filePath(name));
    ASSERT_TRUE(CompactListFile(list));
    ExpectHolds(list, kept);
    EXPECT_EQ(ReadFile(tmp.filePath("victim")), QByteArray("keep me"));
    EXPECT_EQ(FolderNames(tmp.path()), (QStringList{"l.tpl", "victim"}));

    // A folder that takes no new file: nothing is changed, nothing is left.
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(QFile::encodeName(tmp.path()).constData(), 0500), 0);
        EXPECT_FALSE(CompactListFile(list));
        ::chmod(QFile::encodeName(tmp.path()).constData(), 0700);
        ExpectHolds(list, kept);
    }
    // A damaged list: the copy fails, the scratch file goes.
    const QString bad = tmp.filePath("bad.tpl");
    ASSERT_TRUE(QFile::copy(list, bad));
    {
        QFile f(bad);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        // The last movie's last bytes are cut off: the file opens, its copy fails half way.
        f.resize(f.size() - 400);
    }
    ASSERT_TRUE(CompoundFile::Open(bad, CompoundFile::Access::Read));
    EXPECT_FALSE(CompactListFile(bad));
    EXPECT_EQ(FolderNames(tmp.path()), (QStringList{"bad.tpl", "l.tpl", "victim"}));

    // A scratch file a compaction that died left behind goes with the next compaction; one
    // that is being written (its lock is held) stays, as do other lists' and other files.
    ASSERT_TRUE(WriteFile(tmp.filePath(".l.tpl.99999-0.compact"), "stale"));
    ASSERT_TRUE(WriteFile(tmp.filePath(".bad.tpl.99999-0.compact"), "another list's"));
    ASSERT_TRUE(WriteFile(tmp.filePath(".l.tpl.99999-1.other"), "not a scratch file"));
    auto live = CompoundFile::CreateNew(tmp.filePath(".l.tpl.99999-2.compact"));
    ASSERT_TRUE(live);
    ASSERT_TRUE(CompactListFile(list));
    ExpectHolds(list, kept);
    EXPECT_EQ(FolderNames(tmp.path()),
              (QStringList{".bad.tpl.99999-0.compact", ".l.tpl.99999-1.other",
                           ".l.tpl.99999-2.compact", "bad.tpl", "l.tpl", "victim"}));
}

// A movie that is no regular file (here a pipe) is read chunk by chunk.
TEST(ListFile, MovieFromAPipe) {
    QTemporaryDir tmp;
    const QString list = tmp.filePath("p.tpl"), fifo = tmp.filePath("piped.swf");
    ASSERT_TRUE(CreateListFile(list));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QByteArray bytes = PatternBytes(250000, 4);
    std::thread feeder([&] {
        QFile f(fifo);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    });
    const bool added = AddMovie(fifo, list);
    feeder.join();
    ASSERT_TRUE(added);
    EXPECT_EQ(OleStreams(list)["piped.swf/piped.swf"].toString(), Sha1(bytes));
}
