#include "platform/flash/FlashState.h"
#include "platform/flash/FlashControl.h"

#include <gtest/gtest.h>

using namespace kz;

namespace {

struct ManualClock {
    std::int64_t now = 1000;
    FlashState::Clock Fn() {
        return [this] { return now; };
    }
};

MovieFacts Facts(double rate, int frames) {
    MovieFacts f;
    f.width = 550;
    f.height = 400;
    f.frameRate = rate;
    f.frameCount = frames;
    return f;
}

} // namespace

TEST(FlashState, ReportsNoMovieUntilTheEngineHasOne) {
    ManualClock clock;
    FlashState s(clock.Fn());
    EXPECT_EQ(s.CurrentFrame(), -1);
    EXPECT_FALSE(s.IsPlaying());
    EXPECT_EQ(s.TotalFrames(), 0);
    EXPECT_EQ(s.ReadyState(), kReadyComplete);

    s.BeginLoad("/m/a.swf");
    EXPECT_EQ(s.Movie(), "/m/a.swf");
    EXPECT_EQ(s.CurrentFrame(), -1);
    EXPECT_EQ(s.ReadyState(), kReadyLoading);
    EXPECT_EQ(s.PercentLoaded(), 0);
    s.Loaded();
    EXPECT_EQ(s.PercentLoaded(), 100);
    EXPECT_EQ(s.ReadyState(), kReadyInteractive);
    EXPECT_EQ(s.CurrentFrame(), -1);

    s.Ready(Facts(10, 30), true);
    EXPECT_EQ(s.ReadyState(), kReadyComplete);
    EXPECT_EQ(s.CurrentFrame(), 0);
    EXPECT_EQ(s.TotalFrames(), 30);
    EXPECT_TRUE(s.IsPlaying());
}

TEST(FlashState, FrameClockRunsWrapsFreezesAndRestarts) {
    ManualClock clock;
    FlashState s(clock.Fn());
    s.BeginLoad("a.swf");
    s.Ready(Facts(10, 30), true);
    clock.now += 250;
    EXPECT_EQ(s.CurrentFrame(), 2);
    clock.now += 2750; // 3 s at 10 fps = frame 30, wrapping to 0
    EXPECT_EQ(s.CurrentFrame(), 0);
    clock.now += 1500;
    EXPECT_EQ(s.CurrentFrame(), 15);

    s.Stop();
    EXPECT_FALSE(s.IsPlaying());
    clock.now += 5000;
    EXPECT_EQ(s.CurrentFrame(), 15) << "a stopped movie keeps its frame";

    s.Play();
    clock.now += 300;
    EXPECT_EQ(s.CurrentFrame(), 18) << "resumes from where it stopped";

    s.Restart();
    EXPECT_EQ(s.CurrentFrame(), 0);
    clock.now += 100;
    EXPECT_EQ(s.CurrentFrame(), 1);
}

TEST(FlashState, OddFactsNeverDivideByZero) {
    ManualClock clock;
    FlashState s(clock.Fn());
    s.BeginLoad("a.swf");
    s.Ready(Facts(0, 0), true);
    clock.now += 10000;
    EXPECT_EQ(s.CurrentFrame(), 0);
    s.Ready(Facts(-5, 10), true);
    clock.now += 10000;
    EXPECT_EQ(s.CurrentFrame(), 0);
    s.Ready(Facts(1e9, 7), true);
    clock.now += 1;
    const int f = s.CurrentFrame();
    EXPECT_GE(f, 0);
    EXPECT_LT(f, 7);
    clock.now -= 500; // a clock that steps back
    EXPECT_GE(s.CurrentFrame(), 0);
}

TEST(FlashState, ProgressRisesToNinetyNineUntilTheMovieIsInHand) {
    FlashState s;
    s.BeginLoad("http://127.0.0.1/a.swf");
    s.Progress(50, 200);
    EXPECT_EQ(s.PercentLoaded(), 25);
    s.Progress(10, 200); // never goes back
    EXPECT_EQ(s.PercentLoaded(), 25);
    s.Progress(200, 200);
    EXPECT_EQ(s.PercentLoaded(), 99);
    s.Progress(999, -1); // unknown total changes nothing
    EXPECT_EQ(s.PercentLoaded(), 99);
    s.Progress(500, 200); // more than announced
    EXPECT_EQ(s.PercentLoaded(), 99);
    s.Loaded();
    EXPECT_EQ(s.PercentLoaded(), 100);
}

TEST(FlashState, FailureKeepsTheAddressAndClearForgetsIt) {
    FlashState s;
    s.BeginLoad("/gone.swf");
    s.Fail();
    EXPECT_EQ(s.Movie(), "/gone.swf");
    EXPECT_EQ(s.CurrentFrame(), -1);
    EXPECT_FALSE(s.IsPlaying());
    s.Play(); // nothing to play
    EXPECT_FALSE(s.IsPlaying());
    s.Clear();
    EXPECT_EQ(s.Movie(), "");
    EXPECT_EQ(s.PercentLoaded(), 0);
}

TEST(FlashState, ZoomIsRelativeAndZeroResets) {
    FlashState s;
    EXPECT_DOUBLE_EQ(s.ZoomFactor(), 1.0);
    s.Zoom(50);
    EXPECT_DOUBLE_EQ(s.ZoomFactor(), 2.0);
    s.Zoom(200);
    EXPECT_DOUBLE_EQ(s.ZoomFactor(), 1.0);
    s.Zoom(0);
    s.Zoom(80);
    EXPECT_DOUBLE_EQ(s.ZoomFactor(), 1.25);
    s.Zoom(-10); // ignored
    EXPECT_DOUBLE_EQ(s.ZoomFactor(), 1.25);
    for (int i = 0; i < 100; ++i)
        s.Zoom(1);
    EXPECT_LE(s.ZoomFactor(), 64.0);
    s.Zoom(0);
    EXPECT_DOUBLE_EQ(s.ZoomFactor(), 1.0);
}

TEST(FlashState, ReportedFramesReplaceTheClockAndSilenceMeansStandingStill) {
    ManualClock clock;
    FlashState s(clock.Fn());
    s.BeginLoad("/m/a.swf");
    s.Loaded();
    s.Ready(Facts(20, 100), true);
    EXPECT_FALSE(s.Reporting());
    EXPECT_FALSE(s.SeekTo(50)) << "a clock cannot seek";
    clock.now += 500;
    EXPECT_EQ(s.CurrentFrame(), 10) << "the clock until the movie reports";

    // Reports count from 1, the control from 0; the frame is the reported one, whatever the
    // clock says.
    s.ReportFrame(3);
    EXPECT_TRUE(s.Reporting());
    EXPECT_EQ(s.CurrentFrame(), 2);
    clock.now += 2000;
    EXPECT_EQ(s.CurrentFrame(), 2);
    // Three frame times at 20 a second (150 ms) are below the floor of 300 ms.
    EXPECT_EQ(s.StandStillMs(), 300);
    EXPECT_FALSE(s.IsPlaying()) << "no report for two seconds: the movie halted itself";
    s.ReportFrame(4);
    EXPECT_TRUE(s.IsPlaying());
    clock.now += 300;
    EXPECT_TRUE(s.IsPlaying());
    clock.now += 1;
    EXPECT_FALSE(s.IsPlaying());
    // Play waits afresh for reports; our own stop is known at once.
    s.Play();
    EXPECT_TRUE(s.IsPlaying());
    s.Stop();
    EXPECT_FALSE(s.IsPlaying());
    s.ReportFrame(5);
    EXPECT_FALSE(s.IsPlaying()) << "stopped by us, whatever comes in";

    // Seeks land within the movie; bad reports are ignored.
    EXPECT_TRUE(s.SeekTo(60));
    EXPECT_EQ(s.CurrentFrame(), 60);
    EXPECT_TRUE(s.SeekTo(500));
    EXPECT_EQ(s.CurrentFrame(), 99);
    EXPECT_TRUE(s.SeekTo(-4));
    EXPECT_EQ(s.CurrentFrame(), 0);
    s.ReportFrame(0);
    s.ReportFrame(-7);
    EXPECT_EQ(s.CurrentFrame(), 0);

    // A slow movie waits longer; a new load starts with the clock again.
    s.Ready(Facts(2, 10), true);
    EXPECT_EQ(s.StandStillMs(), 1500);
    s.Ready(Facts(0, 10), true);
    EXPECT_EQ(s.StandStillMs(), 3000);
    s.BeginLoad("/m/b.swf");
    EXPECT_FALSE(s.Reporting());
    EXPECT_EQ(s.CurrentFrame(), -1);
}
