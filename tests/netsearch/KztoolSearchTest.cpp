// kztool search against the loopback engine server.

#include "netsearch/Harvest.h"
#include "support/KztoolRunner.h"
#include "support/TestHttpServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace kz;

namespace {

struct EngineEnvironment {
    explicit EngineEnvironment(const QString &base) {
        qputenv("KZPLAYER_ENGINE_HOSTS", QStringLiteral("%1,%1,%1,%1").arg(base).toUtf8());
        qputenv("KZPLAYER_YAHOO_ROOT", base.toUtf8());
    }
    ~EngineEnvironment() {
        qunsetenv("KZPLAYER_ENGINE_HOSTS");
        qunsetenv("KZPLAYER_YAHOO_ROOT");
    }
};

} // namespace

TEST(KztoolSearch, PrintsTheMovieAddressesInOrder) {
    test::ClearProxyEnvironment();
    test::TestHttpServer server(QStringLiteral("engine_test_server.py"), {});
    ASSERT_TRUE(server.Running());
    EngineEnvironment env(server.Base());
    const QString movie = server.Base() + QStringLiteral("/movie/%1.swf");

    test::ToolRun run = test::RunKztool({"search", "--engine", "1", "links14"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QStringList expected;
    for (int i = 0; i < 14; ++i)
        expected << movie.arg(i);
    EXPECT_EQ(run.Lines(), expected);

    // Link threads included: engine 0's intermediate pages, page 1.
    run = test::RunKztool(
        {"search", "--engine", "0", "--page", "1", "mixed16", QStringLiteral("游戏")});
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.Lines().size(), 10);
    EXPECT_EQ(run.Lines().first(), movie.arg(20));

    // None found: nothing printed, success.
    run = test::RunKztool({"search", "--engine", "3", "none"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.isEmpty());

    run = test::RunKztool({"search", "--url", "--engine", "1", "flash", QStringLiteral("游戏")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.Lines(), QStringList{server.Base() +
                                       "/search?hl=zh-CN&q=flash+%E6%B8%B8%E6%88%8F+filetype%3Aswf"
                                       "&num=20&start=0&meta="});

    // Usage errors and an engine that cannot be reached.
    EXPECT_EQ(test::RunKztool({"search"}).exitCode, 2);
    EXPECT_EQ(test::RunKztool({"search", "--engine", "6", "x"}).exitCode, 2);
    EXPECT_EQ(test::RunKztool({"search", "--page", "-1", "x"}).exitCode, 2);
    EXPECT_EQ(test::RunKztool({"search", "--bogus", "x"}).exitCode, 2);
    qputenv("KZPLAYER_ENGINE_HOSTS", "http://127.0.0.1:1,http://127.0.0.1:1,http://127.0.0.1:1,"
                                     "http://127.0.0.1:1");
    run = test::RunKztool({"search", "x"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("could not be reached"));
}

TEST(KztoolSearch, SearchesTheLibraryAndTheCaptureIndex) {
    test::ClearProxyEnvironment();
    test::TestHttpServer server(QStringLiteral("archive_test_server.py"), {});
    ASSERT_TRUE(server.Running());
    qputenv("KZPLAYER_ARCHIVE_ROOT", server.Base().toUtf8());
    qputenv("KZPLAYER_WAYBACK_ROOT", server.Base().toUtf8());
    const QString base = server.Base();
    const struct {
        QStringList args;
        int exitCode;
        QStringList lines;
    } cases[] = {
        {{"search", "--engine", "4", "badger"},
         0,
         {base + "/download/badger-toons/Badger%20Dance.swf",
          base + "/download/badger-toons/%E4%B8%AD%E6%96%87%20%E7%8D%BE.SWF",
          base + "/download/badger-array/games/badger%20run.swf"}},
        {{"search", "--engine", "5", "--page", "2", "mixed.example.cn"}, 0, {}},
        {{"search", "--engine", "5", "--url", "mixed.example.cn"},
         0,
         {base + "/cdx/search/cdx?url=mixed.example.cn%2F%2A&output=json&filter=mimetype:"
                 "application/x-shockwave-flash&filter=statuscode:200&collapse=digest&limit=21"}},
        {{"search", "--engine", "4", "busylong"}, 1, {}},
    };
    for (const auto &c : cases) {
        const test::ToolRun run = test::RunKztool(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.join(u' ').toStdString();
        EXPECT_EQ(run.Lines(), c.lines) << c.args.join(u' ').toStdString();
    }
    EXPECT_TRUE(test::RunKztool({"search", "--engine", "4", "busylong"}).err.contains("busy"));
    qunsetenv("KZPLAYER_ARCHIVE_ROOT");
    qunsetenv("KZPLAYER_WAYBACK_ROOT");
}
