// What a movie may reach: the files its site serves, its sandbox by its folder, file attributes
// and trust, the reports checked before use, and the links let through.

#include "platform/flash/MovieSandbox.h"
#include "formats/swf/SwfTagCodes.h"
#include "formats/swf/SwfWriter.h"
#include "platform/flash/FlashState.h"
#include "support/SwfFixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kz;

namespace {

bool Write(const QString &path, const QByteArray &bytes = "x") {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray Movie(std::uint8_t version, const QByteArray &attributes, bool compressed) {
    SwfWriter w(100, 100, 12, version);
    if (!attributes.isEmpty())
        w.AddTag(kTagFileAttributes, attributes);
    w.ShowFrame();
    return w.Finish(compressed);
}

} // namespace

TEST(MovieSandbox, OnlyPlainFilesOfTheTreeAreServed) {
    QTemporaryDir top;
    const QString folder = top.filePath("movies");
    ASSERT_TRUE(QDir().mkpath(folder + "/sub"));
    ASSERT_TRUE(Write(top.filePath("secret.txt")));
    ASSERT_TRUE(Write(folder + "/a b.swf"));
    ASSERT_TRUE(Write(folder + "/sub/data.xml"));
    ASSERT_TRUE(Write(folder + "/中文.txt"));
    QFile::link(top.filePath("secret.txt"), folder + "/out.txt");
    QFile::link(folder + "/sub/data.xml", folder + "/in.xml");
    QFile::link(top.path(), folder + "/up");
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + "/fifo").constData(), 0600), 0);

    const QString real = QFileInfo(folder).canonicalFilePath();
    const struct {
        const char *path;
        QString want;
    } cases[] = {
        {"/a%20b.swf", real + "/a b.swf"},
        {"/sub/data.xml", real + "/sub/data.xml"},
        {"/%E4%B8%AD%E6%96%87.txt", real + "/中文.txt"},
        {"/in.xml", real + "/sub/data.xml"}, // a link inside the tree
        {"/../secret.txt", {}},
        {"/sub/%2e%2e/%2e%2e/secret.txt", {}},
        {"/sub%2F..%2F..%2Fsecret.txt", {}},
        {"/out.txt", {}},       // a link out of the tree
        {"/up/secret.txt", {}}, // through a linked folder
        {"/fifo", {}},
        {"/sub", {}},
        {"/", {}},
        {"/missing.swf", {}},
        {"/a%00b.swf", {}},
        {"/sub\\data.xml", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ResolveSiteFile(folder, c.path), c.want) << c.path;
}

TEST(MovieSandbox, SitesKeepTheirIdentityAndTheirSandbox) {
    QTemporaryDir top;
    ASSERT_TRUE(QDir().mkpath(top.filePath("a")) && QDir().mkpath(top.filePath("b")));
    QFile::link(top.filePath("a"), top.filePath("alias"));
    const QByteArray plain = Movie(8, QByteArray("\0\0\0\0", 4), true);
    const QByteArray asks = Movie(8, QByteArray("\x01\0\0\0", 4), true);
    const QByteArray old = Movie(7, QByteArray("\x01\0\0\0", 4), false);

    const MovieSite a = SiteForFile(top.filePath("a/x.swf"), plain, {});
    EXPECT_EQ(a.host, SiteForFile(top.filePath("a/y.swf"), plain, {}).host) << "one folder";
    EXPECT_EQ(a.host, SiteForFile(top.filePath("alias/x.swf"), plain, {}).host);
    EXPECT_NE(a.host, SiteForFile(top.filePath("b/x.swf"), plain, {}).host);
    EXPECT_EQ(QUrl(a.movieUrl).host(), a.host);
    EXPECT_EQ(QUrl(a.movieUrl).path(), "/x.swf");
    EXPECT_EQ(SiteForFile(top.filePath("a/x y#.swf"), plain, {}).movieUrl,
              "kzmovie://" + a.host + "/x%20y%23.swf");

    const MovieSite l1 = SiteForListEntry(top.filePath("a/l.tpl"), "p.swf", plain, {});
    EXPECT_NE(l1.host, a.host);
    EXPECT_EQ(l1.host, SiteForListEntry(top.filePath("a/l.tpl"), "q.swf", plain, {}).host);
    EXPECT_EQ(l1.identity, top.filePath("a/l.tpl") + "|p.swf");

    const MovieSite w1 = SiteForWeb(QUrl("http://Example.com/f/a.swf?x=1"));
    EXPECT_EQ(w1.movieUrl, "kzmovie://" + w1.host + "/f/a.swf?x=1");
    EXPECT_EQ(w1.host, SiteForWeb(QUrl("http://example.com:80/g/b.swf")).host);
    EXPECT_NE(w1.host, SiteForWeb(QUrl("https://example.com/f/a.swf")).host);
    EXPECT_EQ(ResolveSiteWeb(w1.webUrl, "/f/child.swf", "a=1"),
              QUrl("http://Example.com/f/child.swf?a=1"));
    EXPECT_EQ(ResolveSiteEntry("/p%20q.swf"), "p q.swf");
    EXPECT_EQ(ResolveSiteEntry("p.swf"), "");

    // The sandbox: files, network, both when trusted; a web movie the network only.
    const struct {
        MovieSite site;
        bool files, network;
    } sandboxes[] = {
        {a, true, false},
        {SiteForFile(top.filePath("a/x.swf"), asks, {}), false, true},
        {SiteForFile(top.filePath("a/x.swf"), Movie(8, QByteArray("\x01\0\0\0", 4), false), {}),
         false, true},
        {SiteForFile(top.filePath("a/x.swf"), old, {}), true, false}, // before SWF 8
        {SiteForFile(top.filePath("a/x.swf"), plain, {top.filePath("alias")}), true, true},
        {SiteForFile(top.filePath("b/x.swf"), plain, {top.filePath("a")}), true, false},
        {SiteForListEntry(top.filePath("a/l.tpl"), "p.swf", asks, {top.path()}), true, true},
        {w1, false, true},
    };
    for (const auto &s : sandboxes) {
        SCOPED_TRACE(s.site.identity.toStdString());
        EXPECT_EQ(s.site.readFiles, s.files);
        EXPECT_EQ(s.site.network, s.network);
    }
    EXPECT_FALSE(MovieAsksForNetwork("FWS"));
    EXPECT_FALSE(MovieAsksForNetwork(asks.left(12))); // cut before the flags
}

TEST(MovieSandbox, TheHeadsFrameRateKeepsItsFraction) {
    auto movie = [](char signature, std::uint8_t integer, std::uint8_t fraction) {
        test::SwfSpec s;
        s.signature = signature == 'Z' ? 'F' : signature;
        s.rateInteger = integer;
        s.rateFraction = fraction;
        s.tags.push_back({kTagShowFrame, {}});
        const QByteArray fws = test::BuildSwf(s);
        return signature == 'Z' ? test::LzmaMovie(fws) : fws;
    };
    const struct {
        QByteArray head;
        double rate;
    } cases[] = {
        {movie('F', 24, 0), 24},        {movie('C', 29, 0xF8), 29 + 0xF8 / 256.0},
        {movie('Z', 12, 0x80), 12.5},   {movie('F', 0, 0), 0}, // no rate at all
        {movie('F', 200, 0), 0},                               // nothing a movie would run at
        {movie('F', 24, 0).left(9), 0},                        // cut before the rate
        {"not a movie at all", 0},
    };
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(HeadFrameRate(c.head), c.rate) << c.head.left(3).toStdString();
}

TEST(MovieSandbox, ReportsOutOfRangeAreDropped) {
    const MovieFacts good = CheckedFacts({{"width", 550},
                                          {"height", 400},
                                          {"frameRate", 24.5},
                                          {"numFrames", 65535},
                                          {"swfVersion", 8},
                                          {"backgroundColor", "#ff33cc"}});
    EXPECT_EQ(good.width, 550);
    EXPECT_EQ(good.height, 400);
    EXPECT_DOUBLE_EQ(good.frameRate, 24.5);
    EXPECT_EQ(good.frameCount, 65535);
    EXPECT_EQ(good.backgroundColor, 0xff33cc);
    const MovieFacts bad = CheckedFacts({{"width", 1e9},
                                         {"height", -5},
                                         {"frameRate", 121},
                                         {"numFrames", 2147483648.0},
                                         {"swfVersion", "x"},
                                         {"backgroundColor", "#12345678"}});
    EXPECT_EQ(bad.width, 0);
    EXPECT_EQ(bad.height, 0);
    EXPECT_EQ(bad.frameRate, 0);
    EXPECT_EQ(bad.frameCount, 0);
    EXPECT_EQ(bad.swfVersion, 0);
    EXPECT_EQ(bad.backgroundColor, -1);
    EXPECT_EQ(CheckedFacts({{"frameRate", std::nan("")}, {"numFrames", 0}}).frameRate, 0);

    const struct {
        QVariant frame;
        std::optional<int> want;
    } frames[] = {{1, 1},
                  {10, 10},
                  {11, std::nullopt},
                  {0, std::nullopt},
                  {-3, std::nullopt},
                  {2.5, std::nullopt},
                  {2147483647, std::nullopt},
                  {"4", 4},
                  {"x", std::nullopt}};
    for (const auto &f : frames)
        EXPECT_EQ(CheckedFrame(f.frame, 10), f.want) << f.frame.toString().toStdString();
}

TEST(MovieSandbox, LinksAreWebOrMailAtMostOnceASecondWhileActive) {
    std::int64_t now = 10000;
    LinkGate gate([&] { return now; });
    EXPECT_FALSE(gate.Admit("http://example.com/", false).isValid()) << "window not active";
    for (const char *refused : {"javascript:alert(1)", "file:///etc/passwd", "data:text/html,x",
                                "ftp://example.com/", "http://", "about:blank", ""})
        EXPECT_FALSE(gate.Admit(refused, true).isValid()) << refused;
    EXPECT_EQ(gate.Admit(" http://example.com/a ", true), QUrl("http://example.com/a"));
    EXPECT_FALSE(gate.Admit("http://example.com/b", true).isValid());
    now += 999;
    EXPECT_FALSE(gate.Admit("https://example.com/c", true).isValid());
    now += 1;
    EXPECT_TRUE(gate.Admit("mailto:a@example.com", true).isValid());
}
