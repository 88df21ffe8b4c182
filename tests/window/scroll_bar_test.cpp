#include "platform/window/scroll_bar.h"

#include <gtest/gtest.h>

#include <vector>

using namespace orrery::window;

namespace {

// A horizontal bar 217 px long: two 17 px arrows and a 183 px track.
ScrollBar horizontalBar(int32_t max, int32_t large) {
    ScrollBar b(Orientation::Horizontal);
    b.setGeometry({0, 100, 217, kScrollBarThickness});
    b.setMax(max);
    b.setLargeChange(large);
    b.setVisible(true);
    return b;
}

}  // namespace

TEST(ScrollBarValues, ClampedToRangeAndSixteenBits) {
    ScrollBar b(Orientation::Vertical);
    EXPECT_TRUE(b.setMax(100) == false);  // value 0 stays
    EXPECT_TRUE(b.setValue(150));
    EXPECT_EQ(b.value(), 100);
    EXPECT_TRUE(b.setValue(-5));
    EXPECT_EQ(b.value(), 0);
    b.setValue(80);
    EXPECT_TRUE(b.setMax(50));  // lowering the maximum pulls the value along
    EXPECT_EQ(b.value(), 50);
    b.setMax(100000);
    EXPECT_EQ(b.max(), 32767);
    EXPECT_FALSE(b.setValue(b.value()));
}

TEST(ScrollBarValues, ChangesBelowOneAreIgnored) {
    ScrollBar b(Orientation::Horizontal);
    b.setSmallChange(5);
    b.setLargeChange(40);
    b.setSmallChange(0);
    b.setLargeChange(-3);
    EXPECT_EQ(b.smallChange(), 5);
    EXPECT_EQ(b.largeChange(), 40);
}

TEST(ScrollBarValues, LineAndPageStepsStopAtTheEnds) {
    ScrollBar b = horizontalBar(100, 30);
    b.setSmallChange(7);
    b.setValue(95);
    EXPECT_EQ(b.valueAfter(SB_LINEDOWN), 100);
    EXPECT_EQ(b.valueAfter(SB_LINEUP), 88);
    EXPECT_EQ(b.valueAfter(SB_PAGEUP), 65);
    EXPECT_EQ(b.valueAfter(SB_PAGEDOWN), 100);
    EXPECT_EQ(b.valueAfter(SB_TOP), 0);
    EXPECT_EQ(b.valueAfter(SB_BOTTOM), 100);
    EXPECT_EQ(b.valueAfter(SB_ENDSCROLL), 95);
    b.setValue(3);
    EXPECT_EQ(b.valueAfter(SB_PAGEUP), 0);
}

TEST(ScrollBarValues, ReversedRangeRunsBackwards) {
    ScrollBar b(Orientation::Horizontal);
    b.setMin(100);
    b.setMax(0);
    EXPECT_EQ(b.value(), 0);  // already inside [0, 100]
    b.setValue(50);
    EXPECT_EQ(b.valueAfter(SB_LINEDOWN), 49);
    EXPECT_EQ(b.valueAfter(SB_LINEUP), 51);
}

TEST(ScrollBarThumb, LengthFollowsTheLargeChange) {
    // track 183; page 100 of range 100 + page 100: half the track.
    ScrollBar b = horizontalBar(100, 100);
    ASSERT_TRUE(b.hasThumb());
    EXPECT_EQ(b.layout().thumb.width, 91);
    EXPECT_EQ(b.layout().thumb.height, kScrollBarThickness);
    // A tiny page gives the minimum thumb.
    ScrollBar small = horizontalBar(30000, 1);
    EXPECT_EQ(small.layout().thumb.width, kMinThumbLength);
}

TEST(ScrollBarThumb, PositionFollowsTheValue) {
    ScrollBar b = horizontalBar(100, 100);  // thumb 91, room 92
    EXPECT_EQ(b.thumbStart(), 17);
    b.setValue(100);
    EXPECT_EQ(b.thumbStart(), 17 + 92);
    EXPECT_EQ(b.thumbStart() + b.layout().thumb.width, 217 - 17);  // meets the forward arrow
    b.setValue(50);
    EXPECT_EQ(b.thumbStart(), 17 + 46);
    // And back: the thumb's leading edge gives the value.
    EXPECT_EQ(b.valueForThumbStart(17 + 46), 50);
    EXPECT_EQ(b.valueForThumbStart(0), 0);
    EXPECT_EQ(b.valueForThumbStart(1000), 100);
}

TEST(ScrollBarThumb, NoThumbWithoutRangeOrWhenDisabledOrTooShort) {
    ScrollBar noRange = horizontalBar(0, 10);
    EXPECT_FALSE(noRange.hasThumb());
    EXPECT_EQ(noRange.layout().thumb.width, 0);
    ScrollBar disabled = horizontalBar(100, 10);
    disabled.setEnabled(false);
    EXPECT_FALSE(disabled.hasThumb());
    ScrollBar shortBar = horizontalBar(100, 10);
    shortBar.setGeometry({0, 0, 40, kScrollBarThickness});  // track of 6
    EXPECT_FALSE(shortBar.hasThumb());
}

TEST(ScrollBarLayout, ArrowsShareAShortBar) {
    ScrollBar b(Orientation::Vertical);
    b.setGeometry({0, 0, kScrollBarThickness, 20});
    const ScrollBar::Layout l = b.layout();
    EXPECT_EQ(l.arrowBack.height, 10);
    EXPECT_EQ(l.arrowForward.y, 10);
    EXPECT_EQ(l.track.height, 0);
}

TEST(ScrollBarHitTest, PartsAlongTheBar) {
    ScrollBar b = horizontalBar(100, 100);
    b.setValue(50);  // thumb at [63, 154)
    EXPECT_EQ(b.hitTest(0, 5), ScrollPart::ArrowBack);
    EXPECT_EQ(b.hitTest(16, 5), ScrollPart::ArrowBack);
    EXPECT_EQ(b.hitTest(17, 5), ScrollPart::TrackBack);
    EXPECT_EQ(b.hitTest(62, 5), ScrollPart::TrackBack);
    EXPECT_EQ(b.hitTest(63, 5), ScrollPart::Thumb);
    EXPECT_EQ(b.hitTest(153, 5), ScrollPart::Thumb);
    EXPECT_EQ(b.hitTest(154, 5), ScrollPart::TrackForward);
    EXPECT_EQ(b.hitTest(200, 5), ScrollPart::ArrowForward);
    EXPECT_EQ(b.hitTest(216, 16), ScrollPart::ArrowForward);
    EXPECT_EQ(b.hitTest(217, 5), ScrollPart::None);
    EXPECT_EQ(b.hitTest(5, 17), ScrollPart::None);
    EXPECT_EQ(b.hitTest(-1, 5), ScrollPart::None);
}

TEST(ScrollBarHitTest, VerticalBarUsesY) {
    ScrollBar b(Orientation::Vertical);
    b.setGeometry({300, 0, kScrollBarThickness, 217});
    b.setMax(100);
    b.setLargeChange(100);
    EXPECT_EQ(b.hitTest(5, 3), ScrollPart::ArrowBack);
    EXPECT_EQ(b.hitTest(5, 20), ScrollPart::Thumb);
    EXPECT_EQ(b.hitTest(5, 150), ScrollPart::TrackForward);
    EXPECT_EQ(b.hitTest(5, 210), ScrollPart::ArrowForward);
}

TEST(ScrollBarDraw, ArrowsTrackAndThumbInTheirPlaces) {
    std::vector<uint32_t> px(300 * 140, 0x12345678u);
    orrery::gdiplus::Surface s{px.data(), 300, 140, 300 * 4};
    ScrollBar b = horizontalBar(100, 100);  // at y 100
    b.setValue(100);                          // thumb at [109, 200)
    b.draw(s, 10, 20);
    auto at = [&](int x, int y) { return px[static_cast<size_t>(y) * 300 + x]; };
    const int y = 20 + 100 + 8;
    EXPECT_EQ(at(10 + 40, y), 0xFFC8C8C8u);   // track
    EXPECT_EQ(at(10 + 150, y), 0xFFF0F0F0u);  // thumb face
    EXPECT_EQ(at(10 + 8, y), 0xFF000000u);    // the left arrow's glyph
    EXPECT_EQ(at(9, y), 0x12345678u);         // nothing outside the bar
    EXPECT_EQ(at(10 + 217, y), 0x12345678u);
    EXPECT_EQ(at(50, 20 + 99), 0x12345678u);
    // A hidden bar draws nothing.
    std::vector<uint32_t> before = px;
    b.setVisible(false);
    b.draw(s, 0, 0);
    EXPECT_EQ(px, before);
}
