// `kztool find` run as a program: walk order, the size limit from the option or the stored
// setting, JSON lines checked against the header reader, the cache, and the exit statuses.

#include "support/FolderServer.h"
#include "support/KztoolRunner.h"

#include "platform/http/HttpClient.h"
#include "platform/registry/Registry.h"
#include "platform/urlcache/UrlCache.h"
#include "playback/SwfHeader.h"
#include "settings/Settings.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kz;
using namespace kz::test;

namespace {

void StoreFilterKb(std::optional<std::uint32_t> kb) {
    TestHome();
    IniRegistryStore store;
    auto key = store.OpenKey(QString::fromUtf16(kMachineKey));
    ASSERT_TRUE(key);
    if (kb)
        ASSERT_TRUE(key->SetDword("m_nIEFilterSize", *kb));
    else
        key->DeleteValue("m_nIEFilterSize");
}

class FindCommand : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_tree = m_dir.path() + "/tree";
        ASSERT_TRUE(WriteFile(m_tree + "/b.swf", MovieOfSize(2048)));
        ASSERT_TRUE(WriteFile(m_tree + "/a/Deep.SWF", MovieOfSize(4000)));
        ASSERT_TRUE(WriteFile(m_tree + "/a/small.swf", MovieOfSize(1500)));
        ASSERT_TRUE(WriteFile(m_tree + "/a/text.swf", QByteArray(5000, 't')));
        ASSERT_TRUE(WriteFile(m_tree + "/c/引号\"名.swf", MovieOfSize(102400)));
        ASSERT_TRUE(WriteFile(m_tree + "/c/just-under.swf", MovieOfSize(102399)));
        ASSERT_EQ(mkfifo(QFile::encodeName(m_tree + "/a/pipe.swf").constData(), 0644), 0);
        ASSERT_TRUE(QFile::link(m_tree, m_tree + "/c/loop"));
    }
    QTemporaryDir m_dir;
    QString m_tree;
};

} // namespace

TEST_F(FindCommand, ListsQualifyingMoviesInWalkOrder) {
    const QString t = m_tree + '/';
    ToolRun run = RunKztool({"find", "--min-kb", "2", m_tree});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.Lines(), (QStringList{t + "b.swf", t + "a/Deep.SWF", t + "c/just-under.swf",
                                        t + "c/引号\"名.swf"}));
    run = RunKztool({"find", "--min-kb", "0", m_tree, m_tree + "/a"});
    EXPECT_EQ(run.Lines(),
              (QStringList{t + "b.swf", t + "a/Deep.SWF", t + "a/small.swf", t + "c/just-under.swf",
                           t + "c/引号\"名.swf", t + "a/Deep.SWF", t + "a/small.swf"}));
}

TEST_F(FindCommand, SizeLimitComesFromTheStoredSetting) {
    StoreFilterKb(std::nullopt); // the default, 100 KB: exactly 102400 bytes is enough
    ToolRun run = RunKztool({"find", m_tree});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.Lines(), QStringList{m_tree + "/c/引号\"名.swf"});
    StoreFilterKb(3);
    EXPECT_EQ(RunKztool({"find", m_tree}).Lines(),
              (QStringList{m_tree + "/a/Deep.SWF", m_tree + "/c/just-under.swf",
                           m_tree + "/c/引号\"名.swf"}));
    // The option wins over the setting.
    EXPECT_EQ(RunKztool({"find", "--min-kb", "4", m_tree}).Lines(),
              (QStringList{m_tree + "/c/just-under.swf", m_tree + "/c/引号\"名.swf"}));
    StoreFilterKb(std::nullopt);
}

TEST_F(FindCommand, JsonLinesAgreeWithTheHeaderReader) {
    const ToolRun run = RunKztool({"find", "--json", "--min-kb", "1", m_tree});
    ASSERT_EQ(run.exitCode, 0);
    const QStringList lines = run.Lines();
    ASSERT_EQ(lines.size(), 5);
    for (const QString &line : lines) {
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8(), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        QStringList keys = o.keys();
        keys.sort();
        EXPECT_EQ(keys,
                  (QStringList{"frameCount", "height", "length", "path", "version", "width"}));
        const QString path = o["path"].toString();
        SwfHeaderInfo h;
        ReadSwfHeader(path, h);
        EXPECT_EQ(o["length"].toInteger(), QFileInfo(path).size());
        EXPECT_EQ(o["version"].toInt(), h.version);
        EXPECT_EQ(o["frameCount"].toInt(), h.frameCount);
        EXPECT_EQ(o["width"].toInt(), 550);
        EXPECT_EQ(o["height"].toInt(), 400);
    }
    EXPECT_TRUE(lines[4].contains("\\\"")); // the quote in the name is escaped
}

TEST_F(FindCommand, ExitStatuses) {
    // No hits is success; a missing folder fails, the others are still searched.
    QTemporaryDir empty;
    ToolRun run = RunKztool({"find", empty.path()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.isEmpty());
    run = RunKztool({"find", "--min-kb", "3", m_dir.path() + "/missing", m_tree});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("missing"));
    EXPECT_EQ(run.Lines(), (QStringList{m_tree + "/a/Deep.SWF", m_tree + "/c/just-under.swf",
                                        m_tree + "/c/引号\"名.swf"}));
    EXPECT_EQ(RunKztool({"find", m_tree + "/b.swf"}).exitCode, 1); // a file is no folder
    for (const QStringList &bad :
         {QStringList{"find"}, QStringList{"find", "--min-kb"},
          QStringList{"find", "--min-kb", "x", m_tree},
          QStringList{"find", "--min-kb", "-1", m_tree}, QStringList{"find", "--disks", m_tree},
          QStringList{"find", "--disks", "--cache"}, QStringList{"find", "--what", m_tree}})
        EXPECT_EQ(RunKztool(bad).exitCode, 2) << bad.join(' ').toStdString();
}

TEST_F(FindCommand, CacheSearchListsTheCachedMovies) {
    ClearProxyEnvironment();
    TestHome();
    qputenv("XDG_CACHE_HOME", (m_dir.path() + "/xdg-cache").toUtf8());
    UrlCache cache; // the default folder, as kztool sees it
    ASSERT_TRUE(cache.Folder().startsWith(m_dir.path()));
    // Nothing downloaded yet, not even the folder: no hits, no failure.
    const ToolRun none = RunKztool({"find", "--cache"});
    EXPECT_EQ(none.exitCode, 0) << none.err.toStdString();
    EXPECT_TRUE(none.out.isEmpty());
    QStringList local;
    {
        FolderServer server(m_tree);
        auto session = CreateHttpSession({});
        for (const char *name : {"b.swf", "a/small.swf", "a/Deep.SWF", "a/text.swf"}) {
            const auto entry = cache.Download(QUrl(server.Url(name)), *session);
            ASSERT_TRUE(entry) << name;
            local << entry->localFile;
        }
    }
    const ToolRun run = RunKztool({"find", "--cache", "--min-kb", "1"});
    qunsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.Lines(), (QStringList{local[0], local[1], local[2]}));
}
