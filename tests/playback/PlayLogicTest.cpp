// The controller's window-free decisions: list stepping, the end of a movie, the status line,
// and the paths a local item loads.

#include "playback/PlayLogic.h"

#include <gtest/gtest.h>

using namespace kz;

TEST(PlayLogic, NextWrapsAndSaysSoPreviousGoesToTheLastRow) {
    EXPECT_EQ(NextIndex(0, 3).index, 1);
    EXPECT_FALSE(NextIndex(0, 3).wrapped);
    EXPECT_EQ(NextIndex(2, 3).index, 0);
    EXPECT_TRUE(NextIndex(2, 3).wrapped);
    // A current row beyond a list that has shrunk starts over.
    EXPECT_EQ(NextIndex(7, 3).index, 0);
    EXPECT_EQ(NextIndex(-1, 3).index, 0);
    EXPECT_FALSE(NextIndex(-1, 3).wrapped);
    EXPECT_EQ(NextIndex(0, 0).index, -1);

    EXPECT_EQ(PreviousIndex(0, 3), 2);
    EXPECT_EQ(PreviousIndex(2, 3), 1);
    EXPECT_EQ(PreviousIndex(9, 3), 0);
    EXPECT_EQ(PreviousIndex(-1, 3), 2);
    EXPECT_EQ(PreviousIndex(0, 0), -1);
}

namespace {
FramePollInput Playing(int frame, int total, int mode = kModeListLoop) {
    FramePollInput in;
    in.autoPlay = true;
    in.playState = kStatePlaying;
    in.playingMode = mode;
    in.currentFrame = frame;
    in.totalFrames = total;
    return in;
}
} // namespace

TEST(PlayLogic, FramePollRecognisesTheEndByStandingStillOrGoingBackwards) {
    int last = 0;
    int asked = 0;
    auto playing = [&] {
        ++asked;
        return true;
    };
    auto halted = [&] {
        ++asked;
        return false;
    };
    // Running forwards: nothing to do.
    for (int f : {1, 5, 9}) {
        const FramePollResult r = FramePoll(Playing(f, 10), last, playing);
        EXPECT_EQ(r.action, EndAction::None);
        EXPECT_TRUE(r.moveTrackbar);
        EXPECT_EQ(last, f);
    }
    // Halted on its last frame: the end.
    EXPECT_EQ(FramePoll(Playing(9, 10), last, halted).action, EndAction::Next);
    // Looped by itself: the end, without asking whether it plays.
    last = 8;
    asked = 0;
    EXPECT_EQ(FramePoll(Playing(2, 10), last, playing).action, EndAction::Next);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(last, 8) << "a frame going backwards does not lower the highest frame";
    // Single-file loop replays.
    last = 9;
    EXPECT_EQ(FramePoll(Playing(1, 10, kModeSingleLoop), last, playing).action, EndAction::Replay);
    // Halted in the middle: restarted.
    last = 4;
    EXPECT_EQ(FramePoll(Playing(5, 10), last, halted).action, EndAction::Resume);
}

TEST(PlayLogic, FramePollLeavesMoviesAloneWithoutAutoPlayOrWhileWaiting) {
    int last = 8;
    FramePollInput in = Playing(2, 10);
    in.autoPlay = false;
    FramePollResult r = FramePoll(in, last, [] { return false; });
    EXPECT_EQ(r.action, EndAction::None);
    EXPECT_TRUE(r.moveTrackbar);

    in = Playing(2, 10);
    in.playState = kStatePaused;
    EXPECT_EQ(FramePoll(in, last, [] { return false; }).action, EndAction::None);

    // A fresh movie on frame 0 is started in every state; -1 stops the tick.
    in.currentFrame = 0;
    EXPECT_TRUE(FramePoll(in, last, {}).playAtZero);
    in.currentFrame = -1;
    r = FramePoll(in, last, {});
    EXPECT_FALSE(r.moveTrackbar);
    EXPECT_FALSE(r.playAtZero);

    // A web movie whose header is unknown is not polled at all; one not yet fully loaded
    // is not advanced.
    in = Playing(2, 10);
    in.urlMode = true;
    in.headerKnown = false;
    EXPECT_TRUE(FramePoll(in, last, {}).skipped);
    in.headerKnown = true;
    in.fullyLoaded = false;
    EXPECT_EQ(FramePoll(in, last, [] { return true; }).action, EndAction::None);
    in.fullyLoaded = true;
    EXPECT_EQ(FramePoll(in, last, [] { return true; }).action, EndAction::Next);

    // Unknown playing modes do nothing at the end.
    in = Playing(1, 10, 7);
    last = 9;
    EXPECT_EQ(FramePoll(in, last, {}).action, EndAction::None);
}

TEST(PlayLogic, StatusLine) {
    SwfHeaderInfo h;
    h.version = 8;
    h.frameRate = 24;
    h.frameCount = 240;
    h.left = 0;
    h.right = 550;
    h.top = 0;
    h.bottom = 400;
    EXPECT_EQ(
        StatusLine(h, 120),
        QStringLiteral("版本：8   尺寸：550*400   时间：00:00:05/00:00:10   帧信息：120/240"));
    EXPECT_EQ(StatusLine(h, -1),
              QStringLiteral("版本：8   尺寸：550*400   时间：00:00:00/00:00:10   帧信息：-1/240"));
    // A web header with rate 0 uses 12 frames a second; 256 likewise.
    h.frameRate = 0;
    EXPECT_TRUE(StatusLine(h, 120).contains(u"00:00:10/00:00:20"));
    h.frameRate = 256;
    EXPECT_TRUE(StatusLine(h, 120).contains(u"00:00:10/00:00:20"));
    // Inverted stage: the sizes are absolute.
    h.left = 550;
    h.right = 0;
    EXPECT_TRUE(StatusLine(h, 0).contains(u"尺寸：550*400"));
    // No frames (an engine that has not reported yet) must not divide by zero.
    h.frameCount = 0;
    EXPECT_TRUE(StatusLine(h, 3).contains(u"00:00:00/00:00:00"));
    // Hours, and a long movie whose product exceeds 32 bits.
    EXPECT_EQ(ClockText(3 * 3600 + 62), QStringLiteral("03:01:02"));
    h.frameRate = 1;
    h.frameCount = 65535 * 30;
    EXPECT_TRUE(StatusLine(h, 65535 * 15).contains(u"/"));
    EXPECT_TRUE(StatusLine(h, 65535 * 15).contains(ClockText(65535 * 15)));
}

TEST(PlayLogic, LocalItemPaths) {
    EXPECT_EQ(MissingMoviePath("/opt/kz/"), QStringLiteral("/opt/kz/inflash/nonexist.swf"));
    EXPECT_EQ(BadFormatMoviePath("/opt/kz"), QStringLiteral("/opt/kz/inflash/errorfmat.swf"));
    EXPECT_EQ(ExtractedEntryPath("/tmp/KZ-1/", "a.swf"), QStringLiteral("/tmp/KZ-1/a.swf"));
    EXPECT_EQ(ExtractedEntryPath("/tmp/KZ-1", "a.swf"), QStringLiteral("/tmp/KZ-1/a.swf"));
    // Names that would leave the temporary folder, and no folder at all, are refused.
    EXPECT_TRUE(ExtractedEntryPath("/tmp/KZ-1/", "../x.swf").isEmpty());
    EXPECT_TRUE(ExtractedEntryPath("/tmp/KZ-1/", "..").isEmpty());
    EXPECT_TRUE(ExtractedEntryPath("/tmp/KZ-1/", "a\\b.swf").isEmpty());
    EXPECT_TRUE(ExtractedEntryPath("", "a.swf").isEmpty());
    EXPECT_TRUE(ExtractedEntryPath("/tmp/KZ-1/", "").isEmpty());
}
