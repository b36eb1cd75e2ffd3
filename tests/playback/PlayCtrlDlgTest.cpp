// The play controller against a fake Flash control that scripts frames and the playing flag,
// and a fake host: loading with the fallbacks, list files, web movies from a loopback server,
// end-of-movie handling, stepping, the status line, keys, layout and settings.

#include "FakePlayHost.h"
#include "support/FolderServer.h"

#include "controls/MacSliderCtrl.h"
#include "controls/MyBitmapButton.h"
#include "platform/MovieIdentity.h"
#include "platform/Paths.h"
#include "platform/registry/Registry.h"
#include "platform/urlcache/UrlCache.h"
#include "playback/PlayCtrlDlg.h"
#include "playlist/ListFile.h"
#include "support/FakeFlashControl.h"
#include "support/TestHttpServer.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

QTemporaryDir &Home() {
    static QTemporaryDir dir;
    return dir;
}

QString ProgramFolder() {
    return Home().filePath("program");
}

QByteArray Movie(int frames, int rate, int width, int height, char sig = 'F') {
    SwfSpec s;
    s.signature = sig;
    s.frameCount = std::uint16_t(frames);
    s.rateInteger = std::uint8_t(rate);
    s.xMax = width * 20;
    s.yMax = height * 20;
    s.tags.push_back({kTagSetBackgroundColor, QByteArray("\x10\x20\x30", 3)});
    // A body long enough for the compressed reader's first window.
    s.tags.push_back({255, QByteArray(64, '\0')});
    return BuildSwf(s) + QByteArray(100, '\0');
}

// The display's time-outs as a fake keeps them; the box outlives the controller that owns
// the fake.
struct PowerBox {
    PowerTimeouts now{600, 1200, 300};
    QList<PowerTimeouts> writes;
};
class FakePower final : public PowerSettings {
public:
    explicit FakePower(std::shared_ptr<PowerBox> box) : m_box(std::move(box)) {}
    std::optional<PowerTimeouts> Read() override { return m_box->now; }
    void Write(const PowerTimeouts &t) override {
        m_box->now = t;
        m_box->writes << t;
    }

private:
    std::shared_ptr<PowerBox> m_box;
};

struct Rig {
    FakePlayHost host;
    FakeFlashControl *flash = nullptr;
    std::shared_ptr<PowerBox> power = std::make_shared<PowerBox>();
    QTemporaryDir storeDir;
    std::unique_ptr<IniRegistryStore> registry;
    std::unique_ptr<QWidget> parent;
    CPlayCtrlDlg *ctrl = nullptr;

    // The controller writes its settings into the store when it goes; each rig has a store of
    // its own unless it is given one.
    explicit Rig(bool init = true, const QString &store = {},
                 FakeEngine engine = FakeEngine::Reports, MovieLibrary *library = nullptr) {
        registry = std::make_unique<IniRegistryStore>(
            store.isEmpty() ? storeDir.filePath("registry.ini") : store);
        parent = std::make_unique<QWidget>();
        flash = new FakeFlashControl(parent.get(), engine);
        CPlayCtrlDlg::Services s;
        s.registry = registry.get();
        s.power = std::make_unique<FakePower>(power);
        s.library = library;
        ctrl = new CPlayCtrlDlg(flash, &host, std::move(s), parent.get());
        ctrl->setGeometry(0, 0, 700, 76);
        if (init)
            ctrl->OnInitDialog();
    }
    QString Last() const { return flash->calls.isEmpty() ? QString() : flash->calls.last(); }
    // Waits for a web address to be loaded after PlayUrl's wait.
    bool UrlLoaded() const {
        QElapsedTimer t;
        t.start();
        while (ctrl->PlayUrlPending() && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return !ctrl->PlayUrlPending();
    }
    // The file the control was last asked to load.
    QString Loaded() const {
        for (qsizetype i = flash->calls.size() - 1; i >= 0; --i)
            if (flash->calls[i].startsWith("LoadMovie 0 "))
                return flash->calls[i].mid(12);
        return {};
    }
};

QString Write(const QString &name, const QByteArray &bytes) {
    const QString path = Home().filePath("movies/" + name);
    WriteFile(path, bytes);
    return path;
}

} // namespace

class PlayCtrl : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WriteFile(ProgramFolder() + "/inflash/nonexist.swf", Movie(10, 12, 320, 240));
        WriteFile(ProgramFolder() + "/inflash/errorfmat.swf", Movie(20, 12, 300, 200));
        SetProgramDirOverride(ProgramFolder());
        QFile::remove(Home().filePath("registry.ini"));
    }
};

TEST_F(PlayCtrl, LocalMovieStartsWithItsHeaderAndPowerSavingOff) {
    Rig r;
    const QString movie = Write("a.swf", Movie(240, 24, 550, 400));
    r.ctrl->PlayLocalItem(movie, "a.swf");
    EXPECT_EQ(r.Loaded(), movie);
    EXPECT_EQ(r.ctrl->m_nPlayState, kStatePlaying);
    EXPECT_EQ(r.host.state, kStatePlaying);
    EXPECT_FALSE(r.ctrl->m_bUrlMode);
    EXPECT_TRUE(r.ctrl->m_bFullyLoaded && r.ctrl->m_bHeaderKnown);
    EXPECT_EQ(r.ctrl->Header().frameCount, 240);
    EXPECT_EQ(r.ctrl->Trackbar()->maximum(), 240);
    EXPECT_EQ(r.host.stage, QSize(550, 400));
    EXPECT_EQ(r.host.zoom, 100);
    EXPECT_EQ(r.host.infoBack, 0x336699u);
    EXPECT_EQ(r.host.infoText, 0xFFFFFFu - 0x336699u);
    EXPECT_EQ(r.host.info, QStringLiteral("Vobi Flash 播放器"));
    EXPECT_EQ(r.flash->background, 0x102030);
    EXPECT_EQ(r.flash->scale, "ShowAll");
    EXPECT_TRUE(r.host.log.contains("browser hidden"));
    EXPECT_TRUE(r.ctrl->TimerActive(kFramePollTimer.id));
    EXPECT_TRUE(r.ctrl->TimerActive(kStatusTimer.id));
    EXPECT_FALSE(r.ctrl->TimerActive(kLoadProgressTimer.id));
    EXPECT_TRUE(r.ctrl->Button(IDC_PAUSE)->isVisibleTo(r.ctrl));
    EXPECT_FALSE(r.ctrl->Button(IDC_PLAY)->isVisibleTo(r.ctrl));

    // The first movie saves and zeroes the time-outs; a second one leaves the copy alone.
    ASSERT_EQ(r.power->writes.size(), 1);
    EXPECT_EQ(r.power->writes[0], PowerTimeouts{});
    r.ctrl->PlayLocalItem(movie, "a.swf");
    EXPECT_EQ(r.power->writes.size(), 1);

    // Stop puts them back, empties the control and gives the view back to the browser.
    r.ctrl->OnStop();
    EXPECT_EQ(r.power->now, (PowerTimeouts{600, 1200, 300}));
    EXPECT_FALSE(r.ctrl->Power().HasSavedCopy());
    EXPECT_EQ(r.Loaded(), "about:blank");
    EXPECT_EQ(r.flash->scale, "noScale");
    EXPECT_EQ(r.flash->background, 0);
    EXPECT_EQ(r.ctrl->m_nPlayState, kStateStopped);
    EXPECT_EQ(r.host.infoText, 0u);
    EXPECT_EQ(r.host.infoBack, 0xFFFFFFu);
    EXPECT_TRUE(r.host.log.endsWith("browser shown"));
    EXPECT_EQ(r.host.progress, 0);
    EXPECT_TRUE(r.ctrl->Button(IDC_PLAY)->isVisibleTo(r.ctrl));
    // The poll and the status line keep running, idle.
    EXPECT_TRUE(r.ctrl->TimerActive(kFramePollTimer.id));

    // In a screen mode the browser stays away.
    r.ctrl->PlayLocalItem(movie, "a.swf");
    r.host.fullScreen = true;
    r.host.log.clear();
    r.ctrl->OnStop();
    EXPECT_FALSE(r.host.log.contains("browser shown"));
}

TEST_F(PlayCtrl, MissingAndBrokenFilesPlayTheFallbacks) {
    Rig r;
    r.ctrl->PlayLocalItem(Home().filePath("movies/gone.swf"), "gone.swf");
    EXPECT_EQ(r.Loaded(), ProgramFolder() + "/inflash/nonexist.swf");
    EXPECT_EQ(r.ctrl->Header().frameCount, 10);
    EXPECT_EQ(r.ctrl->m_nPlayState, kStatePlaying);

    const QString text =
        Write("notes.swf", QByteArray("just some text, not a movie\n").repeated(10));
    r.ctrl->PlayLocalItem(text, "notes.swf");
    EXPECT_EQ(r.Loaded(), ProgramFolder() + "/inflash/errorfmat.swf");
    EXPECT_TRUE(r.flash->calls.contains("LoadMovie 0 " + text)) << "the file is tried first";
    EXPECT_EQ(r.ctrl->Header().frameCount, 20);
    EXPECT_EQ(r.host.stage, QSize(300, 200));

    // A folder cannot be opened as a movie either.
    r.ctrl->PlayLocalItem(Home().filePath("movies"), "movies");
    EXPECT_EQ(r.Loaded(), ProgramFolder() + "/inflash/nonexist.swf");
}

TEST_F(PlayCtrl, ListFileEntriesGoThroughOneTemporaryCopy) {
    Rig r;
    const QString one = Home().filePath("lists/one.TPL");
    const QString two = Home().filePath("lists/two.tpl");
    QDir().mkpath(Home().filePath("lists"));
    ASSERT_TRUE(CreateListFile(one));
    ASSERT_TRUE(CreateListFile(two));
    const QString first = Write("x/same.swf", Movie(30, 12, 100, 100));
    const QString second = Write("y/same.swf", Movie(60, 12, 200, 100));
    const QString other = Write("other.swf", Movie(5, 12, 100, 100));
    ASSERT_TRUE(AddMovie(first, one));
    ASSERT_TRUE(AddMovie(other, one));
    ASSERT_TRUE(AddMovie(second, two));

    // An upper-case extension is a list file all the same.
    r.ctrl->PlayLocalItem(one, "same.swf");
    const QString temp = TempFolder() + "same.swf";
    EXPECT_EQ(r.Loaded(), temp);
    EXPECT_EQ(r.ctrl->m_strExtractedFile, temp);
    EXPECT_EQ(r.ctrl->Header().frameCount, 30);

    // The same name from another list file overwrites the one copy.
    r.ctrl->PlayLocalItem(two, "same.swf");
    EXPECT_EQ(r.Loaded(), temp);
    EXPECT_EQ(r.ctrl->Header().frameCount, 60);
    EXPECT_EQ(ReadFile(temp), ReadFile(second));

    // Another name: the old copy goes.
    r.ctrl->PlayLocalItem(one, "other.swf");
    EXPECT_FALSE(QFile::exists(temp));
    EXPECT_TRUE(QFile::exists(TempFolder() + "other.swf"));

    // An entry that cannot be copied out: stopped, the previous movie stays in the control.
    const int loads = r.flash->CountCalls("LoadMovie");
    r.ctrl->PlayLocalItem(one, "no such entry.swf");
    EXPECT_EQ(r.flash->CountCalls("LoadMovie"), loads);
    EXPECT_EQ(r.flash->Movie(), TempFolder() + "other.swf");
    EXPECT_EQ(r.ctrl->m_nPlayState, kStateStopped);
    EXPECT_FALSE(r.ctrl->TimerActive(kFramePollTimer.id));
    EXPECT_TRUE(r.ctrl->Button(IDC_PLAY)->isVisibleTo(r.ctrl));

    // A hostile entry name never writes outside the temporary folder.
    r.ctrl->PlayLocalItem(one, "../escape.swf");
    EXPECT_EQ(r.flash->CountCalls("LoadMovie"), loads);
    QFile::remove(TempFolder() + "other.swf");
}

TEST_F(PlayCtrl, EndOfMovieInBothModesAndWithoutAutoPlay) {
    Rig r;
    for (int i = 0; i < 3; ++i)
        r.host.rows << qMakePair(Write(QString("m%1.swf").arg(i), Movie(10, 12, 100, 100)),
                                 QString("m%1.swf").arg(i));
    r.ctrl->m_bAutoPlay = 1;
    r.ctrl->m_nPlayingMode = kModeListLoop;
    r.ctrl->m_nCurrentPlayingItem = 0;
    r.ctrl->OnPlay();
    ASSERT_EQ(r.Loaded(), r.host.rows[0].first);
    r.flash->FinishLoad(MovieFacts{100, 100, 12, 10, 10, 0});

    // A movie that loops by itself: its frame goes backwards.
    r.flash->scriptedPlaying = true;
    for (int f : {3, 8}) {
        r.flash->scriptedFrame = f;
        r.ctrl->OnFramePoll();
    }
    EXPECT_EQ(r.ctrl->Trackbar()->value(), 8);
    EXPECT_FALSE(r.ctrl->EndWaitPending());
    r.flash->scriptedFrame = 1;
    r.ctrl->OnFramePoll();
    ASSERT_TRUE(r.ctrl->EndWaitPending()) << "the end waits a second, with the window live";
    r.ctrl->OnFramePoll(); // the poll goes on meanwhile without a second verdict
    // While the test waits the control has nothing to report, so the poll's own timer
    // cannot act.
    r.flash->scriptedFrame = -1;
    ASSERT_TRUE(test::PumpUntil([&] { return r.Loaded() == r.host.rows[1].first; }, 3000));
    r.flash->FinishLoad(MovieFacts{100, 100, 12, 10, 10, 0});
    EXPECT_EQ(r.ctrl->m_nCurrentPlayingItem, 1);
    EXPECT_TRUE(r.host.log.contains("visible 1"));

    // One that halts on its last frame.
    r.flash->scriptedPlaying = false;
    r.flash->scriptedFrame = 9;
    r.ctrl->OnFramePoll();
    ASSERT_TRUE(r.ctrl->EndWaitPending());
    r.flash->scriptedFrame = -1;
    ASSERT_TRUE(test::PumpUntil([&] { return r.Loaded() == r.host.rows[2].first; }, 3000));
    r.flash->FinishLoad(MovieFacts{100, 100, 12, 10, 10, 0});

    // One that stops in the middle is restarted on the next tick, and nothing waits.
    r.flash->calls.clear();
    r.flash->scriptedFrame = 4;
    r.ctrl->OnFramePoll();
    EXPECT_EQ(r.flash->calls, QStringList{"Play"});
    EXPECT_FALSE(r.ctrl->EndWaitPending());

    // Single-file loop: the same movie again after the second.
    r.ctrl->OnContinue();
    r.flash->scriptedFrame = 9;
    r.ctrl->OnFramePoll();
    ASSERT_TRUE(r.ctrl->EndWaitPending());
    r.flash->calls.clear();
    r.flash->scriptedFrame = -1;
    ASSERT_TRUE(test::PumpUntil([&] { return !r.ctrl->EndWaitPending(); }, 3000));
    // Play alone would leave a movie that halted itself standing: frame 0 first.
    EXPECT_EQ(r.flash->calls, (QStringList{"GotoFrame 0", "Play"}));
    EXPECT_EQ(r.ctrl->m_nLastFrame, 0);
    EXPECT_EQ(r.ctrl->m_nCurrentPlayingItem, 2);

    // Without auto play a looping movie loops for ever.
    r.ctrl->OnHand();
    r.ctrl->OnCycle();
    r.flash->calls.clear();
    r.flash->scriptedPlaying = true;
    for (int f : {5, 9, 1, 9, 0, 9}) {
        r.flash->scriptedFrame = f;
        r.ctrl->OnFramePoll();
        EXPECT_FALSE(r.ctrl->EndWaitPending());
    }
    EXPECT_EQ(r.flash->CountCalls("LoadMovie"), 0);
    EXPECT_EQ(r.flash->calls, QStringList{"Play"}) << "only the start on frame 0";

    // Stop during the second cancels what was waiting.
    r.ctrl->OnAuto();
    r.ctrl->PlayLocalItem(r.host.rows[0].first, "m0.swf");
    r.flash->FinishLoad(MovieFacts{100, 100, 12, 10, 10, 0});
    r.flash->scriptedPlaying = false;
    r.flash->scriptedFrame = 9;
    r.ctrl->OnFramePoll();
    ASSERT_TRUE(r.ctrl->EndWaitPending());
    r.ctrl->OnStop();
    EXPECT_FALSE(r.ctrl->EndWaitPending());
}

// The controller against both kinds of engine: a movie that reports its frames, and one whose
// frame is a clock that cannot seek and does not know when the movie halts itself.
class PlayCtrlEngines : public PlayCtrl {};

TEST_F(PlayCtrlEngines, SeekingGoesToTheFrameOrStaysAndNeverEndsTheMovie) {
    for (FakeEngine engine : {FakeEngine::Reports, FakeEngine::Clock}) {
        SCOPED_TRACE(engine == FakeEngine::Reports ? "reports" : "clock");
        Rig r(true, {}, engine);
        r.host.rows << qMakePair(Write("s.swf", Movie(100, 10, 100, 100)), QString("s.swf"));
        r.ctrl->m_bAutoPlay = 1;
        r.ctrl->m_nPlayingMode = kModeListLoop;
        r.ctrl->OnPlay();
        r.flash->FinishLoad(MovieFacts{100, 100, 10, 100, 8, 0});
        // Two seconds in: frame 20.
        for (int f = 2; f <= 21; ++f) {
            r.flash->Advance(100);
            r.flash->ShowFrame(f);
        }
        r.ctrl->OnFramePoll();
        EXPECT_EQ(r.ctrl->Trackbar()->value(), 20);

        // Forward to the middle, then back.
        for (int to : {60, 10}) {
            const int before = r.flash->CurrentFrame();
            r.ctrl->OnSeek(to);
            const int expected = engine == FakeEngine::Reports ? to : before;
            EXPECT_EQ(r.flash->CurrentFrame(), expected);
            EXPECT_EQ(r.ctrl->Trackbar()->value(), expected) << "the trackbar shows the movie";
            EXPECT_EQ(r.ctrl->m_nLastFrame, expected);
            r.flash->Advance(100);
            r.flash->ShowFrame(expected + 2);
            r.ctrl->OnFramePoll();
            EXPECT_FALSE(r.ctrl->EndWaitPending()) << "a seek is not the end of the movie";
            EXPECT_EQ(r.flash->CountCalls("LoadMovie"), 1);
        }
        // Back to 0 restarts either movie.
        r.ctrl->OnSeek(0);
        EXPECT_EQ(r.flash->CurrentFrame(), 0);
        EXPECT_EQ(r.ctrl->Trackbar()->value(), 0);
    }
}

TEST_F(PlayCtrlEngines, AMovieThatHaltsItselfIsSeenOnlyWhenItReports) {
    // Reports: the movie stops itself on frame 5 of 100; within a second it stands, the
    // trackbar stays, and auto play resumes it; halting on its last frame ends it, and the
    // single-file loop sends it back to frame 0.
    {
        Rig r(true, {}, FakeEngine::Reports);
        r.host.rows << qMakePair(Write("h.swf", Movie(100, 10, 100, 100)), QString("h.swf"));
        r.ctrl->m_bAutoPlay = 1;
        r.ctrl->m_nPlayingMode = kModeSingleLoop;
        r.ctrl->OnPlay();
        r.flash->FinishLoad(MovieFacts{100, 100, 10, 100, 8, 0});
        for (int f = 2; f <= 5; ++f) {
            r.flash->Advance(100);
            r.flash->ShowFrame(f);
        }
        EXPECT_TRUE(r.flash->IsPlaying());
        r.flash->Advance(1000);
        EXPECT_FALSE(r.flash->IsPlaying()) << "no frame for a second";
        r.flash->calls.clear();
        r.ctrl->OnFramePoll();
        EXPECT_EQ(r.ctrl->Trackbar()->value(), 4);
        EXPECT_EQ(r.flash->calls, QStringList{"Play"}) << "halted in the middle: Play";
        EXPECT_TRUE(r.flash->IsPlaying());
        EXPECT_FALSE(r.ctrl->EndWaitPending());
        for (int f = 6; f <= 100; ++f) {
            r.flash->Advance(100);
            r.flash->ShowFrame(f);
            r.ctrl->OnFramePoll();
            EXPECT_FALSE(r.ctrl->EndWaitPending()) << f;
        }
        r.flash->Advance(1000);
        r.flash->calls.clear();
        r.ctrl->OnFramePoll();
        ASSERT_TRUE(r.ctrl->EndWaitPending()) << "halted on the last frame: the end";
        ASSERT_TRUE(test::PumpUntil([&] { return !r.ctrl->EndWaitPending(); }, 3000));
        // The poll's own timer may add the start on frame 0 meanwhile.
        EXPECT_EQ(r.flash->calls.mid(0, 2), (QStringList{"GotoFrame 0", "Play"}));
        EXPECT_EQ(r.flash->calls.size(), 2 + r.flash->calls.mid(2).count("Play"));
        EXPECT_EQ(r.flash->CurrentFrame(), 0);
        EXPECT_TRUE(r.flash->IsPlaying());
    }
    // Clock: the same movie looks as if it played on; its end is the clock wrapping, and the
    // replay restarts it.
    {
        Rig r(true, {}, FakeEngine::Clock);
        r.host.rows << qMakePair(Write("h.swf", Movie(100, 10, 100, 100)), QString("h.swf"));
        r.ctrl->m_bAutoPlay = 1;
        r.ctrl->m_nPlayingMode = kModeSingleLoop;
        r.ctrl->OnPlay();
        r.flash->FinishLoad(MovieFacts{100, 100, 10, 100, 8, 0});
        r.flash->scriptedFrame = 50; // a clock engine cannot be scripted
        r.flash->scriptedPlaying = false;
        r.flash->Advance(1500);
        r.flash->ShowFrame(5); // nor does it hear reports
        r.ctrl->OnFramePoll();
        EXPECT_EQ(r.ctrl->Trackbar()->value(), 15);
        EXPECT_TRUE(r.flash->IsPlaying());
        r.flash->Advance(8600); // frame 101 of 100: frame 1 again
        r.flash->calls.clear();
        r.ctrl->OnFramePoll();
        ASSERT_TRUE(r.ctrl->EndWaitPending());
        ASSERT_TRUE(test::PumpUntil([&] { return !r.ctrl->EndWaitPending(); }, 3000));
        // The poll's own timer may add the start on frame 0 meanwhile.
        EXPECT_EQ(r.flash->calls.mid(0, 2), (QStringList{"GotoFrame 0", "Play"}));
        EXPECT_EQ(r.flash->calls.size(), 2 + r.flash->calls.mid(2).count("Play"));
        EXPECT_EQ(r.flash->CurrentFrame(), 0);
    }
}

TEST_F(PlayCtrl, NextPreviousWrapAndCloseAtTheEndOfTheList) {
    Rig r;
    for (int i = 0; i < 3; ++i)
        r.host.rows << qMakePair(Write(QString("n%1.swf").arg(i), Movie(10, 12, 100, 100)),
                                 QString("n%1.swf").arg(i));
    r.ctrl->m_nCurrentPlayingItem = 2;
    r.ctrl->OnNext();
    EXPECT_EQ(r.ctrl->m_nCurrentPlayingItem, 0);
    EXPECT_EQ(r.Loaded(), r.host.rows[0].first);
    r.ctrl->OnPrevious();
    EXPECT_EQ(r.ctrl->m_nCurrentPlayingItem, 2);
    EXPECT_EQ(r.Loaded(), r.host.rows[2].first);

    // Auto-close alone, or the setting alone, does not close.
    r.host.autoClose = true;
    r.ctrl->OnNext();
    EXPECT_EQ(r.ctrl->m_nCurrentPlayingItem, 0);
    EXPECT_FALSE(r.host.log.contains("close"));
    r.ctrl->m_nCurrentPlayingItem = 2;
    r.host.closeAtEnd = true;
    const int loads = r.flash->CountCalls("LoadMovie");
    r.ctrl->OnNext();
    EXPECT_TRUE(r.host.log.contains("close"));
    EXPECT_EQ(r.flash->CountCalls("LoadMovie"), loads);
    // Previous never closes.
    r.host.log.clear();
    r.ctrl->m_nCurrentPlayingItem = 0;
    r.ctrl->OnPrevious();
    EXPECT_FALSE(r.host.log.contains("close"));
    EXPECT_EQ(r.ctrl->m_nCurrentPlayingItem, 2);

    // An empty list: nothing at all.
    Rig empty;
    empty.ctrl->OnNext();
    empty.ctrl->OnPrevious();
    empty.ctrl->OnPlay();
    EXPECT_EQ(empty.flash->CountCalls("LoadMovie"), 0);
    EXPECT_EQ(empty.ctrl->m_nPlayState, kStateStopped);
}

TEST_F(PlayCtrl, PlayPauseAndThePairs) {
    Rig r;
    const QString movie = Write("p.swf", Movie(10, 12, 100, 100));
    r.host.rows << qMakePair(movie, QString("p.swf"));
    // A stored row beyond the list falls back to row 0.
    r.ctrl->m_nCurrentPlayingItem = 5;
    r.ctrl->OnPlay();
    EXPECT_EQ(r.ctrl->m_nCurrentPlayingItem, 0);
    EXPECT_EQ(r.Loaded(), movie);
    r.ctrl->OnPause();
    EXPECT_EQ(r.Last(), "StopPlay");
    EXPECT_EQ(r.ctrl->m_nPlayState, kStatePaused);
    EXPECT_TRUE(r.ctrl->Button(IDC_PLAY)->isVisibleTo(r.ctrl));
    const int loads = r.flash->CountCalls("LoadMovie");
    r.ctrl->OnPlay();
    EXPECT_EQ(r.Last(), "Play");
    EXPECT_EQ(r.flash->CountCalls("LoadMovie"), loads) << "a paused movie resumes";
    EXPECT_EQ(r.ctrl->m_nPlayState, kStatePlaying);
    // Playing again reloads.
    r.ctrl->OnPlay();
    EXPECT_EQ(r.flash->CountCalls("LoadMovie"), loads + 1);

    r.ctrl->OnAuto();
    EXPECT_TRUE(r.ctrl->Button(IDC_HAND)->isVisibleTo(r.ctrl));
    EXPECT_FALSE(r.ctrl->Button(IDC_AUTO)->isVisibleTo(r.ctrl));
    r.ctrl->OnContinue();
    EXPECT_EQ(r.ctrl->m_nPlayingMode, kModeSingleLoop);
    EXPECT_TRUE(r.ctrl->Button(IDC_CYCLE)->isVisibleTo(r.ctrl));
    EXPECT_FALSE(r.ctrl->Button(IDC_CONTINUE)->isVisibleTo(r.ctrl));
    // Clicking a button runs its command.
    QTest::mouseClick(r.ctrl->Button(IDC_CYCLE), Qt::LeftButton);
    EXPECT_EQ(r.ctrl->m_nPlayingMode, kModeListLoop);
    EXPECT_EQ(r.ctrl->Button(IDC_NEXT)->toolTip(), QStringLiteral("播放下一个文件"));

    // Seeking.
    r.flash->FinishLoad(MovieFacts{100, 100, 12, 10, 10, 0});
    r.flash->calls.clear();
    r.ctrl->OnSeek(6);
    EXPECT_EQ(r.flash->calls, (QStringList{"GotoFrame 6", "Play"}));
    EXPECT_EQ(r.ctrl->m_nLastFrame, 6);
    EXPECT_EQ(r.ctrl->Trackbar()->value(), 6);
}

TEST_F(PlayCtrl, StatusLineOncePlaying) {
    Rig r;
    r.ctrl->PlayLocalItem(Write("s.swf", Movie(240, 24, 550, 400)), "s.swf");
    r.flash->scriptedFrame = 120;
    r.ctrl->OnStatusTimer();
    EXPECT_EQ(
        r.host.info,
        QStringLiteral("版本：10   尺寸：550*400   时间：00:00:05/00:00:10   帧信息：120/240"));
    r.ctrl->OnPause();
    r.host.info.clear();
    r.ctrl->OnStatusTimer();
    EXPECT_TRUE(r.host.info.isEmpty()) << "idle unless playing";
}

TEST_F(PlayCtrl, KeysGoToTheMovieExceptEscapeAndF8) {
    Rig r;
    r.parent->show();
    r.host.fullScreen = true;
    QTest::keyClick(r.ctrl, Qt::Key_Escape);
    EXPECT_FALSE(r.host.fullScreen);
    EXPECT_TRUE(r.host.log.contains("toggle full screen"));
    EXPECT_TRUE(r.host.log.contains("activate"));
    r.host.actualSize = true;
    QTest::keyClick(r.ctrl, Qt::Key_Escape);
    EXPECT_FALSE(r.host.actualSize);
    QTest::keyClick(r.ctrl, Qt::Key_F8);
    EXPECT_TRUE(r.host.log.contains("capture"));
    // Escape and F8 go down to the controller; their key-ups, like every key-up, reach the
    // movie.
    EXPECT_EQ(r.flash->keys, (QStringList{QString("up %1").arg(Qt::Key_Escape),
                                          QString("up %1").arg(Qt::Key_Escape),
                                          QString("up %1").arg(Qt::Key_F8)}));
    r.flash->keys.clear();
    QTest::keyClick(r.ctrl, Qt::Key_Left);
    QTest::keyClick(r.ctrl, Qt::Key_A);
    EXPECT_EQ(r.flash->keys,
              (QStringList{QString("down %1").arg(Qt::Key_Left), QString("up %1").arg(Qt::Key_Left),
                           QString("down %1").arg(Qt::Key_A), QString("up %1").arg(Qt::Key_A)}));
}

TEST_F(PlayCtrl, LayoutAndSettings) {
    const QString store = Home().filePath("registry.ini");
    QFile::remove(store);
    {
        Rig r(true, store);
        // Defaults without a stored value.
        EXPECT_EQ(r.ctrl->m_nPlayingMode, kModeListLoop);
        EXPECT_EQ(r.ctrl->m_bAutoPlay, 0);
        EXPECT_EQ(r.ctrl->m_nCurrentPlayingItem, 0);
        EXPECT_EQ(r.ctrl->m_nPlayState, kStateStopped);
        EXPECT_EQ(r.ctrl->Trackbar()->SelectionStart(), 25);
        EXPECT_EQ(r.ctrl->Trackbar()->SelectionEnd(), 75);
        r.parent->show();
        r.ctrl->resize(701, 76);
        const int x0 = r.ctrl->Trackbar()->ChannelRect().left();
        EXPECT_EQ(r.ctrl->Trackbar()->geometry(), QRect(0, 2, 701, 28));
        EXPECT_EQ(r.ctrl->Button(IDC_PLAY)->geometry(), QRect(x0, 32, 48, 40));
        EXPECT_EQ(r.ctrl->Button(IDC_PAUSE)->geometry(), QRect(x0, 32, 48, 40));
        EXPECT_EQ(r.ctrl->Button(IDC_STOP)->geometry(), QRect(x0 + 48, 32, 48, 40));
        EXPECT_EQ(r.ctrl->Button(IDC_PREV)->geometry(), QRect(x0 + 144, 32, 48, 40));
        EXPECT_EQ(r.ctrl->Button(IDC_CONTINUE)->geometry(), QRect(x0 + 240, 32, 48, 40));
        r.ctrl->m_bAutoPlay = 1;
        r.ctrl->m_nPlayingMode = 0;
        r.ctrl->m_nCurrentPlayingItem = 4;
    } // the controller writes its settings as it goes
    Rig again(true, store);
    EXPECT_EQ(again.ctrl->m_bAutoPlay, 1);
    EXPECT_EQ(again.ctrl->m_nPlayingMode, 0);
    EXPECT_EQ(again.ctrl->m_nCurrentPlayingItem, 4);
    EXPECT_TRUE(again.host.log.contains("visible 4"));
    EXPECT_TRUE(again.ctrl->Button(IDC_HAND)->isVisibleTo(again.ctrl));
    EXPECT_TRUE(again.ctrl->Button(IDC_CYCLE)->isVisibleTo(again.ctrl));
    QFile::remove(Home().filePath("registry.ini"));
}

// --- web movies ---------------------------------------------------------------------------

namespace {
struct WebSite {
    QTemporaryDir dir;
    std::unique_ptr<FolderServer> server;
    WebSite() {
        WriteFile(dir.filePath("movie.swf"), Movie(48, 0, 640, 480));
        WriteFile(dir.filePath("packed.swf"), Movie(96, 24, 320, 200, 'C'));
        WriteFile(dir.filePath("page.html"),
                  "<!DOCTYPE html><html><body>" + QByteArray(300, 'x') + "</body></html>");
        server = std::make_unique<FolderServer>(dir.path());
        qputenv("XDG_CACHE_HOME", dir.filePath("cache").toUtf8());
    }
};
WebSite &Site() {
    static WebSite site;
    return site;
}
} // namespace

TEST_F(PlayCtrl, WebMovieStartsAtOnceAndItsHeaderFollows) {
    Rig r;
    WebSite &s = Site();
    const QString url = s.server->Url("movie.swf");
    r.host.results = {s.server->Url("packed.swf"), url};
    r.ctrl->PlayUrl(url);
    EXPECT_TRUE(r.ctrl->PlayUrlPending()) << "the address loads a moment later";
    EXPECT_EQ(r.Last(), "LoadMovie 0 about:blank") << "emptied at once";
    ASSERT_TRUE(r.UrlLoaded());
    EXPECT_EQ(r.Loaded(), url);
    EXPECT_TRUE(r.flash->calls.contains("LoadMovie 0 about:blank")) << "emptied first";
    EXPECT_EQ(r.ctrl->m_nPlayState, kStatePlaying);
    EXPECT_TRUE(r.ctrl->m_bUrlMode);
    EXPECT_FALSE(r.ctrl->m_bFullyLoaded);
    EXPECT_EQ(r.ctrl->m_nCurrentNetItem, 1);
    EXPECT_TRUE(r.ctrl->TimerActive(kLoadProgressTimer.id));
    // Provisional values until the probe reports.
    EXPECT_EQ(r.host.stage, QSize(600, 400));
    EXPECT_EQ(r.flash->background, 0);
    EXPECT_EQ(r.power->writes.size(), 1);

    ASSERT_TRUE(test::PumpUntil([&] { return r.ctrl->m_bHeaderKnown; }));
    const SwfHeaderInfo h = r.ctrl->Header();
    EXPECT_EQ(h.frameCount, 48);
    EXPECT_EQ(h.frameRate, 0);
    EXPECT_EQ(r.host.stage, QSize(640, 480));
    EXPECT_EQ(r.flash->background, 0x102030);
    EXPECT_EQ(r.ctrl->Trackbar()->maximum(), 48);
    // A frame rate of 0 counts as 12 a second: 48 frames, 4 seconds.
    r.flash->scriptedFrame = 24;
    r.ctrl->OnStatusTimer();
    EXPECT_TRUE(r.host.info.contains(u"时间：00:00:02/00:00:04")) << r.host.info.toStdString();

    // Load progress: at 100 the movie counts as fully loaded.
    r.flash->m_state.Loaded();
    r.flash->FinishLoad(MovieFacts{640, 480, 12, 48, 10, 0});
    r.ctrl->OnLoadProgress();
    EXPECT_EQ(r.host.progress, 100);
    EXPECT_TRUE(r.ctrl->m_bFullyLoaded);
    EXPECT_FALSE(r.ctrl->TimerActive(kLoadProgressTimer.id));
    EXPECT_EQ(r.ctrl->Header().version, 32);

    // The same address again does nothing, not even a restart.
    const QStringList before = r.flash->calls;
    r.ctrl->PlayUrl(url);
    EXPECT_FALSE(r.ctrl->PlayUrlPending());
    EXPECT_EQ(r.flash->calls, before);

    // A speed for the web movie in play loads its address again, at that speed.
    EXPECT_EQ(r.ctrl->PlayingIdentity(), url);
    r.ctrl->ChangeSettings(url, {1.5, kDefaultQuality});
    ASSERT_TRUE(r.UrlLoaded());
    EXPECT_EQ(r.Loaded(), url);
    EXPECT_EQ(r.flash->loadedOptions.speed, 1.5);

    // Next through the results while the search is shown; a compressed header arrives too.
    r.host.netView = true;
    r.ctrl->OnNext();
    ASSERT_TRUE(r.UrlLoaded());
    EXPECT_EQ(r.Loaded(), s.server->Url("packed.swf"));
    EXPECT_EQ(r.ctrl->m_nCurrentNetItem, 0);
    ASSERT_TRUE(test::PumpUntil([&] { return r.ctrl->m_bHeaderKnown; }));
    EXPECT_EQ(r.ctrl->Header().frameCount, 96);
    EXPECT_EQ(r.host.stage, QSize(320, 200));
}

TEST_F(PlayCtrl, WebFailures) {
    Rig r;
    r.ctrl->m_bAutoPlay = 1;
    WebSite &s = Site();
    // 404: the provisional values stay, no status line, no advance.
    r.ctrl->PlayUrl(s.server->Url("nothing-here.swf"));
    ASSERT_TRUE(r.UrlLoaded());
    QTest::qWait(1500);
    EXPECT_FALSE(r.ctrl->m_bHeaderKnown);
    EXPECT_EQ(r.flash->Movie(), s.server->Url("nothing-here.swf"));
    r.host.info.clear();
    r.flash->scriptedFrame = 5;
    r.flash->scriptedPlaying = false;
    r.ctrl->OnStatusTimer();
    r.ctrl->OnFramePoll();
    EXPECT_TRUE(r.host.info.isEmpty());
    EXPECT_FALSE(r.ctrl->EndWaitPending());
    EXPECT_EQ(r.host.stage, QSize(600, 400));
    r.flash->scriptedFrame.reset();
    r.flash->scriptedPlaying.reset();

    // An HTML page with status 200: the missing-movie fallback.
    r.ctrl->PlayUrl(s.server->Url("page.html"));
    ASSERT_TRUE(
        test::PumpUntil([&] { return r.Loaded() == ProgramFolder() + "/inflash/nonexist.swf"; }));
    EXPECT_FALSE(r.ctrl->m_bUrlMode);
    EXPECT_FALSE(r.ctrl->TimerActive(kLoadProgressTimer.id));

    // A probe's answer for an address the user has left is dropped.
    auto stale = std::make_unique<UrlProbeRecord>();
    stale->url = "http://127.0.0.1:1/old.swf";
    stale->frameCount = 999;
    r.ctrl->OnMovieHeader(std::move(stale));
    EXPECT_NE(r.ctrl->Header().frameCount, 999);
    auto staleError = std::make_unique<UrlProbeRecord>();
    staleError->url = "http://127.0.0.1:1/old.swf";
    const int loads = r.flash->CountCalls("LoadMovie");
    r.ctrl->OnMovieError(std::move(staleError));
    EXPECT_EQ(r.flash->CountCalls("LoadMovie"), loads);
}

// The wait before a web movie loads does not hold the window: a stop or another movie
// meanwhile wins, and the address left behind is never loaded.
TEST_F(PlayCtrl, AWebMovieOvertakenWhileItWaitsIsNotLoaded) {
    Rig r;
    WebSite &s = Site();
    const QString a = s.server->Url("movie.swf"), b = s.server->Url("packed.swf");
    r.ctrl->PlayUrl(a);
    r.ctrl->OnStop();
    QTest::qWait(1200);
    EXPECT_FALSE(r.flash->calls.contains("LoadMovie 0 " + a));
    EXPECT_EQ(r.ctrl->m_nPlayState, kStateStopped);

    r.ctrl->PlayUrl(a);
    r.ctrl->PlayUrl(b);
    ASSERT_TRUE(r.UrlLoaded());
    QTest::qWait(1200);
    EXPECT_FALSE(r.flash->calls.contains("LoadMovie 0 " + a));
    EXPECT_EQ(r.Loaded(), b);
    EXPECT_EQ(r.ctrl->m_nPlayState, kStatePlaying);

    const QString local = Write("w.swf", Movie(10, 12, 100, 100));
    r.ctrl->PlayUrl(a);
    r.ctrl->PlayLocalItem(local, "w.swf");
    QTest::qWait(1200);
    EXPECT_FALSE(r.flash->calls.contains("LoadMovie 0 " + a));
    EXPECT_EQ(r.Loaded(), local);
}

TEST_F(PlayCtrl, AHalfLoadedWebMovieFinishesIntoTheCache) {
    Rig r;
    WebSite &s = Site();
    const QString first = s.server->Url("packed.swf");
    r.ctrl->PlayUrl(first);
    ASSERT_TRUE(r.UrlLoaded());
    ASSERT_LT(r.flash->PercentLoaded(), 100);
    r.ctrl->PlayUrl(s.server->Url("movie.swf"));
    EXPECT_TRUE(r.ctrl->PendingDownloadList().contains(first) ||
                UrlCache().Lookup(QUrl(first)).has_value());
    ASSERT_TRUE(test::PumpUntil([&] { return r.ctrl->PendingDownloadList().isEmpty(); }, 10000));
    const auto entry = UrlCache().Lookup(QUrl(first));
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(ReadFile(entry->localFile), ReadFile(s.dir.filePath("packed.swf")));
    // A local movie in the control is never sent to the cache.
    r.ctrl->PlayLocalItem(Write("l.swf", Movie(10, 12, 100, 100)), "l.swf");
    r.flash->m_state.BeginLoad(r.flash->Movie());
    r.ctrl->PlayUrl(s.server->Url("movie.swf"));
    EXPECT_TRUE(r.ctrl->PendingDownloadList().isEmpty());
}

// One background download at a time: a movie left half loaded replaces the one still
// finishing behind the scenes (a server that stalls it), which is dropped; the newest finishes.
TEST_F(PlayCtrl, OneBackgroundDownloadAtATimeTheNewestReplacing) {
    Rig r;
    WebSite &s = Site();
    ASSERT_TRUE(test::SharedServer().Running());
    const QString stalled = test::SharedServer().Url("/stall-body/1000").toString();
    const QString packed = s.server->Url("packed.swf");
    r.ctrl->PlayUrl(stalled);
    ASSERT_TRUE(r.UrlLoaded());
    r.ctrl->PlayUrl(packed);
    EXPECT_EQ(r.ctrl->PendingDownloadList(), QStringList{stalled});
    ASSERT_TRUE(r.UrlLoaded());
    ASSERT_LT(r.flash->PercentLoaded(), 100);
    r.ctrl->PlayUrl(s.server->Url("movie.swf"));
    EXPECT_TRUE(r.ctrl->PendingDownloadList() == QStringList{packed} ||
                r.ctrl->PendingDownloadList().isEmpty());
    EXPECT_TRUE(test::PumpUntil([&] { return r.ctrl->PendingDownloadList().isEmpty(); }, 10000))
        << "the stalled one is not waited for";
    EXPECT_TRUE(UrlCache().Lookup(QUrl(packed)).has_value());
    EXPECT_FALSE(UrlCache().Lookup(QUrl(stalled)).has_value());
}

TEST_F(PlayCtrl, ClosingPutsThePowerSettingsBack) {
    Rig r;
    r.ctrl->PlayLocalItem(Write("c.swf", Movie(10, 12, 100, 100)), "c.swf");
    EXPECT_EQ(r.power->now, PowerTimeouts{});
    delete r.ctrl;
    EXPECT_EQ(r.power->now, (PowerTimeouts{600, 1200, 300}));
    EXPECT_EQ(r.power->writes.size(), 2);
}

// Frame steps: a playing movie pauses first, the frame, the trackbar and the information line
// follow, nothing happens past either end; a movie that cannot seek takes no step at all.
TEST_F(PlayCtrlEngines, FrameStepsPauseAndStopAtTheEnds) {
    struct Step {
        bool forward;
        int from;     // the frame shown before the step (from 0)
        int expected; // the frame after it
    };
    const Step steps[] = {{true, 4, 5}, {false, 5, 4}, {false, 1, 0}, {true, 9, 9}, {false, 0, 0}};
    for (FakeEngine engine : {FakeEngine::Reports, FakeEngine::Clock}) {
        for (const Step &s : steps) {
            SCOPED_TRACE(QString("%1 %2 from %3")
                             .arg(engine == FakeEngine::Reports ? "reports" : "clock")
                             .arg(s.forward ? "next" : "previous")
                             .arg(s.from)
                             .toStdString());
            Rig r(true, {}, engine);
            r.ctrl->PlayLocalItem(Write("f.swf", Movie(10, 10, 100, 100)), "f.swf");
            r.flash->FinishLoad(MovieFacts{100, 100, 10, 10, 8, 0});
            r.ctrl->GoToFrame(s.from);
            r.host.info.clear();
            const int seeks = r.flash->CountCalls("GotoFrame");
            s.forward ? r.ctrl->OnNextFrame() : r.ctrl->OnPreviousFrame();
            if (engine == FakeEngine::Clock) {
                EXPECT_FALSE(r.ctrl->CanStepFrames());
                EXPECT_EQ(r.ctrl->m_nPlayState, kStatePlaying) << "no step, no pause";
                EXPECT_EQ(r.flash->CountCalls("GotoFrame"), seeks);
                continue;
            }
            EXPECT_TRUE(r.ctrl->CanStepFrames());
            EXPECT_EQ(r.ctrl->m_nPlayState, kStatePaused);
            EXPECT_FALSE(r.flash->IsPlaying());
            EXPECT_EQ(r.flash->CurrentFrame(), s.expected);
            EXPECT_EQ(r.ctrl->Trackbar()->value(), s.expected);
            r.ctrl->OnFramePoll();
            EXPECT_FALSE(r.flash->IsPlaying()) << "the poll leaves a paused movie paused";
            if (s.expected != s.from)
                EXPECT_TRUE(r.host.info.endsWith(QString("帧信息：%1/10").arg(s.expected)))
                    << r.host.info.toStdString();
            else
                EXPECT_EQ(r.flash->CountCalls("GotoFrame"), seeks) << "nothing past the end";
        }
    }
    Rig stopped;
    EXPECT_FALSE(stopped.ctrl->CanStepFrames()) << "no movie, no steps";
}

// Speed and quality: remembered per movie, taken up by every load of it (the engine cannot
// change them in a running movie), applied at once to the movie in play.
TEST_F(PlayCtrlEngines, AMoviesSpeedAndQualityComeBackAndApplyAtOnce) {
    QTemporaryDir dir;
    const QString a = Write("speed-a.swf", Movie(240, 24, 550, 400));
    const QString b = Write("speed-b.swf", Movie(10, 12, 100, 100));
    const MovieFacts facts{550, 400, 24, 240, 10, 0};
    for (FakeEngine engine : {FakeEngine::Reports, FakeEngine::Clock}) {
        SCOPED_TRACE(engine == FakeEngine::Reports ? "reports" : "clock");
        MovieLibrary library(dir.filePath(QString("library-%1.db").arg(int(engine))));
        ASSERT_TRUE(library.IsOpen());
        {
            Rig r(true, {}, engine, &library);
            r.ctrl->PlayLocalItem(a, "speed-a.swf");
            EXPECT_EQ(r.flash->loadedOptions, PlayOptions{});
            r.flash->FinishLoad(facts);
            r.ctrl->GoToFrame(100);
            r.ctrl->OnPause();
            const int loads = r.flash->CountCalls("LoadMovie 0 " + a);
            r.ctrl->ChangeSettings(r.ctrl->PlayingIdentity(), {2.0, MovieQuality::Low});
            // Loaded again at twice its rate; the clocks follow the rate it plays at.
            EXPECT_EQ(r.flash->CountCalls("LoadMovie 0 " + a), loads + 1);
            EXPECT_EQ(r.flash->loadedOptions, (PlayOptions{2.0, "low"}));
            EXPECT_EQ(r.ctrl->Header().frameRate, 48);
            r.flash->FinishLoad(facts);
            r.ctrl->OnFramePoll();
            if (engine == FakeEngine::Reports) {
                EXPECT_EQ(r.flash->CurrentFrame(), 100) << "back where it was";
                EXPECT_EQ(r.ctrl->m_nPlayState, kStatePaused) << "and as it was";
                EXPECT_EQ(r.host.info, QStringLiteral("版本：10   尺寸：550*400   "
                                                      "时间：00:00:02/00:00:05   帧信息：100/240"));
            } else {
                EXPECT_EQ(r.ctrl->m_nPlayState, kStatePlaying) << "started again";
                EXPECT_EQ(r.flash->CountCalls("GotoFrame"), 0);
            }
            // Another movie plays as its own; the first one's settings come back with it.
            r.ctrl->PlayLocalItem(b, "speed-b.swf");
            EXPECT_EQ(r.flash->loadedOptions, PlayOptions{});
            EXPECT_EQ(r.ctrl->Header().frameRate, 12);
            // A choice for a movie not in play is only remembered.
            const int before = r.flash->CountCalls("LoadMovie");
            r.ctrl->ChangeSettings(FileIdentity(a), {3.0, MovieQuality::Low});
            EXPECT_EQ(r.flash->CountCalls("LoadMovie"), before);
            r.ctrl->ChangeSettings(FileIdentity(a), {0.7, MovieQuality::Low}); // not offered
        }
        {
            Rig again(true, {}, engine, &library); // the player started again
            again.ctrl->PlayLocalItem(a, "speed-a.swf");
            EXPECT_EQ(again.flash->loadedOptions, (PlayOptions{3.0, "low"}));
            // The defaults keep nothing.
            again.ctrl->ChangeSettings(FileIdentity(a), MovieSettings{});
            EXPECT_TRUE(library.All().isEmpty());
            EXPECT_EQ(again.flash->loadedOptions, PlayOptions{});
        }
    }
    // Without a library a choice lasts while the player runs; the stand-in movies have none.
    Rig bare;
    bare.ctrl->PlayLocalItem(a, "speed-a.swf");
    bare.ctrl->ChangeSettings(bare.ctrl->PlayingIdentity(), {0.5, kDefaultQuality});
    EXPECT_EQ(bare.flash->loadedOptions.speed, 0.5);
    bare.ctrl->PlayLocalItem(Home().filePath("movies/gone.swf"), "gone.swf");
    EXPECT_TRUE(bare.ctrl->PlayingIdentity().isEmpty());
    EXPECT_EQ(bare.flash->loadedOptions, PlayOptions{});
}
