#include "support/KztoolRunner.h"

#include "platform/library/MovieLibrary.h"
#include "support/StorageTestUtil.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

// Two movies whose identities need quoting, in identity order.
const QList<LibraryRow> kRows = {
    {"/movies/\"猫\" & 'dog'.swf", {2.0, MovieQuality::Best}},
    {"http://example.com/a.swf?x=1", {0.5, MovieQuality::Low}},
};

enum class Given { Empty, Rows, Junk, Newer };

// What is in the library after the command, by identity.
QStringList Identities() {
    QStringList ids;
    for (const LibraryRow &row : MovieLibrary().All())
        ids << row.identity;
    return ids;
}

} // namespace

TEST(KztoolLibrary, ListsForgetsAndRefuses) {
    const QStringList both{kRows[0].identity, kRows[1].identity};
    const struct {
        const char *name;
        Given given;
        QStringList args;
        int exitCode;
        QStringList out;  // stdout lines, unless --json
        const char *err;  // in stderr; nullptr: stderr empty
        QStringList left; // identities after the command
    } cases[] = {
        {"empty", Given::Empty, {"library"}, 0, {}, nullptr, {}},
        {"empty json", Given::Empty, {"library", "--json"}, 0, {}, nullptr, {}},
        {"rows",
         Given::Rows,
         {"library"},
         0,
         {kRows[0].identity + "\t2x\tbest", kRows[1].identity + "\t0.5x\tlow"},
         nullptr,
         both},
        {"rows json", Given::Rows, {"library", "--json"}, 0, {}, nullptr, both},
        {"forget",
         Given::Rows,
         {"library", "--forget", kRows[0].identity},
         0,
         {},
         nullptr,
         {kRows[1].identity}},
        {"forget absent", Given::Rows, {"library", "--forget", "/no.swf"}, 1, {}, "/no.swf", both},
        {"damaged", Given::Junk, {"library"}, 0, {}, "moved aside", {}},
        {"newer", Given::Newer, {"library"}, 1, {}, "newer", {}},
        {"newer forget", Given::Newer, {"library", "--forget", "/a.swf"}, 1, {}, "newer", {}},
        {"unknown option", Given::Rows, {"library", "--bogus"}, 2, {}, "usage", both},
        {"stray word", Given::Rows, {"library", "list"}, 2, {}, "usage", both},
        {"forget nothing", Given::Rows, {"library", "--forget"}, 2, {}, "usage", both},
        {"forget empty", Given::Rows, {"library", "--forget", ""}, 2, {}, "usage", both},
        {"forget json",
         Given::Rows,
         {"library", "--json", "--forget", kRows[0].identity},
         2,
         {},
         "usage",
         both},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir data;
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        const QString path = MovieLibrary::DefaultPath();
        ASSERT_TRUE(path.startsWith(data.path()));
        if (c.given == Given::Rows) {
            MovieLibrary library;
            for (const LibraryRow &row : kRows)
                ASSERT_TRUE(library.Set(row.identity, row.settings));
        } else if (c.given == Given::Junk) {
            ASSERT_TRUE(WriteFile(path, PatternBytes(3000, 9)));
        } else if (c.given == Given::Newer) {
            ASSERT_TRUE(WriteFile(path, {}));
            ASSERT_EQ(RunPython("import sqlite3, sys\n"
                                "sqlite3.connect(sys.argv[1]).execute('PRAGMA user_version = 9')\n",
                                {path})
                          .exitCode,
                      0);
        }
        const QByteArray before = ReadFile(path);

        const ToolRun run = RunKztool(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        if (c.err) {
            EXPECT_TRUE(run.err.contains(c.err)) << run.err.toStdString();
        } else {
            EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        }
        if (c.args.contains("--json") && c.exitCode == 0) {
            QJsonParseError perr;
            const QJsonArray array = QJsonDocument::fromJson(run.out, &perr).array();
            ASSERT_EQ(perr.error, QJsonParseError::NoError) << run.out.toStdString();
            ASSERT_EQ(array.size(), c.left.size());
            for (qsizetype i = 0; i < array.size(); ++i) {
                const QJsonObject o = array[i].toObject();
                EXPECT_EQ(o.keys(), (QStringList{"identity", "quality", "speed"}));
                EXPECT_EQ(o["identity"].toString(), kRows[i].identity);
                EXPECT_EQ(o["speed"].toDouble(), kRows[i].settings.speed);
                EXPECT_EQ(o["quality"].toString(), QualityName(kRows[i].settings.quality));
            }
        } else {
            EXPECT_EQ(run.Lines(), c.out);
        }

        if (c.given == Given::Newer) {
            EXPECT_EQ(ReadFile(path), before);
        } else if (c.given == Given::Junk) {
            const QStringList aside =
                QFileInfo(path).dir().entryList({"library.db.damaged-*"}, QDir::Files);
            ASSERT_EQ(aside.size(), 1);
            EXPECT_EQ(ReadFile(QFileInfo(path).dir().filePath(aside[0])), before);
        }
        if (c.given != Given::Newer) {
            EXPECT_EQ(Identities(), c.left);
        }
    }
    qunsetenv("XDG_DATA_HOME");
}
