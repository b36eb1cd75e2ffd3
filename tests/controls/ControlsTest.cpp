// The two-image button and the skinned trackbar, drawn offscreen.

#include "controls/MacSliderCtrl.h"
#include "controls/MyBitmapButton.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>
#include <utility>

using namespace kz;

namespace {
QPixmap Solid(QColor c) {
    QPixmap p(48, 40);
    p.fill(c);
    return p;
}
QRgb Centre(QWidget &w) {
    const QImage img = w.grab().toImage();
    return img.pixel(img.width() / 2, img.height() / 2);
}
} // namespace

TEST(Controls, ButtonDrawsUpImageAndSelImageWhilePressed) {
    CMyBitmapButton b;
    b.SetImages(Solid(Qt::red), Solid(Qt::blue));
    b.resize(48, 40);
    EXPECT_EQ(QColor(Centre(b)), QColor(Qt::blue));
    b.setDown(true);
    EXPECT_EQ(QColor(Centre(b)), QColor(Qt::red));
    b.setDown(false);
    QSignalSpy clicked(&b, &QAbstractButton::clicked);
    QTest::mouseClick(&b, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);
}

TEST(Controls, ButtonLoadsTheShippedSkinsOrFallsBackToItsCaption) {
    CMyBitmapButton b;
    const QString res = test::BinDir() + "/res/";
    if (QFile::exists(res + "playup.jpg")) {
        EXPECT_TRUE(b.LoadImages(res + "playsel.jpg", res + "playup.jpg"));
        EXPECT_EQ(b.sizeHint(), QSize(48, 40));
    }
    CMyBitmapButton none;
    EXPECT_FALSE(none.LoadImages("/nonexistent/a.jpg", "/nonexistent/b.jpg"));
    none.setText("Play");
    none.resize(48, 40);
    EXPECT_FALSE(none.grab().isNull()) << "draws its caption instead";
}

TEST(Controls, TrackbarJumpsToAClickAndReportsTheEndOfADrag) {
    CMacSliderCtrl s;
    s.resize(216, 28);
    s.setRange(0, 100);
    s.SetSelection(75, 25);
    EXPECT_EQ(s.SelectionStart(), 25);
    EXPECT_EQ(s.SelectionEnd(), 75);
    s.SetColour(0xFF80FF);
    s.SetSelectionColour(0xFF8000);
    s.SetChannelColour(0xAD9592);
    const QRect ch = s.ChannelRect();
    EXPECT_EQ(ch.left(), 8);
    EXPECT_EQ(ch.width(), 200);
    QSignalSpy scrolled(&s, &CMacSliderCtrl::Scrolled);
    QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(ch.left() + 100, 14));
    ASSERT_EQ(scrolled.count(), 1);
    EXPECT_EQ(scrolled.at(0).at(0).toInt(), 50);
    EXPECT_EQ(s.value(), 50);
    // Beyond the ends: clamped.
    QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(1, 14));
    EXPECT_EQ(s.value(), 0);
    QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(215, 14));
    EXPECT_EQ(s.value(), 100);
    // A program moving the thumb is not a user's scroll.
    s.setValue(10);
    EXPECT_EQ(scrolled.count(), 3);
    // An empty range and a huge one draw without trouble.
    s.setRange(0, 0);
    EXPECT_FALSE(s.grab().isNull());
    // Whatever range a movie reports, up to the whole int range.
    for (auto [low, high] : {std::pair{0, 2000000000}, std::pair{0, INT_MAX},
                             std::pair{INT_MIN, INT_MAX}, std::pair{INT_MAX - 1, INT_MAX}}) {
        s.setRange(low, high);
        s.SetTickFreq(1);
        EXPECT_FALSE(s.grab().isNull()) << low << ".." << high;
        // Clicking either end of the channel reaches that end of the range.
        QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(s.ChannelRect().left(), 14));
        EXPECT_EQ(s.value(), low);
        QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(s.ChannelRect().right() + 1, 14));
        EXPECT_EQ(s.value(), high);
    }
    EXPECT_EQ(ColourFromRef(0xAD9592), QColor(0x92, 0x95, 0xAD));
}
