// Engines 4 and 5: the query addresses, the reading of the library's JSON answers, and whole
// searches against a loopback stand-in of the library and the capture index, including the
// awkward answers and the manners (pacing, Retry-After, the cache, the User-Agent).

#include "netsearch/Harvest.h"
#include "support/TestHttpServer.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;

namespace {

test::TestHttpServer &ArchiveServer() {
    static test::TestHttpServer server(QStringLiteral("archive_test_server.py"), {});
    return server;
}

QByteArray Get(const QString &path) {
    std::unique_ptr<HttpSession> session = CreateHttpSession();
    return HttpFetch(*session, ArchiveServer().Url(path), 1 << 20).body;
}

QStringList Log() {
    return QString::fromUtf8(Get(QStringLiteral("/log"))).split(u'\n', Qt::SkipEmptyParts);
}

int Requests(const QString &pathStart) {
    int n = 0;
    for (const QString &line : Log())
        n += line.startsWith(pathStart) ? 1 : 0;
    return n;
}

class ArchiveSearch : public ::testing::Test {
protected:
    void SetUp() override {
        test::ClearProxyEnvironment();
        ASSERT_TRUE(ArchiveServer().Running());
        m_hosts.archiveRoot = ArchiveServer().Base();
        m_hosts.waybackRoot = ArchiveServer().Base();
        m_page = m_dir.filePath(kResultPageName);
        ClearArchiveCache();
        Get(QStringLiteral("/reset"));
        m_limits.archive.spacingMs = 0; // the pacing has its own test
    }
    SearchOutcome Run(int engine, const QString &words, int page = 0) {
        SearchJob job(engine, words, page, m_page, m_hosts, m_limits);
        return job.Run();
    }
    QStringList Based(const QStringList &paths) const {
        QStringList out;
        for (const QString &p : paths)
            out << ArchiveServer().Base() + p;
        return out;
    }

    QTemporaryDir m_dir;
    QString m_page;
    EngineHosts m_hosts;
    SearchLimits m_limits;
};

} // namespace

TEST(ArchiveQuery, AddressesOfBothEngines) {
    EngineHosts h;
    h.archiveRoot = "http://ia";
    h.waybackRoot = "http://wb";
    const QString filter = "%28collection%3Asoftwarelibrary_flash+OR+collection%3Asoftwarelibrary_"
                           "flash_games+OR+emulator%3Aruffle-swf%29+AND+%28";
    const QString fields = "&fl%5B%5D=identifier&fl%5B%5D=title&fl%5B%5D=creator&fl%5B%5D=year"
                           "&rows=20&page=";
    const struct {
        int engine;
        QString words;
        int page;
        QString url;
    } cases[] = {
        {4, "badger", 0,
         "http://ia/advancedsearch.php?q=" + filter + "badger%29" + fields + "1&output=json"},
        // The query syntax's own characters are escaped; a bare operator is a word.
        {4, QStringLiteral("tom:jerry (x) AND 游戏"), 2,
         "http://ia/advancedsearch.php?q=" + filter +
             "tom%5C%3Ajerry+%5C%28x%5C%29+and+%E6%B8%B8%E6%88%8F%29" + fields + "3&output=json"},
        {5, "flash.example.cn", 0,
         "http://wb/cdx/search/cdx?url=flash.example.cn%2F%2A&output=json"
         "&filter=mimetype:application/x-shockwave-flash&filter=statuscode:200&collapse=digest"
         "&limit=21"},
        {5, " https://example.com/flash/* ", 2,
         "http://wb/cdx/search/cdx?url=example.com%2Fflash%2F%2A&output=json"
         "&filter=mimetype:application/x-shockwave-flash&filter=statuscode:200&collapse=digest"
         "&limit=61"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(QueryUrl(c.engine, c.words, c.page, h), c.url) << c.words.toStdString();
    EXPECT_EQ(PageCharset(4), "UTF-8");
    EXPECT_EQ(PageCharset(5), "UTF-8");
    EXPECT_EQ(ClampEngine(5), 5);
    EXPECT_EQ(ClampEngine(6), 0);

    EXPECT_EQ(EngineHosts::FromEnvironment().archiveRoot, "https://archive.org");
    EXPECT_EQ(EngineHosts::FromEnvironment().waybackRoot, "https://web.archive.org");
    qputenv("KZPLAYER_ARCHIVE_ROOT", "http://127.0.0.1:9/");
    qputenv("KZPLAYER_WAYBACK_ROOT", "http://127.0.0.1:8");
    EXPECT_EQ(EngineHosts::FromEnvironment().archiveRoot, "http://127.0.0.1:9");
    EXPECT_EQ(EngineHosts::FromEnvironment().waybackRoot, "http://127.0.0.1:8");
    qunsetenv("KZPLAYER_ARCHIVE_ROOT");
    qunsetenv("KZPLAYER_WAYBACK_ROOT");
}

TEST(ArchiveQuery, DownloadAddressesAndTheAnswersAsTheServiceSendsThem) {
    const struct {
        QString id, name, url;
    } downloads[] = {
        {"a-b_c.1", QStringLiteral("中文 獾.SWF"),
         "http://ia/download/a-b_c.1/%E4%B8%AD%E6%96%87%20%E7%8D%BE.SWF"},
        {"x", "games/run #1?.swf", "http://ia/download/x/games/run%20%231%3F.swf"},
        {"x", "../up.swf", ""},
        {"x", "a//b.swf", ""},
        {"x/../y", "b.swf", ""},
        {QStringLiteral("游戏"), "b.swf", ""},
    };
    for (const auto &d : downloads)
        EXPECT_EQ(ArchiveDownloadUrl("http://ia", d.id, d.name), d.url) << d.name.toStdString();

    const struct {
        QByteArray json;
        bool ok;
        QStringList ids;
        qint64 numFound;
    } searches[] = {
        {"<html>busy</html>", false, {}, -1},
        {"{}", false, {}, -1},
        {"[1,2]", false, {}, -1},
        {R"({"response":{"numFound":"45","docs":[{"identifier":["a"],"title":["T","U"]},)"
         R"({"title":"no id"},{"identifier":"b/c"},{"identifier":7}]}})",
         true,
         {"a", "7"},
         45},
        {R"({"response":{"docs":"x"}})", true, {}, -1},
    };
    for (const auto &s : searches) {
        const ArchiveSearchPage page = ParseArchiveSearch(s.json);
        EXPECT_EQ(page.ok, s.ok) << s.json.toStdString();
        EXPECT_EQ(page.numFound, s.numFound) << s.json.toStdString();
        QStringList ids;
        for (const ArchiveItem &item : page.items)
            ids << item.identifier;
        EXPECT_EQ(ids, s.ids) << s.json.toStdString();
    }
    EXPECT_EQ(ParseArchiveSearch(R"({"response":{"docs":[{"identifier":"a","title":["T","U"]}]}})")
                  .items.at(0)
                  .title,
              "T");

    const std::vector<ArchiveFile> files = ParseArchiveSwfFiles(
        R"({"files":[{"name":"A.SwF","size":"12"},{"name":"b.swf","size":3},{"name":"c.png"},)"
        R"({"name":["d.swf"],"size":"x"},{"size":"4"},"e.swf"]})");
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].name, "A.SwF");
    EXPECT_EQ(files[0].size, 12);
    EXPECT_EQ(files[1].size, 3);
    EXPECT_EQ(files[2].name, "d.swf");
    EXPECT_EQ(files[2].size, -1);
    EXPECT_TRUE(ParseArchiveSwfFiles("{}").empty());
    EXPECT_TRUE(ParseArchiveSwfFiles("<html>").empty());
}

// Every engine-4 and engine-5 answer of the stand-in: the addresses listed, in order, the next
// page, and a result page that reads back to them.
TEST_F(ArchiveSearch, FindsTheMoviesOfEveryAnswer) {
    QStringList pages0, pages2, captures0, captures2;
    for (int i = 0; i < 20; ++i)
        pages0 << QStringLiteral("/download/page-%1/p%2.swf").arg(i, 2, 10, QChar(u'0')).arg(i);
    for (int i = 40; i < 45; ++i)
        pages2 << QStringLiteral("/download/page-%1/p%2.swf").arg(i).arg(i);
    const auto capture = [](int i) {
        return QString::asprintf("/web/2005%02d%02d120000id_/http://flash.example.cn/m%02d.swf",
                                 i % 12 + 1, i % 28 + 1, i);
    };
    for (int i = 0; i < 20; ++i)
        captures0 << capture(i);
    for (int i = 40; i < 45; ++i)
        captures2 << capture(i);
    const struct {
        int engine;
        QString words;
        int page;
        QStringList paths;
        bool next;
    } cases[] = {
        {4,
         "badger",
         0,
         {"/download/badger-toons/Badger%20Dance.swf",
          "/download/badger-toons/%E4%B8%AD%E6%96%87%20%E7%8D%BE.SWF",
          "/download/badger-array/games/badger%20run.swf"},
         false},
        {4, "awkward", 0, {"/download/number-item/year.swf"}, false},
        {4, "htmlpage", 0, {}, false},
        {4, "endless", 0, {}, false},
        {4, "nothing", 0, {}, false},
        {4, "pages", 0, pages0, true},
        {4, "pages", 2, pages2, false},
        {5, "flash.example.cn", 0, captures0, true},
        {5, "http://flash.example.cn/", 2, captures2, false},
        {5,
         "mixed.example.cn",
         0,
         {"/web/20070101000000id_/http://mixed.example.cn/a.swf",
          "/web/20070103000000id_/http://mixed.example.cn/B.SWF"},
         false},
        {5, "empty.example.cn", 0, {}, false},
        {5, "html.example.cn", 0, {}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.words.toStdString() + " page " + std::to_string(c.page));
        const SearchOutcome outcome = Run(c.engine, c.words, c.page);
        EXPECT_TRUE(outcome.connected);
        EXPECT_FALSE(outcome.busy);
        EXPECT_EQ(outcome.urls.join(u'\n').toStdString(), Based(c.paths).join(u'\n').toStdString());
        EXPECT_EQ(outcome.nextPageEnabled, c.next);
        EXPECT_TRUE(test::ReadFile(m_page).endsWith(PageEnd()));
        EXPECT_EQ(ReloadResultLinks(m_page), outcome.urls);
    }

    // The texts: the item's first title, the file name and size; the capture's name, date, site.
    Run(4, "badger");
    const QString page = QString::fromUtf8(test::ReadFile(m_page));
    EXPECT_TRUE(page.contains(QStringLiteral("Badger Toons — Badger Dance.swf (409.3 KB)")));
    EXPECT_TRUE(page.contains(QStringLiteral("Badger Toons — 中文 獾.SWF (2.0 KB)")));
    EXPECT_TRUE(page.contains(QStringLiteral(">Badger Array — badger run.swf</a>")));
    EXPECT_FALSE(page.contains(QStringLiteral("Other title")));
    Run(5, "mixed.example.cn");
    EXPECT_TRUE(test::ReadFile(m_page).contains(">a.swf 2007-01-01 mixed.example.cn</a>"));

    // Nothing is asked of a host an answer names, and a download is redirected to the data.
    for (const QString &line : Log())
        EXPECT_FALSE(line.contains("evil.example")) << line.toStdString();
    std::unique_ptr<HttpSession> session = CreateHttpSession();
    const std::unique_ptr<HttpConnection> movie =
        session->Open(QUrl(ArchiveServer().Base() + "/download/badger-toons/Badger%20Dance.swf"));
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->Status(), 200);
    EXPECT_TRUE(movie->FinalUrl().path().startsWith("/data/badger-toons/"));
}

// The manners, counted at the stand-in: a 429 then success, a library that stays busy (its
// Retry-After obeyed, the total wait bounded), one that asks for longer than we wait, the
// cache, at most four requests in flight, the User-Agent.
TEST_F(ArchiveSearch, IsAGoodClientOfTheLibrary) {
    m_limits.archive.busyWaitMs = 1500;
    const struct {
        QString words;
        int urls;
        bool busy;
        int minSearches, maxSearches;
    } cases[] = {
        {"retry", 1, false, 2, 2},
        {"busy", 0, true, 2, 3},
        {"busylong", 0, true, 1, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.words.toStdString());
        Get(QStringLiteral("/reset"));
        const SearchOutcome outcome = Run(4, c.words);
        EXPECT_TRUE(outcome.connected);
        EXPECT_EQ(outcome.busy, c.busy);
        EXPECT_EQ(outcome.urls.size(), c.urls);
        const int searches = Requests("/advancedsearch.php");
        EXPECT_GE(searches, c.minSearches);
        EXPECT_LE(searches, c.maxSearches);
    }

    // The same query and page again: from memory; another page is asked.
    Get(QStringLiteral("/reset"));
    const QStringList first = Run(4, "badger").urls;
    const int asked = int(Log().size());
    EXPECT_EQ(asked, 4); // the search and three file lists
    EXPECT_EQ(Run(4, "badger").urls, first);
    EXPECT_EQ(Run(5, "flash.example.cn").urls.size(), 20);
    EXPECT_EQ(Run(5, "flash.example.cn").urls.size(), 20);
    EXPECT_EQ(int(Log().size()), asked + 1);
    // An error page is not remembered.
    Run(4, "htmlpage");
    Run(4, "htmlpage");
    EXPECT_EQ(int(Log().size()), asked + 3);

    // Paced and bounded: eight file lists of 1.5 s each never have more than four in flight.
    m_limits.archive = ArchiveLimits{};
    Get(QStringLiteral("/reset"));
    EXPECT_EQ(Run(4, "slow8").urls.size(), 8);
    const int peak = Get(QStringLiteral("/peak")).toInt();
    EXPECT_GE(peak, 2);
    EXPECT_LE(peak, kArchiveMaxInFlight);
    const QStringList log = Log();
    EXPECT_EQ(log.size(), 9);
    EXPECT_TRUE(ArchiveUserAgent().startsWith("KZPlayer/" + QByteArray(KZ_TEST_VERSION)));
    for (const QString &line : log)
        EXPECT_TRUE(line.endsWith(u'\t' + QString::fromLatin1(ArchiveUserAgent())))
            << line.toStdString();
}
