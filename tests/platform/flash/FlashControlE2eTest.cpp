// The real Flash and browser controls under a display: movies from the corpus play, the
// control's members act visibly, input reaches the movie and the owner, web movies load with
// real progress.

#include "platform/Paths.h"
#include "platform/flash/Explorer.h"
#include "platform/flash/ShockwaveFlash.h"
#include "platform/urlcache/UrlCache.h"
#include "support/E2eSupport.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QThread>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include <csignal>

using namespace kz;

namespace {

using namespace kz::test;

QImage Shot(QWidget *w) {
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QString Corpus(const char *name) {
    return QDir(test::CorpusDir()).filePath(name);
}

struct Host {
    QWidget window;
    CMedia *flash = nullptr;
    Host() {
        window.resize(640, 480);
        flash = new CMedia(&window);
        flash->setGeometry(0, 0, 640, 480);
        window.show();
        EXPECT_TRUE(PumpUntil([&] { return flash->PageReady(); }, 30000)) << "page never started";
    }
    bool Load(const QString &movie) {
        QSignalSpy ready(flash, &FlashControl::MovieReady);
        flash->LoadMovie(0, movie);
        return PumpUntil([&] { return ready.count() > 0; }, 30000);
    }
};

} // namespace

TEST(FlashControlE2e, CorpusMovieAnimatesAndTheClockFollows) {
    Host h;
    EXPECT_EQ(h.flash->CurrentFrame(), -1);
    ASSERT_TRUE(h.Load(Corpus("examples_timeline_Simple.swf")));
    EXPECT_EQ(h.flash->Movie(), Corpus("examples_timeline_Simple.swf"));
    const int frames = h.flash->TotalFrames();
    EXPECT_GT(frames, 1);
    EXPECT_EQ(h.flash->ReadyState(), kReadyComplete);
    EXPECT_EQ(h.flash->PercentLoaded(), 100);
    EXPECT_TRUE(h.flash->IsPlaying());
    EXPECT_EQ(h.flash->FlashVersion() >> 16, 32);

    // Shots over time: the movie is drawn (many colours) and moves (shots differ).
    std::vector<QImage> shots;
    for (int i = 0; i < 6; ++i) {
        Pump(170);
        shots.push_back(Shot(h.flash));
    }
    shots.back().save(QDir::temp().filePath("kz-flash-animates.png"));
    int differing = 0;
    for (size_t i = 1; i < shots.size(); ++i) {
        EXPECT_GT(DistinctColours(shots[i]), 3) << "shot " << i << " is not a rendered movie";
        differing += shots[i] != shots[i - 1];
    }
    EXPECT_GE(differing, 3) << "the movie does not animate";

    const int frame = h.flash->CurrentFrame();
    EXPECT_GE(frame, 0);
    EXPECT_LT(frame, frames);

    h.flash->StopPlay();
    EXPECT_FALSE(h.flash->IsPlaying());
    Pump(300);
    const QImage a = Shot(h.flash);
    const int stopped = h.flash->CurrentFrame();
    Pump(400);
    const QImage b = Shot(h.flash);
    a.save(QDir::temp().filePath("kz-flash-stop-a.png"));
    b.save(QDir::temp().filePath("kz-flash-stop-b.png"));
    EXPECT_EQ(b, a) << "a stopped movie still moves";
    EXPECT_EQ(h.flash->CurrentFrame(), stopped);

    h.flash->Play();
    EXPECT_TRUE(h.flash->IsPlaying());
    h.flash->GotoFrame(0);
    EXPECT_LE(h.flash->CurrentFrame(), 1);
}

TEST(FlashControlE2e, ZoomScaleAndBackgroundActVisibly) {
    Host h;
    h.flash->SetScale("noScale");
    h.flash->SetBackgroundColor(0xFF0000);
    // A still movie with a small stage: noScale leaves a margin in the control's colour.
    ASSERT_TRUE(h.Load(Corpus("acid_acid-gradient.swf")));
    Pump(600);
    h.flash->StopPlay();
    Pump(300);
    const QImage noScale = Shot(h.flash);
    noScale.save(QDir::temp().filePath("kz-flash-noscale.png"));
    EXPECT_GT(DistinctColours(noScale), 4);

    h.flash->SetScale("ShowAll");
    ASSERT_TRUE(PumpUntil([&] { return h.flash->TotalFrames() > 0; }, 20000));
    Pump(900);
    const QImage showAll = Shot(h.flash);
    showAll.save(QDir::temp().filePath("kz-flash-showall.png"));
    EXPECT_NE(showAll, noScale) << "Scale changed nothing";

    h.flash->Zoom(50);
    Pump(600);
    const QImage zoomed = Shot(h.flash);
    zoomed.save(QDir::temp().filePath("kz-flash-zoom.png"));
    EXPECT_NE(zoomed, showAll) << "Zoom changed nothing";
    h.flash->Zoom(0);
    Pump(600);

    h.flash->SetBackgroundColor(0x0000FF);
    Pump(1500);
    const QImage blue = Shot(h.flash);
    blue.save(QDir::temp().filePath("kz-flash-blue.png"));
    int bluePixels = 0;
    for (int y = 0; y < blue.height(); y += 8)
        for (int x = 0; x < blue.width(); x += 8)
            bluePixels += blue.pixel(x, y) == qRgb(0, 0, 255);
    EXPECT_GT(bluePixels, 20) << "BackgroundColor changed nothing";
}

TEST(FlashControlE2e, BlankMissingAndDamagedMoviesLeaveTheControlEmpty) {
    Host h;
    ASSERT_TRUE(h.Load(Corpus("acid_acid-morph.swf")));
    h.flash->LoadMovie(0, QString::fromLatin1(kBlankMovie));
    EXPECT_EQ(h.flash->Movie(), "");
    EXPECT_EQ(h.flash->CurrentFrame(), -1);
    EXPECT_FALSE(h.flash->IsPlaying());

    h.flash->LoadMovie(0, "/nonexistent/movie.swf");
    EXPECT_EQ(h.flash->CurrentFrame(), -1);
    EXPECT_EQ(h.flash->Movie(), "/nonexistent/movie.swf");

    // Damaged and hostile bytes: the control stays alive and answers.
    QTemporaryDir dir;
    const QString junk = dir.filePath("junk.swf");
    ASSERT_TRUE(test::WriteFile(junk, QByteArray("CWS\x0a\xff\xff\xff\x7f garbage", 20)));
    h.flash->LoadMovie(0, junk);
    Pump(3000);
    EXPECT_EQ(h.flash->CurrentFrame(), -1);
    EXPECT_TRUE(h.Load(Corpus("acid_acid-gradient.swf"))) << "the control no longer loads";
}

TEST(FlashControlE2e, ACrashedEngineComesBackEmptyAndPlaysAgain) {
    Host h;
    ASSERT_TRUE(h.Load(Corpus("acid_acid-gradient.swf")));
    const qint64 pid = h.flash->Page()->renderProcessPid();
    ASSERT_GT(pid, 0);
    ::kill(pid_t(pid), SIGKILL);
    EXPECT_TRUE(PumpUntil([&] { return h.flash->CurrentFrame() == -1; }, 10000));
    EXPECT_EQ(h.flash->Movie(), Corpus("acid_acid-gradient.swf"));
    EXPECT_TRUE(PumpUntil([&] { return h.flash->PageReady(); }, 30000));
    EXPECT_TRUE(h.Load(Corpus("examples_timeline_Simple.swf")));
    EXPECT_GT(h.flash->TotalFrames(), 1);
}

TEST(FlashControlE2e, SoundNeedsNoGesture) {
    Host h;
    ASSERT_TRUE(h.Load(Corpus("acid_acid-platformer.swf")));
    QString state;
    h.flash->Page()->runJavaScript("new AudioContext().state",
                                   [&](const QVariant &v) { state = v.toString(); });
    ASSERT_TRUE(PumpUntil([&] { return !state.isEmpty(); }, 5000));
    EXPECT_EQ(state, "running") << "audio would wait for a click";
}

TEST(FlashControlE2e, InputReachesTheMovieAndTheOwner) {
    Host h;
    ASSERT_TRUE(h.Load(Corpus("acid_acid-morph.swf")));
    QWidget *render = h.flash->WebView()->focusProxy();
    ASSERT_NE(render, nullptr);
    bool installed = false;
    h.flash->Page()->runJavaScript(
        "window.kzKeys = 0; document.addEventListener('keydown', () => ++window.kzKeys, true); 1",
        [&](const QVariant &) { installed = true; });
    ASSERT_TRUE(PumpUntil([&] { return installed; }, 5000));

    QSignalSpy right(h.flash, &FlashControl::RightButtonDown);
    QSignalSpy dbl(h.flash, &FlashControl::LeftButtonDoubleClick);
    QSignalSpy esc(h.flash, &FlashControl::EscapePressed);
    QTest::mouseClick(render, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::keyClick(render, Qt::Key_A);
    QTest::keyClick(render, Qt::Key_Space);
    QTest::keyClick(render, Qt::Key_Escape);
    QTest::mouseClick(render, Qt::RightButton, {}, QPoint(50, 60));
    QTest::mouseDClick(render, Qt::LeftButton, {}, QPoint(70, 80));
    Pump(300);
    EXPECT_EQ(right.count(), 1);
    if (right.count() == 1) {
        EXPECT_EQ(right.at(0).at(0).toPoint(), QPoint(50, 60));
    }
    EXPECT_EQ(dbl.count(), 1);
    EXPECT_EQ(esc.count(), 1);

    int keys = -1;
    h.flash->Page()->runJavaScript("window.kzKeys", [&](const QVariant &v) { keys = v.toInt(); });
    ASSERT_TRUE(PumpUntil([&] { return keys >= 0; }, 5000));
    EXPECT_GE(keys, 3) << "typed keys did not reach the movie's page";
}

TEST(FlashControlE2e, BrowserAsksBeforeEveryNavigation) {
    QWidget window;
    window.resize(400, 300);
    auto *browser = new CExplorer1(&window);
    browser->setGeometry(0, 0, 400, 300);
    window.show();

    QTemporaryDir dir;
    const QString page = dir.filePath("index.html");
    ASSERT_TRUE(test::WriteFile(page, "<html><body><a id=l href='Movie.SWF'>x</a></body></html>"));
    QStringList seen;
    QObject::connect(browser, &BrowserControl::BeforeNavigate2,
                     [&](const QString &url, bool *cancel) {
                         seen << url;
                         if (url.endsWith(".SWF"))
                             *cancel = true;
                     });
    bool loaded = false;
    QObject::connect(browser->Page(), &QWebEnginePage::loadFinished, [&] { loaded = true; });
    browser->Navigate(page);
    ASSERT_TRUE(PumpUntil([&] { return loaded; }, 20000));
    EXPECT_EQ(seen.value(0), QUrl::fromLocalFile(page).toString());

    browser->Page()->runJavaScript("document.getElementById('l').click()");
    ASSERT_TRUE(PumpUntil([&] { return seen.size() >= 2; }, 10000));
    EXPECT_TRUE(seen.at(1).endsWith("/Movie.SWF"));
    Pump(500);
    EXPECT_EQ(browser->LocationURL(), QUrl::fromLocalFile(page).toString()) << "not cancelled";
}

TEST(FlashControlE2e, WebMovieLoadsThroughTheCacheWithRisingProgress) {
    Host h;
    QTemporaryDir dir;
    // A server that trickles the body, so progress is seen between 0 and 100.
    const QString server = QDir(test::SourceDir()).filePath("tests/support/trickle_http.py");
    QFile::copy(Corpus("acid_acid-platformer.swf"), dir.filePath("web.swf"));
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const int port = probe.serverPort();
    probe.close();
    QProcess http;
    http.setWorkingDirectory(dir.path());
    http.start("/usr/bin/python3", {server, QString::number(port), "20"});
    ASSERT_TRUE(http.waitForStarted());
    QThread::msleep(500);
    qputenv("XDG_CACHE_HOME", dir.filePath("cache").toUtf8());

    const QString url = QString("http://127.0.0.1:%1/web.swf").arg(port);
    QSignalSpy ready(h.flash, &FlashControl::MovieReady);
    h.flash->LoadMovie(0, url);
    std::set<int> seen;
    EXPECT_TRUE(PumpUntil(
        [&] {
            seen.insert(h.flash->PercentLoaded());
            return ready.count() > 0;
        },
        60000));
    http.kill();
    http.waitForFinished();
    EXPECT_EQ(h.flash->PercentLoaded(), 100);
    EXPECT_EQ(h.flash->Movie(), url);
    EXPECT_GT(h.flash->TotalFrames(), 0);
    int between = 0;
    for (int p : seen)
        between += p > 0 && p < 100;
    EXPECT_GE(between, 3) << "progress jumped straight to the end";
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    // The movie in play keeps its cache entry from eviction; the next movie lets it go.
    EXPECT_TRUE(UrlCache::IsHeld(QUrl(url)));
    h.flash->LoadMovie(0, QString());
    EXPECT_FALSE(UrlCache::IsHeld(QUrl(url)));
}
