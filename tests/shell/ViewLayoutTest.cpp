#include "shell/ViewLayout.h"

#include <gtest/gtest.h>

using namespace kz;

namespace {

ViewLayoutInput Windowed(int W, int H, int state = kStateStopped, QSize movie = {}) {
    ViewLayoutInput in;
    in.client = QSize(W, H);
    in.infoHeight = 20;
    in.stripHeightBefore = 12;
    in.backImage = QSize(48, 24);
    in.playState = state;
    in.movie = movie;
    return in;
}

} // namespace

TEST(ViewLayout, WindowedStoppedShowsInfoPanelsAndBrowserOverTheControl) {
    const ViewLayout l = LayOutView(Windowed(800, 600));
    EXPECT_EQ(l.info, QRect(0, 0, 800, 20));
    EXPECT_TRUE(l.infoVisible);
    EXPECT_FALSE(l.backVisible);
    EXPECT_EQ(l.controller, QRect(0, 600 - 76, 800, 76));
    EXPECT_EQ(l.strip, QRect(0, 600 - 88, 800, 12));
    EXPECT_TRUE(l.panelsVisible);
    EXPECT_EQ(l.browser, QRect(0, 20, 800, 600 - 88 - 20));
    // H - T - T/2 - 2S = 600 - 20 - 10 - 24
    EXPECT_EQ(l.flash, QRect(0, 20, 800, 546));
}

TEST(ViewLayout, WindowedPlayingFitsTheMovieAboveThePanels) {
    // Available height A = 600 - 20 - 10 - 76 - 12 = 482 < W: width follows the height.
    ViewLayout l = LayOutView(Windowed(800, 600, kStatePlaying, QSize(550, 400)));
    EXPECT_EQ(l.browser, QRect(0, 0, 0, 0));
    const int width = 550 * 482 / 400; // 662
    EXPECT_EQ(l.flash, QRect((800 - width) / 2, 20, width, 482));

    // A wide movie is capped at the client width (and keeps the full available height).
    l = LayOutView(Windowed(800, 600, kStatePlaying, QSize(2000, 400)));
    EXPECT_EQ(l.flash, QRect(0, 20, 800, 482));

    // A narrow, tall window (A >= W): the height follows the width, centred vertically.
    l = LayOutView(Windowed(300, 800, kStatePlaying, QSize(550, 400)));
    const int available = 800 - 20 - 10 - 88; // 682
    const int height = 300 * 400 / 550;       // 218
    EXPECT_EQ(l.flash, QRect(0, 20 + (available - height) / 2, 300, height));
    l = LayOutView(Windowed(300, 800, kStatePaused, QSize(100, 2000)));
    EXPECT_EQ(l.flash, QRect(0, 20, 300, available)) << "capped at the available height";
}

TEST(ViewLayout, WindowedWithoutAMovieSizeOrRoomNeverDividesByZero) {
    ViewLayout l = LayOutView(Windowed(800, 600, kStatePlaying, QSize(0, 0)));
    EXPECT_EQ(l.flash.width(), 800);
    l = LayOutView(Windowed(800, 600, kStatePlaying, QSize(550, -5)));
    EXPECT_GE(l.flash.height(), 0);
    l = LayOutView(Windowed(40, 50, kStatePlaying, QSize(550, 400)));
    EXPECT_GE(l.flash.width(), 0);
    EXPECT_GE(l.flash.height(), 0);
    EXPECT_GE(l.browser.height(), 0);
    l = LayOutView(Windowed(0, 0));
    EXPECT_GE(l.flash.height(), 0);
}

TEST(ViewLayout, FullScreenFitKeepsProportionsOnlyBeyondThreeQuarters) {
    const QSize screen(1280, 800);
    // 640 x 480 -> ry (1.667) <= rx (2): width 800*640/480 = 1066 > 960: pillar box.
    EXPECT_EQ(FullScreenFit(screen, QSize(640, 480)), QRect((1280 - 1066) / 2, 0, 1066, 800));
    // 1000 x 300 -> ry > rx: height 1280*300/1000 = 384, not above 600: whole screen.
    EXPECT_EQ(FullScreenFit(screen, QSize(1000, 300)), QRect(0, 0, 1280, 800));
    // 1200 x 700 -> ry (1.143) > rx (1.067): height 1280*700/1200 = 746 > 600: letter box.
    EXPECT_EQ(FullScreenFit(screen, QSize(1200, 700)), QRect(0, (800 - 746) / 2, 1280, 746));
    // A movie larger than the screen, or of no size, fills it.
    EXPECT_EQ(FullScreenFit(screen, QSize(1920, 1080)), QRect(0, 0, 1280, 800));
    EXPECT_EQ(FullScreenFit(screen, QSize(1280, 400)), QRect(0, 0, 1280, 800));
    EXPECT_EQ(FullScreenFit(screen, QSize(0, 400)), QRect(0, 0, 1280, 800));
    // A small movie whose fitted width is at most three quarters fills it too.
    EXPECT_EQ(FullScreenFit(screen, QSize(100, 200)), QRect(0, 0, 1280, 800));
}

TEST(ViewLayout, ScreenModesHideTheWindowParts) {
    ViewLayoutInput in = Windowed(1280, 800, kStatePlaying, QSize(640, 480));
    in.fullScreen = true;
    ViewLayout l = LayOutView(in);
    EXPECT_FALSE(l.infoVisible);
    EXPECT_FALSE(l.panelsVisible);
    EXPECT_FALSE(l.backVisible);
    EXPECT_EQ(l.browser, QRect(0, 0, 0, 0));
    EXPECT_EQ(l.flash, FullScreenFit(QSize(1280, 800), QSize(640, 480)));

    in.gameMode = true;
    l = LayOutView(in);
    EXPECT_TRUE(l.backVisible);
    EXPECT_EQ(l.back, QRect(1280 - 48, 0, 48, 24));

    in.fullScreen = false;
    in.actualSize = true;
    l = LayOutView(in);
    EXPECT_EQ(l.flash, QRect(320, 160, 640, 480)) << "own size, centred";
    EXPECT_TRUE(l.backVisible);
    in.movie = QSize(1280, 700); // not smaller than the screen
    EXPECT_EQ(LayOutView(in).flash, QRect(0, 0, 1280, 800));

    in.playState = kStateStopped;
    in.movie = QSize(640, 480);
    EXPECT_EQ(LayOutView(in).flash, QRect(0, 0, 1280, 800)) << "stopped: the whole area";
    in.actualSize = false;
    in.fullScreen = true;
    EXPECT_EQ(LayOutView(in).flash, QRect(0, 0, 1280, 800));
    EXPECT_EQ(LayOutView(in).browser, QRect(0, 0, 0, 0)) << "no home page in full screen";
}
