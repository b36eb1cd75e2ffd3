#include "shell/ViewRules.h"

#include <gtest/gtest.h>

using namespace kz;

TEST(ViewRules, ZoomStepsAndTheirEnabling) {
    int p = kZoomStart;
    EXPECT_FALSE(ZoomOutEnabled(p));
    std::vector<int> inwards;
    while (ZoomInEnabled(p))
        inwards.push_back(p = ZoomInStep(p));
    EXPECT_EQ(inwards, (std::vector<int>{80, 60, 40, 20}));
    EXPECT_EQ(ZoomInStep(20), 20) << "a disabled step changes nothing";

    std::vector<int> outwards;
    while (ZoomOutEnabled(p))
        outwards.push_back(p = ZoomOutStep(p));
    EXPECT_EQ(outwards, (std::vector<int>{40, 60, 80, 0}));
    EXPECT_EQ(ZoomOutStep(0), 0);
    EXPECT_EQ(ZoomOutStep(100), 100);

    // From the whole movie inwards starts over at 100.
    EXPECT_TRUE(ZoomInEnabled(0));
    EXPECT_EQ(ZoomInStep(0), 80);
}

TEST(ViewRules, SwfLinksArePlayedInAnyCase) {
    EXPECT_TRUE(IsSwfLinkToPlay("http://host/dir/movie.swf"));
    EXPECT_TRUE(IsSwfLinkToPlay("http://host/dir/MOVIE.SWF"));
    EXPECT_TRUE(IsSwfLinkToPlay("file:///home/u/a.b.Swf"));
    EXPECT_FALSE(IsSwfLinkToPlay("about:blank"));
    EXPECT_FALSE(IsSwfLinkToPlay("http://host/bindex.html"));
    EXPECT_FALSE(IsSwfLinkToPlay("http://host/page.html"));
    EXPECT_FALSE(IsSwfLinkToPlay("http://host/swf"));
    EXPECT_FALSE(IsSwfLinkToPlay("http://host/movie.swf?x=1")) << "the query is part of the name";
    EXPECT_FALSE(IsSwfLinkToPlay("http://host.swf/"));
    EXPECT_FALSE(IsSwfLinkToPlay(""));
    // The two fixed comparisons are case-sensitive.
    EXPECT_FALSE(IsSwfLinkToPlay("ABOUT:BLANK"));
    EXPECT_FALSE(IsSwfLinkToPlay("http://host/BINDEX.HTML"));
}

TEST(ViewRules, FirstEraseIsWhiteThenTheBackgroundColour) {
    const std::uint32_t red = 0x0000FF; // COLORREF: 0x00BBGGRR
    EXPECT_EQ(EraseColour(true, red), QColor(Qt::white));
    EXPECT_EQ(EraseColour(false, red), QColor(255, 0, 0));
    EXPECT_EQ(EraseColour(false, 0), QColor(0, 0, 0));
}

TEST(ViewRules, ColourRefsAndTheirInverse) {
    EXPECT_EQ(FromColorRef(0x00336699), QColor(0x99, 0x66, 0x33));
    EXPECT_EQ(ToColorRef(QColor(0x99, 0x66, 0x33)), 0x00336699u);
    EXPECT_EQ(InvertColorRef(0x00336699), 0x00CC9966u);
    EXPECT_EQ(InvertColorRef(0xFF000000), 0x00FFFFFFu) << "only the 24 colour bits";
    EXPECT_EQ(TrayTip(QString(300, 'x')).size(), 127);
    EXPECT_EQ(TrayTip("Vobi"), "Vobi");
}
