// The web movie's header probe against a loopback server, the events it shares with PlayUrl,
// and the pending-download list.

#include "support/FolderServer.h"

#include "platform/http/HttpClient.h"
#include "playback/HeaderProbe.h"
#include "support/TestHttpServer.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

using namespace kz;
using namespace kz::test;

namespace {

struct Site {
    QTemporaryDir dir;
    std::unique_ptr<FolderServer> server;
    Site() {
        SwfSpec spec;
        spec.version = 9;
        spec.rateInteger = 0; // a header with frame rate 0
        spec.frameCount = 240;
        spec.xMax = 640 * 20;
        spec.yMax = 480 * 20;
        spec.tags.push_back({kTagSetBackgroundColor, QByteArray("\x11\x22\x33", 3)});
        // A body long enough for the compressed reader's first window.
        spec.tags.push_back({255, QByteArray(64, '\0')});
        QByteArray fws = BuildSwf(spec);
        fws.append(QByteArray(200, '\0')); // enough bytes for the minimum read
        WriteFile(dir.filePath("plain.swf"), fws);
        spec.signature = 'C';
        WriteFile(dir.filePath("packed.swf"), BuildSwf(spec) + QByteArray(100, 'x'));
        const QByteArray broken = BuildSwf(spec).left(8) + QByteArray(300, '\x07');
        spec.signature = 'Z';
        WriteFile(dir.filePath("lzma.swf"), BuildSwf(spec) + QByteArray(100, 'x'));
        WriteFile(dir.filePath("brokenlzma.swf"), "ZWS" + broken.mid(3));
        WriteFile(dir.filePath("page.html"), "<html><head><title>not a movie</title></head><body>" +
                                                 QByteArray(200, 'p') + "</body></html>");
        WriteFile(dir.filePath("short.swf"), BuildSwf(SwfSpec{}).left(40));
        // Compressed movies whose bodies do not decode: the probe gives up quietly.
        WriteFile(dir.filePath("broken.swf"), broken);
        server = std::make_unique<FolderServer>(dir.path());
    }
};

Site &TheSite() {
    static Site site;
    return site;
}

ProbeOutcome Probe(const QString &url, UrlProbeRecord &r, Event &found) {
    auto session = CreateHttpSession();
    r.url = url;
    return ProbeMovieHeader(*session, r, found);
}

} // namespace

TEST(HeaderProbe, UncompressedAndCompressedHeadersAreRead) {
    Site &s = TheSite();
    for (const char *name : {"plain.swf", "packed.swf", "lzma.swf"}) {
        SCOPED_TRACE(name);
        Event found(Event::AutoReset, false);
        UrlProbeRecord r;
        ASSERT_EQ(Probe(s.server->Url(name), r, found), ProbeOutcome::Header);
        EXPECT_TRUE(found.IsSet());
        EXPECT_EQ(r.isFlash, 1);
        EXPECT_EQ(r.version, 9);
        EXPECT_EQ(r.frameRate, 0) << "the probe does not judge the rate";
        EXPECT_EQ(r.frameCount, 240);
        EXPECT_EQ(r.right - r.left, 640);
        EXPECT_EQ(r.bottom - r.top, 480);
        EXPECT_EQ(r.backgroundColor, 0x112233);
        SwfHeaderInfo h;
        CopyProbedHeader(r, h);
        EXPECT_EQ(h.frameCount, 240);
        EXPECT_EQ(h.backgroundColor, 0x112233);
    }
}

TEST(HeaderProbe, FailuresPlayTheFallbackOrStayQuiet) {
    Site &s = TheSite();
    Event found(Event::AutoReset, false);
    UrlProbeRecord r;
    // An HTML page answered with 200: not a movie.
    EXPECT_EQ(Probe(s.server->Url("page.html"), r, found), ProbeOutcome::Error);
    // 404, fewer than 64 bytes, and an unreadable compressed body: nothing to say.
    EXPECT_EQ(Probe(s.server->Url("missing.swf"), r, found), ProbeOutcome::Silent);
    EXPECT_EQ(Probe(s.server->Url("short.swf"), r, found), ProbeOutcome::Silent);
    EXPECT_FALSE(found.IsSet());
    EXPECT_EQ(Probe(s.server->Url("broken.swf"), r, found), ProbeOutcome::Silent);
    EXPECT_TRUE(found.IsSet()) << "the signature was seen before the body failed";
    Event foundLzma(Event::AutoReset, false);
    EXPECT_EQ(Probe(s.server->Url("brokenlzma.swf"), r, foundLzma), ProbeOutcome::Silent);
    EXPECT_TRUE(foundLzma.IsSet());
    // No address, no server.
    EXPECT_EQ(Probe(QString(), r, found), ProbeOutcome::Error);
    EXPECT_EQ(Probe("http://127.0.0.1:1/x.swf", r, found), ProbeOutcome::Error);
    EXPECT_EQ(Probe("not an address", r, found), ProbeOutcome::Error);
}

// A server sending its 4096 bytes one every 100 ms (seven minutes in all, each byte well within
// the read time-out): the probe's own deadline ends it with what little came.
TEST(HeaderProbe, ADrippingServerIsCutByTheProbesDeadline) {
    auto session = CreateHttpSession();
    Event found(Event::AutoReset, false);
    UrlProbeRecord r;
    r.url = SharedServer().Url("/drip/4096/100").toString();
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(ProbeMovieHeader(*session, r, found, 1500), ProbeOutcome::Silent);
    EXPECT_LT(clock.elapsed(), 60000); // a hang guard only
    EXPECT_FALSE(found.IsSet());
}

TEST(Event, AutoResetWakesOneWaiterAndClears) {
    Event e(Event::AutoReset, true);
    EXPECT_TRUE(e.Wait(0));
    EXPECT_FALSE(e.Wait(10)) << "a successful wait clears it";
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        e.Set();
    });
    EXPECT_TRUE(e.Wait(5000));
    setter.join();
    EXPECT_FALSE(e.IsSet());

    Event m(Event::ManualReset, false);
    m.Set();
    EXPECT_TRUE(m.Wait(0));
    EXPECT_TRUE(m.Wait(0)) << "a manual event stays set";
    m.Reset();
    EXPECT_FALSE(m.Wait(0));
}

// One background download at a time: a newer address replaces (and cancels) the older one, the
// same address is not started twice, and an older download that ends does not forget the newer.
TEST(PendingDownloads, OneAtATimeTheNewestReplacing) {
    PendingDownloads p;
    const auto a = p.Add("http://a/x.swf");
    ASSERT_TRUE(a);
    EXPECT_FALSE(p.Add("http://a/x.swf")) << "already under way";
    EXPECT_EQ(p.All(), QStringList{"http://a/x.swf"});
    const auto b = p.Add("http://b/y.swf");
    ASSERT_TRUE(b);
    EXPECT_TRUE(*a) << "the older one is cancelled";
    EXPECT_FALSE(*b);
    EXPECT_EQ(p.All(), QStringList{"http://b/y.swf"});
    p.Remove(a); // the cancelled one's thread ends
    EXPECT_TRUE(p.Contains("http://b/y.swf"));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&p, t] {
            for (int i = 0; i < 200; ++i) {
                const auto flag = p.Add(QStringLiteral("http://h/%1-%2.swf").arg(t).arg(i));
                if (flag)
                    p.Remove(flag);
            }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_TRUE(*b);
    EXPECT_TRUE(p.All().size() <= 1);
    const auto c = p.Add("http://c/z.swf");
    ASSERT_TRUE(c);
    p.CancelAll();
    EXPECT_TRUE(*c);
    EXPECT_TRUE(p.All().isEmpty());
    EXPECT_FALSE(p.Contains("http://c/z.swf"));
}
