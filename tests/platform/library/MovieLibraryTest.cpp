#include "platform/library/MovieLibrary.h"

#include "support/StorageTestUtil.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace kz;
using namespace kz::test;

namespace {

using State = MovieLibrary::State;

// Runs python's sqlite3 module on the database: the script sees it as `db` (autocommit).
ProcResult PySql(const QString &path, const QString &script) {
    return RunPython("import json, sqlite3, sys\n"
                     "db = sqlite3.connect(sys.argv[1], isolation_level=None)\n" +
                         script,
                     {path});
}

// Holds an exclusive lock on the database from another process until destroyed.
class LockHolder {
public:
    explicit LockHolder(const QString &path) {
        m_process.start("/usr/bin/python3",
                        {"-c",
                         "import sqlite3, sys\n"
                         "db = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                         "db.execute('BEGIN EXCLUSIVE')\n"
                         "print('locked', flush=True)\n"
                         "sys.stdin.read()\n",
                         path});
        m_locked = m_process.waitForReadyRead(30000) && m_process.readAll().startsWith("locked");
    }
    ~LockHolder() {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(30000))
            m_process.kill();
        m_process.waitForFinished();
    }
    bool Locked() const { return m_locked; }

private:
    QProcess m_process;
    bool m_locked = false;
};

class MovieLibraryTest : public testing::Test {
protected:
    QTemporaryDir m_dir;
    // In a folder that does not exist yet.
    QString m_path = m_dir.filePath("data/KZPlayer/library.db");

    void MakeDatabase(const QList<LibraryRow> &rows) {
        MovieLibrary library(m_path);
        ASSERT_EQ(library.GetState(), State::Open);
        for (const LibraryRow &row : rows)
            ASSERT_TRUE(library.Set(row.identity, row.settings));
    }
};

// In identity order; none holds the default settings.
const QList<LibraryRow> kOddRows = {
    {"'); DROP TABLE movies; --", {1.5, MovieQuality::Low}},
    {"/home/用户/动画/猫 和 老鼠.swf", {2.0, MovieQuality::Best}},
    {"/movies/list.tpl|第 3 集|x", {1.0, MovieQuality::Medium}},
    {"C:\\flash\\\"quoted\" 'single'.swf", {0.5, MovieQuality::Low}},
    {"http://example.com/a.swf?x=1&y='2'#frag", {3.0, kDefaultQuality}},
    {"line\nbreak\ttab", {2.0, MovieQuality::Medium}},
};

// Rows as text, so a difference reads well.
QStringList Text(const QList<LibraryRow> &rows) {
    QStringList out;
    for (const LibraryRow &r : rows)
        out << QStringLiteral("%1 %2 %3")
                   .arg(r.identity, QString::number(r.settings.speed),
                        QualityName(r.settings.quality));
    return out;
}

} // namespace

TEST_F(MovieLibraryTest, OddIdentitiesSurviveAReopenAndAnotherReader) {
    {
        MovieLibrary library(m_path);
        ASSERT_EQ(library.GetState(), State::Open);
        EXPECT_TRUE(library.SetAsidePath().isEmpty());
        for (const LibraryRow &row : kOddRows)
            ASSERT_TRUE(library.Set(row.identity, row.settings)) << row.identity.toStdString();
        // Stored again: replaced, not added.
        ASSERT_TRUE(library.Set(kOddRows[0].identity, {3.0, MovieQuality::Low}));
        ASSERT_TRUE(library.Set(kOddRows[0].identity, kOddRows[0].settings));
    }
    const QFileInfo file(m_path);
    EXPECT_EQ(int(file.permissions() & 0x0777), 0x0600);
    EXPECT_EQ(int(QFileInfo(file.absolutePath()).permissions() & 0x0777), 0x0700);

    MovieLibrary again(m_path);
    ASSERT_EQ(again.GetState(), State::Open);
    for (const LibraryRow &row : kOddRows)
        EXPECT_EQ(again.Get(row.identity), row.settings) << row.identity.toStdString();
    EXPECT_EQ(Text(again.All()), Text(kOddRows));
    EXPECT_EQ(again.Get("/never/stored.swf"), MovieSettings{});

    // Python's sqlite3 module reads the same rows (BMP-only identities: the same order).
    const ProcResult py = PySql(m_path, "print(db.execute('PRAGMA user_version').fetchone()[0])\n"
                                        "print(json.dumps(db.execute('SELECT identity, speed, "
                                        "quality FROM movies ORDER BY identity').fetchall()))\n");
    ASSERT_EQ(py.exitCode, 0) << py.err.toStdString();
    ASSERT_TRUE(py.out.startsWith("1\n"));
    const QJsonArray stored = QJsonDocument::fromJson(py.out.mid(2)).array();
    ASSERT_EQ(stored.size(), kOddRows.size());
    for (qsizetype i = 0; i < kOddRows.size(); ++i) {
        const QJsonArray r = stored[i].toArray();
        EXPECT_EQ(r[0].toString(), kOddRows[i].identity);
        EXPECT_EQ(r[1].toDouble(), kOddRows[i].settings.speed);
        EXPECT_EQ(r[2].toString(), QualityName(kOddRows[i].settings.quality));
    }
}

TEST_F(MovieLibraryTest, DefaultsAreNotStoredAndBadInputIsRefused) {
    MovieLibrary library(m_path);
    ASSERT_TRUE(library.IsOpen());
    EXPECT_TRUE(library.Set("/a.swf", MovieSettings{}));
    EXPECT_TRUE(library.All().isEmpty());
    ASSERT_TRUE(library.Set("/a.swf", {2.0, kDefaultQuality}));
    ASSERT_TRUE(library.Set("/b.swf", {1.0, MovieQuality::Low}));
    // Back to the defaults: the row goes.
    ASSERT_TRUE(library.Set("/a.swf", {1.0, kDefaultQuality}));
    EXPECT_EQ(Text(library.All()), QStringList{"/b.swf 1 low"});

    // A speed within rounding of an offered one is stored as that one.
    ASSERT_TRUE(library.Set("/c.swf", {1.5 + 1e-9, kDefaultQuality}));
    EXPECT_EQ(library.Get("/c.swf").speed, 1.5);
    for (double bad : {1.25, 0.0, -2.0, 1e308, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()})
        EXPECT_FALSE(library.Set("/d.swf", {bad, MovieQuality::Best})) << bad;
    EXPECT_FALSE(library.Set("/d.swf", {2.0, static_cast<MovieQuality>(7)}));
    EXPECT_FALSE(library.Set("", {2.0, MovieQuality::Best}));
    EXPECT_EQ(library.Get(""), MovieSettings{});
    EXPECT_FALSE(library.Forget(""));
    EXPECT_EQ(library.All().size(), 2);

    EXPECT_TRUE(library.Forget("/b.swf"));
    EXPECT_FALSE(library.Forget("/b.swf"));
    EXPECT_FALSE(library.Forget("/never.swf"));
    EXPECT_EQ(library.Get("/b.swf"), MovieSettings{});
    EXPECT_EQ(Text(library.All()), QStringList{"/c.swf 1.5 high"});
}

TEST_F(MovieLibraryTest, HostileStoredValuesFallBackToDefaults) {
    MakeDatabase({});
    const ProcResult py = PySql(
        m_path, "rows = [('nan', 'NaN', 'best'), ('inf', float('inf'), 'low'),\n"
                "        ('huge', 1e308, 'medium'), ('neg', -1, 'best'), ('text', 'fast', 'low'),\n"
                "        ('blob', b'\\x00\\x01', 'best'), ('near', 2.01, 'ULTRA'),\n"
                "        ('ultra', 2.0, 'ultra'), ('intq', 3, 7), ('int', 2, 'low'),\n"
                "        ('', 2.0, 'low')]\n"
                "db.executemany('INSERT INTO movies VALUES (?, ?, ?)', rows)\n");
    ASSERT_EQ(py.exitCode, 0) << py.err.toStdString();

    const struct {
        const char *identity;
        MovieSettings want;
    } cases[] = {
        // In identity order.
        {"blob", {1.0, MovieQuality::Best}}, {"huge", {1.0, MovieQuality::Medium}},
        {"inf", {1.0, MovieQuality::Low}},   {"int", {2.0, MovieQuality::Low}},
        {"intq", {3.0, kDefaultQuality}},    {"nan", {1.0, MovieQuality::Best}},
        {"near", {1.0, kDefaultQuality}},    {"neg", {1.0, MovieQuality::Best}},
        {"text", {1.0, MovieQuality::Low}},  {"ultra", {2.0, kDefaultQuality}},
    };
    MovieLibrary library(m_path);
    ASSERT_EQ(library.GetState(), State::Open);
    QList<LibraryRow> want;
    for (const auto &c : cases) {
        const MovieSettings got = library.Get(c.identity);
        EXPECT_EQ(got, c.want) << c.identity;
        EXPECT_TRUE(std::isfinite(got.speed));
        want << LibraryRow{c.identity, c.want};
    }
    // Listed with the same fallbacks; an empty identity cannot be asked for and is left out.
    EXPECT_EQ(Text(library.All()), Text(want));
    // A hostile row is replaced by a good one.
    ASSERT_TRUE(library.Set("nan", {0.5, MovieQuality::Low}));
    EXPECT_EQ(library.Get("nan"), (MovieSettings{0.5, MovieQuality::Low}));
}

// Whatever is damaged is moved aside byte for byte and a working database takes its place.
TEST_F(MovieLibraryTest, DamagedFilesAreMovedAsideAndReplaced) {
    MakeDatabase({});
    {
        // Enough rows for several pages, so a cut loses some.
        MovieLibrary library(m_path);
        for (int i = 0; i < 400; ++i)
            ASSERT_TRUE(library.Set(QStringLiteral("/movies/%1/a fairly long name.swf").arg(i),
                                    {2.0, MovieQuality::Best}));
    }
    const QByteArray real = ReadFile(m_path);
    ASSERT_GT(real.size(), 8 * 4096);
    QByteArray zeroHeader = real;
    zeroHeader.replace(0, 100, QByteArray(100, '\0'));
    QByteArray hole = real;
    hole.replace(4096, 2 * 4096, QByteArray(2 * 4096, '\xA5'));

    const struct {
        const char *name;
        QByteArray bytes;
        QString pySetup; // run on an empty file instead, when set
    } cases[] = {
        {"junk", PatternBytes(10000, 7), {}},
        {"short text", "not a database\n", {}},
        {"truncated", real.left(real.size() / 2 + 123), {}},
        {"zeroed header", zeroHeader, {}},
        {"scribbled pages", hole, {}},
        {"foreign tables", {}, "db.execute('CREATE TABLE notes (x)')\n"},
        {"wrong shape",
         {},
         "db.execute('CREATE TABLE movies (identity TEXT PRIMARY KEY, speed REAL)')\n"
         "db.execute('PRAGMA user_version = 1')\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(QFileInfo(m_path).absolutePath()).removeRecursively();
        QByteArray original = c.bytes;
        if (!c.pySetup.isEmpty()) {
            ASSERT_TRUE(WriteFile(m_path, {}));
            const ProcResult py = PySql(m_path, c.pySetup);
            ASSERT_EQ(py.exitCode, 0) << py.err.toStdString();
            original = ReadFile(m_path);
        } else {
            ASSERT_TRUE(WriteFile(m_path, original));
        }
        {
            MovieLibrary library(m_path);
            ASSERT_EQ(library.GetState(), State::SetAside);
            EXPECT_TRUE(library.IsOpen());
            EXPECT_TRUE(library.SetAsidePath().startsWith(m_path + ".damaged-"));
            EXPECT_EQ(ReadFile(library.SetAsidePath()), original);
            EXPECT_TRUE(library.All().isEmpty());
            EXPECT_TRUE(library.Set("/x.swf", {3.0, MovieQuality::Low}));
        }
        MovieLibrary again(m_path);
        EXPECT_EQ(again.GetState(), State::Open);
        EXPECT_EQ(again.Get("/x.swf"), (MovieSettings{3.0, MovieQuality::Low}));
    }
}

TEST_F(MovieLibraryTest, SetAsideNeverReplacesAnEarlierOne) {
    ASSERT_TRUE(WriteFile(m_path, PatternBytes(5000, 1)));
    // Every name the next seconds could give is taken already.
    const QDateTime now = QDateTime::currentDateTime();
    QStringList taken;
    for (int s = -1; s <= 3; ++s) {
        taken << m_path + ".damaged-" + now.addSecs(s).toString("yyyyMMdd-HHmmss");
        ASSERT_TRUE(WriteFile(taken.last(), QByteArray::number(s)));
    }
    MovieLibrary library(m_path);
    ASSERT_EQ(library.GetState(), State::SetAside);
    EXPECT_FALSE(taken.contains(library.SetAsidePath()));
    EXPECT_EQ(ReadFile(library.SetAsidePath()), PatternBytes(5000, 1));
    for (int s = -1; s <= 3; ++s)
        EXPECT_EQ(ReadFile(taken[s + 1]), QByteArray::number(s));
}

TEST_F(MovieLibraryTest, LockedOrNewerDatabasesAreLeftAlone) {
    MakeDatabase({{"/kept.swf", {2.0, MovieQuality::Best}}});
    const auto expectLeftAlone = [&](State want) {
        const QByteArray before = ReadFile(m_path);
        const QStringList files = QDir(QFileInfo(m_path).absolutePath()).entryList(QDir::Files);
        {
            MovieLibrary library(m_path);
            EXPECT_EQ(library.GetState(), want);
            EXPECT_FALSE(library.IsOpen());
            EXPECT_EQ(library.Get("/kept.swf"), MovieSettings{});
            EXPECT_FALSE(library.Set("/kept.swf", {3.0, MovieQuality::Low}));
            EXPECT_FALSE(library.Forget("/kept.swf"));
            EXPECT_TRUE(library.All().isEmpty());
        }
        EXPECT_EQ(ReadFile(m_path), before);
        EXPECT_EQ(QDir(QFileInfo(m_path).absolutePath()).entryList(QDir::Files), files);
    };
    {
        MovieLibrary open(m_path);
        LockHolder lock(m_path);
        ASSERT_TRUE(lock.Locked());
        expectLeftAlone(State::Locked);
        // Taken while in use: writes fail after the short wait instead of hanging.
        EXPECT_FALSE(open.Set("/new.swf", {3.0, MovieQuality::Low}));
        EXPECT_EQ(open.Get("/kept.swf"), MovieSettings{});
    }
    ASSERT_EQ(PySql(m_path, "db.execute('PRAGMA user_version = 2')\n").exitCode, 0);
    expectLeftAlone(State::Newer);
    ASSERT_EQ(PySql(m_path, "db.execute('PRAGMA user_version = 1')\n").exitCode, 0);
    EXPECT_EQ(MovieLibrary(m_path).Get("/kept.swf"), (MovieSettings{2.0, MovieQuality::Best}));
}

TEST_F(MovieLibraryTest, PlacesThatCannotHoldADatabaseAreUnusable) {
    ASSERT_TRUE(WriteFile(m_dir.filePath("file"), "x"));
    QDir().mkpath(m_dir.filePath("folder.db"));
    for (const QString &path :
         {m_dir.filePath("file/library.db"), m_dir.filePath("folder.db"), QString()}) {
        MovieLibrary library(path);
        EXPECT_EQ(library.GetState(), State::Unusable) << path.toStdString();
        EXPECT_FALSE(library.Set("/a.swf", {2.0, MovieQuality::Low}));
        EXPECT_TRUE(library.SetAsidePath().isEmpty());
    }
    EXPECT_TRUE(QFileInfo(m_dir.filePath("folder.db")).isDir());
    EXPECT_EQ(ReadFile(m_dir.filePath("file")), "x");
}
