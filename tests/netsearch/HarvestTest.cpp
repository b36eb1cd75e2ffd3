// The harvest: the fragment scan with its window, the movie-address rule, the safe result page,
// and whole searches against a loopback server shaped like each engine.

#include "netsearch/Harvest.h"
#include "platform/TextCodec.h"
#include "support/TestHttpServer.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>

using namespace kz;

namespace {

std::vector<QByteArray> Fragments(QByteArrayView data) {
    std::vector<QByteArray> out;
    ScanFragments(data, [&](QByteArrayView f) { out.push_back(f.toByteArray()); });
    return out;
}

// Feeds a stream in reads of at most `piece` bytes.
std::function<qint64(char *, qint64)> Reader(const QByteArray &data, qint64 piece) {
    auto at = std::make_shared<qint64>(0);
    return [data, piece, at](char *to, qint64 max) -> qint64 {
        const qint64 n = std::min({max, piece, qint64(data.size()) - *at});
        memcpy(to, data.constData() + *at, size_t(n));
        *at += n;
        return n;
    };
}

test::TestHttpServer &EngineServer() {
    static test::TestHttpServer server(QStringLiteral("engine_test_server.py"), {});
    return server;
}

struct Search {
    SearchOutcome outcome;
    QByteArray page;
};

class HarvestSearch : public ::testing::Test {
protected:
    void SetUp() override {
        test::ClearProxyEnvironment();
        ASSERT_TRUE(EngineServer().Running());
        const QString base = EngineServer().Base();
        m_hosts.bases = {base, base, base, base};
        m_hosts.yahooRoot = base;
        m_page = m_dir.filePath(kResultPageName);
    }
    Search Run(int engine, const QString &words, int page = 0, SearchLimits limits = {}) {
        SearchJob job(engine, words, page, m_page, m_hosts, limits);
        int finished = 0;
        Search s;
        s.outcome = job.Run([&](const SearchOutcome &) { ++finished; });
        EXPECT_EQ(finished, 1);
        s.page = test::ReadFile(m_page);
        return s;
    }
    QString Movie(int n) const {
        return EngineServer().Base() + QStringLiteral("/movie/%1.swf").arg(n);
    }
    QStringList Movies(int from, int count) const {
        QStringList out;
        for (int i = 0; i < count; ++i)
            out << Movie(from + i);
        return out;
    }

    QTemporaryDir m_dir;
    QString m_page;
    EngineHosts m_hosts;
};

int Entries(const QByteArray &page) {
    return int(page.count("<p></p>"));
}

bool Finished(const QByteArray &page) {
    return page.endsWith(PageEnd());
}

// The real session, writing down every address a search opens.
struct Opened {
    std::mutex lock;
    QList<QUrl> urls;
};
class RecordingSession final : public HttpSession {
public:
    RecordingSession(std::unique_ptr<HttpSession> real, std::shared_ptr<Opened> opened)
        : m_real(std::move(real)), m_opened(std::move(opened)) {}
    std::unique_ptr<HttpConnection> Open(const QUrl &url, QString *error) override {
        {
            std::lock_guard guard(m_opened->lock);
            m_opened->urls << url;
        }
        m_real->SetCancelFlag(m_cancel);
        m_real->LimitTransfer(m_transferLimitMs);
        return m_real->Open(url, error);
    }

private:
    std::unique_ptr<HttpSession> m_real;
    std::shared_ptr<Opened> m_opened;
};

} // namespace

TEST(HarvestScan, FragmentsWindowsAndCarryOver) {
    const QByteArray a = "<a href=\"http://h/a.swf\">A</a>";
    const QByteArray b = "<a href=\"http://h/b.swf\" x=1>B</a>";
    auto f = Fragments("xx" + a + "yy" + b + "<a href=\"half");
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0], a);
    EXPECT_EQ(f[1], b);
    // The unfinished "<a href=" is where the carry-over starts.
    const QByteArray data = a + "<a href=\"rest";
    EXPECT_EQ(ScanFragments(data, [](QByteArrayView) {}), a.size());
    EXPECT_EQ(ScanFragments(a, [](QByteArrayView) {}), a.size());
    // Even the beginning of a "<a href=" at the end is carried over.
    EXPECT_EQ(ScanFragments(a + "xx<a hr", [](QByteArrayView) {}), a.size() + 2);
    EXPECT_EQ(ScanFragments("<", [](QByteArrayView) {}), 0);
    EXPECT_EQ(ScanFragments("<b", [](QByteArrayView) {}), 2);

    // A fragment split across two reads is found, however the reads fall.
    const QByteArray stream = QByteArray(50, '.') + a + QByteArray(7, '.') + b + "tail";
    for (qint64 piece : {1, 5, 33, 64, 1000}) {
        std::vector<QByteArray> got;
        EXPECT_TRUE(ScanStream(Reader(stream, piece), 64,
                               [&](QByteArrayView x) { got.push_back(x.toByteArray()); }));
        ASSERT_EQ(got.size(), 2u) << piece;
        EXPECT_EQ(got[1], b);
    }
    // A fragment longer than the window ends the scan; later fragments are not seen.
    const QByteArray tooLong = "<a href=\"" + QByteArray(100, 'l') + "\">x</a>";
    std::vector<QByteArray> got;
    EXPECT_TRUE(ScanStream(Reader(tooLong + a, 1000), 64,
                           [&](QByteArrayView x) { got.push_back(x.toByteArray()); }));
    EXPECT_TRUE(got.empty());
    // A read error is reported.
    EXPECT_FALSE(
        ScanStream([](char *, qint64) -> qint64 { return -1; }, 64, [](QByteArrayView) {}));

    // Fragments over 5,120 bytes are skipped, and the scan goes on behind them.
    const QByteArray big = "<a href=\"http://h/big.swf\">" + QByteArray(5100, 'b') + "</a>";
    f = Fragments(big + a);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0], a);
}

TEST(HarvestScan, MovieAddressesAndSafeEntries) {
    EXPECT_EQ(ResultLinkUrl("<a href=\"http://h/a.swf\">x</a>", "UTF-8"), "http://h/a.swf");
    EXPECT_EQ(ResultLinkUrl("<a href=\"http://h/a.swf?x=1&amp;y=2\">x</a>", "UTF-8"),
              "http://h/a.swf?x=1&y=2");
    EXPECT_TRUE(ResultLinkUrl("<a href=\"http://h/a.html\">x.swf</a>", "UTF-8").isEmpty());
    EXPECT_TRUE(ResultLinkUrl("<a href=\"javascript:go('.swf')\">x</a>", "UTF-8").isEmpty());
    EXPECT_TRUE(ResultLinkUrl("<a href=\"file:///etc/a.swf\">x</a>", "UTF-8").isEmpty());
    EXPECT_TRUE(ResultLinkUrl("no quotes .swf", "UTF-8").isEmpty());
    // A GBK page keeps the Chinese of an address; a referenced character GBK cannot hold would
    // come back as "?" from the written page, so that address is kept percent-encoded.
    EXPECT_EQ(ResultLinkUrl(ToGbk(QStringLiteral("<a href=\"http://h/动画.swf\">x</a>")), "gb2312"),
              QStringLiteral("http://h/动画.swf"));
    EXPECT_EQ(ResultLinkUrl("<a href=\"http://h/&#x97;.swf\">x</a>", "gb2312"),
              "http://h/%C2%97.swf");
    // Found by fuzzing: the encoded form may pass the 260 bytes the page is read back with (a
    // reference of 9 bytes to a character outside GBK becomes 12).
    EXPECT_TRUE(ResultLinkUrl("<a href=\"http://h/a.swf" + QByteArray("&#x10000;").repeated(25) +
                                  "\">x</a>",
                              "gb2312")
                    .isEmpty());
    EXPECT_EQ(ResultLinkUrl("<a href=\"http://h/a.swf&#x10000;\">x</a>", "gb2312"),
              "http://h/a.swf%F0%90%80%80");
    // The same for a UTF-8 page: each byte that is no UTF-8 is written back as three, and each
    // bare "&" as five.
    EXPECT_TRUE(
        ResultLinkUrl("<a href=\"http://h/a.swf" + QByteArray(100, '\xf4') + "\">x</a>", "UTF-8")
            .isEmpty());
    EXPECT_TRUE(
        ResultLinkUrl("<a href=\"http://h/a.swf?" + QByteArray(100, '&') + "\">x</a>", "UTF-8")
            .isEmpty());
    EXPECT_EQ(
        ResultLinkUrl("<a href=\"http://h/a.swf?" + QByteArray(40, '&') + "\">x</a>", "UTF-8"),
        "http://h/a.swf?" + QString(40, u'&'));
    // 260 bytes are listed, 261 are not.
    const QByteArray stem = "http://h/";
    const QByteArray ok = stem + QByteArray(260 - stem.size() - 4, 'n') + ".swf";
    EXPECT_EQ(ResultLinkUrl("<a href=\"" + ok + "\">x</a>", "UTF-8").size(), 260);
    EXPECT_TRUE(
        ResultLinkUrl("<a href=\"" + ok.left(9) + "n" + ok.mid(9) + "\">x</a>", "UTF-8").isEmpty());

    // The link line drops attributes after the address.
    EXPECT_EQ(LinkLine("<a href=\"u.swf\" onclick=\"evil()\">T</a>"), "<a href=\"u.swf\">T</a>");
    EXPECT_TRUE(LinkLine("<a href=\"u.swf>T</a>").isEmpty());

    // Text: tags and scripts gone, references resolved, then escaped for the page.
    EXPECT_EQ(
        PlainLinkText("<b>Cat</b> &amp; <script>x<y</script>dog<img src=http://e/p.png>", "UTF-8"),
        "Cat & dog");
    EXPECT_EQ(PlainLinkText(QByteArray(500, 'w'), "UTF-8").size(), kEntryTextMaxChars);
    const QByteArray entry = PageEntry("http://h/a.swf?x=\"1\"&y=<2>", "a<b>&\"", "UTF-8");
    EXPECT_EQ(entry, "\r\n<a href=\"http://h/a.swf?x=&quot;1&quot;&amp;y=&lt;2&gt;\">"
                     "a&lt;b&gt;&amp;&quot;</a>\r\n\r\n<p></p>\r\n");
    // No text: the file name shows.
    EXPECT_TRUE(PageEntry("http://h/d/cat.swf", "", "UTF-8").contains(">cat.swf</a>"));
    // GBK pages get GBK text.
    EXPECT_TRUE(
        PageEntry("http://h/a.swf", QStringLiteral("游戏"), "gb2312").contains("\xD3\xCE\xCF\xB7"));
}

TEST(HarvestScan, PageFileAndReload) {
    QTemporaryDir dir;
    const QString page = dir.filePath(kResultPageName);
    // An append to a missing page writes nothing.
    EXPECT_FALSE(AppendToPage(page, "x"));
    EXPECT_FALSE(QFile::exists(page));
    ASSERT_TRUE(WritePageHeader(page, "gb2312"));
    const QByteArray header = test::ReadFile(page);
    EXPECT_TRUE(
        header.startsWith("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"\r\n"
                          "\"http://www.w3.org/TR/html4/loose.dtd\">\r\n<html>\r\n<head>\r\n"));
    EXPECT_TRUE(header.contains("<meta http-equiv=\"Content-Type\" content=\"text/html; "
                                "charset=gb2312\">\r\n<title>Vobi Search Result</title>\r\n"));
    EXPECT_TRUE(header.endsWith("</head>\r\n<body>\r\n"));
    ASSERT_TRUE(
        AppendToPage(page, PageEntry("http://h/1.swf?a=1&b=2", QStringLiteral("一"), "gb2312")));
    ASSERT_TRUE(AppendToPage(page, PageEntry("http://h/2.SWF", "", "gb2312")));
    // A page an older version wrote, with the remote link lines themselves.
    ASSERT_TRUE(AppendToPage(page, "\r\n<a href=\"http://h/3.swf\">three</a>\r\n\r\n<p></p>\r\n"));
    ASSERT_TRUE(AppendToPage(page, PageEnd()));
    // ".SWF" in capitals is read back too: the library's movies are listed under such names
    // (what engines 0-3 write reads back as before).
    EXPECT_EQ(ReloadResultLinks(page),
              QStringList({"http://h/1.swf?a=1&b=2", "http://h/2.SWF", "http://h/3.swf"}));
    EXPECT_TRUE(ReloadResultLinks(dir.filePath("missing.html")).isEmpty());
    EXPECT_TRUE(ResultPagePath().endsWith(QStringLiteral("/") + kResultPageName));
}

TEST_F(HarvestSearch, DirectLinksOfTheGoogleEngines) {
    Search s = Run(1, "links20 game");
    EXPECT_TRUE(s.outcome.connected);
    EXPECT_EQ(s.outcome.urls, Movies(0, 20));
    EXPECT_EQ(Entries(s.page), 20);
    EXPECT_TRUE(Finished(s.page));
    EXPECT_TRUE(s.outcome.nextPageEnabled);
    EXPECT_TRUE(s.page.contains("charset=gb2312"));
    // The remote attributes are gone, the text stays.
    EXPECT_FALSE(s.page.contains("onmousedown"));
    EXPECT_TRUE(s.page.contains("\">Movie 3</a>"));

    s = Run(2, "links14", 1);
    EXPECT_EQ(s.outcome.urls, Movies(20, 14)) << "page 1 starts at offset 20";
    EXPECT_EQ(Entries(s.page), 14);
    EXPECT_FALSE(s.outcome.nextPageEnabled);
    EXPECT_TRUE(s.page.contains("charset=UTF-8"));

    // Nothing to find: an empty page that is finished.
    s = Run(1, "none");
    EXPECT_TRUE(s.outcome.urls.isEmpty());
    EXPECT_TRUE(Finished(s.page));
    EXPECT_FALSE(s.outcome.nextPageEnabled);

    // Over-long fragments and addresses are skipped; what follows is found.
    s = Run(2, "long");
    EXPECT_EQ(s.outcome.urls, QStringList{Movie(3)});

    // The movie link straddling the first window's end is found.
    s = Run(1, "split");
    EXPECT_EQ(s.outcome.urls, QStringList{Movie(7)});
}

TEST_F(HarvestSearch, TheResultPageHoldsNoScriptAndNothingRemote) {
    const Search s = Run(2, "unsafe");
    ASSERT_EQ(s.outcome.urls, QStringList{Movie(1)});
    const QByteArray lower = s.page.toLower();
    for (const char *bad : {"<script", "onclick", "<img", "pixel.png", "alert"})
        EXPECT_FALSE(lower.contains(bad)) << bad;
    EXPECT_TRUE(s.page.contains("<a href=\"" + Movie(1).toUtf8() + "\">Evil game &amp; fun</a>"));
    // Every tag on the page is one of ours.
    QByteArray rest = s.page;
    for (const char *ours :
         {"<!DOCTYPE", "<html>", "</html>", "<head>", "</head>", "<meta ", "<title>", "</title>",
          "<body>", "</body>", "<p></p>", "<a href=", "</a>"})
        rest.replace(ours, "");
    EXPECT_FALSE(rest.contains('<')) << rest.toStdString();
}

TEST_F(HarvestSearch, IntermediatePagesOfBaiduAndYahoo) {
    // 16 intermediate links, 10 of which lead to movies: 10 entries, and a next page (16 >= 15).
    Search s = Run(0, QStringLiteral("mixed16 游戏"));
    EXPECT_EQ(s.outcome.urls, Movies(0, 10));
    EXPECT_EQ(s.outcome.linksCounted, 16);
    EXPECT_TRUE(s.outcome.nextPageEnabled);
    EXPECT_EQ(Entries(s.page), 10);
    EXPECT_TRUE(Finished(s.page));

    // No movie fragments: no link thread, an empty finished page, no next page.
    s = Run(0, "none");
    EXPECT_TRUE(s.outcome.connected);
    EXPECT_EQ(s.outcome.linksCounted, 0);
    EXPECT_TRUE(Finished(s.page));
    EXPECT_EQ(Entries(s.page), 0);
    EXPECT_FALSE(s.outcome.nextPageEnabled);

    // Yahoo's site-relative "下载" links, put after the site's root.
    s = Run(3, "links3", 2);
    EXPECT_EQ(s.outcome.urls, Movies(40, 3));
    EXPECT_FALSE(s.outcome.nextPageEnabled);
    EXPECT_TRUE(s.page.contains("charset=UTF-8"));
}

// A page of 150 movie links lists 100; a page of 150 intermediate links starts 100 link
// fetches; a page that never ends is read up to its cap and the search still finishes.
TEST_F(HarvestSearch, TooManyLinksOrAnEndlessPageAreBounded) {
    Search s = Run(1, "links150");
    EXPECT_EQ(s.outcome.urls, Movies(0, kPageLinksMax));
    EXPECT_EQ(Entries(s.page), kPageLinksMax);
    s = Run(0, "links150");
    EXPECT_EQ(s.outcome.linksCounted, kPageLinksMax);
    EXPECT_EQ(s.outcome.urls, Movies(0, kPageLinksMax));
    s = Run(2, "endless");
    EXPECT_TRUE(s.outcome.connected);
    EXPECT_EQ(s.outcome.urls.size(), kPageLinksMax);
    EXPECT_TRUE(Finished(s.page));
}

TEST_F(HarvestSearch, AServerThatNeverAnswersDoesNotKeepThePageOpen) {
    SearchLimits limits;
    limits.linkDeadlineMs = 1500;
    limits.maxLinkThreads = 2;
    QElapsedTimer clock;
    clock.start();
    SearchJob job(0, "stall", 0, m_page, m_hosts, limits);
    qint64 finishedAt = -1;
    const SearchOutcome outcome =
        job.Run([&](const SearchOutcome &) { finishedAt = clock.elapsed(); });
    // Three links in two threads: two rounds of the deadline, far below the server's minute.
    EXPECT_GE(finishedAt, 0);
    EXPECT_LT(finishedAt, 20000);
    EXPECT_TRUE(outcome.urls.isEmpty());
    EXPECT_EQ(outcome.linksCounted, 3);
    EXPECT_TRUE(Finished(test::ReadFile(m_page)));
}

TEST_F(HarvestSearch, AFailedConnectionLeavesTheHeaderOnly) {
    EngineHosts closed = m_hosts;
    closed.bases = {"http://127.0.0.1:1", "http://127.0.0.1:1", "http://127.0.0.1:1",
                    "http://127.0.0.1:1"};
    for (int engine = 0; engine < kEngineCount; ++engine) {
        SearchJob job(engine, "links20", 0, m_page, closed);
        const SearchOutcome o = job.Run();
        EXPECT_FALSE(o.connected) << engine;
        EXPECT_EQ(test::ReadFile(m_page), PageHeader(PageCharset(engine)));
    }
}

TEST_F(HarvestSearch, ANewSearchAbandonsTheOldOne) {
    SearchLimits slow;
    slow.linkDeadlineMs = 4000;
    auto old = std::make_shared<SearchJob>(0, "stall", 0, m_page, m_hosts, slow);
    std::atomic<int> oldFinished{0};
    SearchOutcome oldOutcome;
    std::thread runner(
        [&] { oldOutcome = old->Run([&](const SearchOutcome &) { ++oldFinished; }); });
    // Once the old search waits for its intermediate pages, a new one takes over.
    ASSERT_TRUE(
        test::SleepUntil([&] { return test::ReadFile(m_page).startsWith("<!DOCTYPE"); }, 10000));
    QThread::msleep(300);
    old->Abandon();
    const Search s = Run(1, "links14");
    runner.join();
    EXPECT_EQ(oldFinished.load(), 1);
    EXPECT_TRUE(oldOutcome.abandoned);
    EXPECT_TRUE(oldOutcome.urls.isEmpty());
    // The page is the new search's alone.
    const QByteArray page = test::ReadFile(m_page);
    EXPECT_EQ(Entries(page), 14);
    EXPECT_EQ(page.count("<!DOCTYPE"), 1);
    EXPECT_EQ(page.count("</html>"), 1);
    EXPECT_TRUE(page.contains("charset=gb2312"));
}

// Engine 3's links are resolved against the site's root and stay on its host; the pages the
// engines link to are never in the user's own network unless the engine itself is.
TEST(HarvestScan, SiteLinksStayOnTheSiteAndLinkedPagesOffTheUsersNetwork) {
    const QString root = "http://site.example:8080";
    const struct {
        const char *link;
        const char *resolved;
    } site[] = {
        {"/inter/1?a=1&b=2", "http://site.example:8080/inter/1?a=1&b=2"},
        {"inter/2", "http://site.example:8080/inter/2"},
        {"@evil.example/x", "http://site.example:8080/@evil.example/x"},
        {"//evil.example/x", ""},
        {"http://evil.example/x", ""},
        {"https://site.example:8080/x", ""},
        {"http://site.example/x", ""},
        {"http://user@site.example:8080/x", ""},
        {"javascript:alert(1)", ""},
    };
    for (const auto &c : site)
        EXPECT_EQ(ResolveSiteLink(root, c.link), c.resolved) << c.link;

    const HostResolver resolve = [](const QString &name) -> QList<QHostAddress> {
        if (name == "intranet.example")
            return {QHostAddress("10.1.2.3")};
        if (name == "mixed.example")
            return {QHostAddress("93.184.216.34"), QHostAddress("192.168.1.2")};
        if (name == "v6local.example")
            return {QHostAddress("fd00::1")};
        if (name == "public.example")
            return {QHostAddress("93.184.216.34")};
        return {};
    };
    const struct {
        const char *url;
        const char *engine;
        bool may;
    } fetch[] = {
        {"http://93.184.216.34/p", "www.baidu.com", true},
        {"https://public.example/p", "www.baidu.com", true},
        {"http://unknown.example/p", "www.baidu.com", true},
        {"http://172.32.0.1/p", "www.baidu.com", true},
        {"http://127.0.0.1:8080/p", "www.baidu.com", false},
        {"http://2130706433/p", "www.baidu.com", false},
        {"http://[::1]/p", "www.baidu.com", false},
        {"http://169.254.169.254/latest", "www.baidu.com", false},
        {"http://10.0.0.8/p", "www.baidu.com", false},
        {"http://172.20.1.1/p", "www.baidu.com", false},
        {"http://192.168.1.1/p", "www.baidu.com", false},
        {"http://100.64.0.1/p", "www.baidu.com", false},
        {"http://0.0.0.0/p", "www.baidu.com", false},
        {"http://[fe80::1]/p", "www.baidu.com", false},
        {"http://[fd12::1]/p", "www.baidu.com", false},
        {"http://[::ffff:10.0.0.1]/p", "www.baidu.com", false},
        {"http://localhost:631/p", "www.baidu.com", false},
        {"http://LocalHost./p", "www.baidu.com", false},
        {"http://printer.localhost/p", "www.baidu.com", false},
        {"http://intranet.example/p", "www.baidu.com", false},
        {"http://mixed.example/p", "www.baidu.com", false},
        {"http://v6local.example/p", "www.baidu.com", false},
        {"ftp://93.184.216.34/p", "www.baidu.com", false},
        {"file:///etc/passwd", "www.baidu.com", false},
        // A stand-in engine on this machine or network may link to its neighbours.
        {"http://127.0.0.1:9/p", "127.0.0.1", true},
        {"http://10.0.0.1/p", "localhost", true},
        {"http://192.168.1.9/p", "192.168.1.5", true},
        {"file:///etc/passwd", "127.0.0.1", false},
    };
    for (const auto &c : fetch)
        EXPECT_EQ(MayFetchLinkedPage(QUrl(c.url), c.engine, resolve), c.may)
            << c.url << " from " << c.engine;
}

TEST_F(HarvestSearch, YahooLinksThatTryToLeaveTheSiteAreNotFollowed) {
    auto opened = std::make_shared<Opened>();
    SearchJob job(3, "escape", 0, m_page, m_hosts, {}, [opened](const HttpOptions &options) {
        return std::make_unique<RecordingSession>(CreateHttpSession(options), opened);
    });
    const SearchOutcome outcome = job.Run();
    EXPECT_EQ(outcome.urls, QStringList{Movie(3)});
    const QUrl site(EngineServer().Base());
    QStringList paths;
    for (const QUrl &url : opened->urls) {
        EXPECT_EQ(url.host(), site.host()) << url.toString().toStdString();
        EXPECT_EQ(url.port(), site.port()) << url.toString().toStdString();
        paths << url.path();
    }
    // The "@host" link became a path of the site; the others were dropped.
    EXPECT_TRUE(paths.contains(QStringLiteral("/@127.0.0.2:%1/inter/2").arg(site.port())))
        << paths.join(' ').toStdString();
    EXPECT_EQ(outcome.linksCounted, 2);
}

// An engine page that drips a byte just inside the read time-out is cut at the page's own
// deadline, and what came before it is listed; a newer search ends such a page at once.
TEST_F(HarvestSearch, ADrippingEnginePageIsCutAtItsDeadline) {
    SearchLimits limits;
    limits.readTimeoutMs = 2000;
    limits.pageDeadlineMs = 1500;
    SearchJob job(1, "drip", 0, m_page, m_hosts, limits);
    std::atomic<bool> done{false};
    SearchOutcome outcome;
    std::thread runner([&] {
        outcome = job.Run();
        done = true;
    });
    const bool ended = test::SleepUntil([&] { return done.load(); }, 20000);
    if (!ended)
        job.Abandon();
    runner.join();
    EXPECT_TRUE(ended) << "the page held the search past its deadline";
    EXPECT_TRUE(outcome.connected);
    EXPECT_EQ(outcome.urls, Movies(0, 2));
    EXPECT_TRUE(Finished(test::ReadFile(m_page)));

    // The default deadline is far off; abandoning does not wait for it.
    SearchJob old(1, "drip", 0, m_page, m_hosts);
    std::atomic<bool> oldDone{false};
    SearchOutcome oldOutcome;
    std::thread oldRunner([&] {
        oldOutcome = old.Run();
        oldDone = true;
    });
    QThread::msleep(500);
    old.Abandon();
    EXPECT_TRUE(test::SleepUntil([&] { return oldDone.load(); }, 10000));
    oldRunner.join();
    EXPECT_TRUE(oldOutcome.abandoned);
}
