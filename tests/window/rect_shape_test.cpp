#include "platform/window/rect_shape.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace orrery::window;

namespace {

constexpr int kW = 40;
constexpr int kH = 30;

struct Canvas {
    explicit Canvas(uint32_t rgb) : px(kW * kH, 0xFF000000u | rgb) {}
    orrery::gdiplus::Surface surface() { return {px.data(), kW, kH, kW * 4}; }
    uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * kW + x] & 0xFFFFFFu; }
    uint32_t alpha(int x, int y) const { return px[static_cast<size_t>(y) * kW + x] >> 24; }
    std::vector<uint32_t> px;
};

RectShape shape(float l, float t, float w, float h, int32_t mode, uint32_t colorRef) {
    RectShape r;
    r.move(l, t, w, h);
    r.setDrawMode(mode);
    r.setBorderColor(colorRef);
    return r;
}

const Rect kAll{0, 0, kW, kH};

}  // namespace

TEST(DrawMode, TruthTablesOnKnownColours) {
    const uint32_t d = 0x00FF00F0, p = 0x0F0FF0F0;
    const uint32_t pen = p & 0xFFFFFF;
    EXPECT_EQ(applyDrawMode(R2_BLACK, d, pen), 0u);
    EXPECT_EQ(applyDrawMode(R2_WHITE, d, pen), 0xFFFFFFu);
    EXPECT_EQ(applyDrawMode(R2_NOP, d, pen), d);
    EXPECT_EQ(applyDrawMode(R2_NOT, d, pen), ~d & 0xFFFFFFu);
    EXPECT_EQ(applyDrawMode(R2_COPYPEN, d, pen), pen);
    EXPECT_EQ(applyDrawMode(R2_NOTCOPYPEN, d, pen), ~pen & 0xFFFFFFu);
    EXPECT_EQ(applyDrawMode(R2_XORPEN, d, pen), (d ^ pen) & 0xFFFFFFu);
    EXPECT_EQ(applyDrawMode(R2_NOTXORPEN, d, pen), ~(d ^ pen) & 0xFFFFFFu);
    EXPECT_EQ(applyDrawMode(R2_MASKPEN, d, pen), d & pen);
    EXPECT_EQ(applyDrawMode(R2_NOTMASKPEN, d, pen), ~(d & pen) & 0xFFFFFFu);
    EXPECT_EQ(applyDrawMode(R2_MERGEPEN, d, pen), (d | pen) & 0xFFFFFFu);
    EXPECT_EQ(applyDrawMode(R2_NOTMERGEPEN, d, pen), ~(d | pen) & 0xFFFFFFu);
    EXPECT_EQ(applyDrawMode(R2_MASKNOTPEN, d, pen), d & ~pen & 0xFFFFFFu);
    EXPECT_EQ(applyDrawMode(R2_MASKPENNOT, d, pen), pen & ~d & 0xFFFFFFu);
    EXPECT_EQ(applyDrawMode(R2_MERGENOTPEN, d, pen), (d | ~pen) & 0xFFFFFFu);
    EXPECT_EQ(applyDrawMode(R2_MERGEPENNOT, d, pen), (pen | ~d) & 0xFFFFFFu);
    EXPECT_EQ(applyDrawMode(99, d, pen), d);
}

TEST(DrawMode, SixteenModesFollowTheFourBitTable) {
    // Mode m is the truth table m - 1 over (pen bit, destination bit).
    for (int32_t m = 1; m <= 16; ++m) {
        for (uint32_t pbit = 0; pbit < 2; ++pbit) {
            for (uint32_t dbit = 0; dbit < 2; ++dbit) {
                const uint32_t expected = ((m - 1) >> (pbit * 2 + dbit)) & 1;
                const uint32_t got = applyDrawMode(m, dbit ? 0xFFFFFF : 0, pbit ? 0xFFFFFF : 0);
                EXPECT_EQ(got, expected ? 0xFFFFFFu : 0u) << "mode " << m;
            }
        }
    }
}

TEST(RectShapeDraw, CopyPenPaintsThePenColourOnTheOutlineOnly) {
    Canvas c(0x808080);
    auto s = c.surface();
    shape(5, 4, 10, 8, R2_COPYPEN, 0x0000FF /* red as 0x00BBGGRR */).draw(s, 0, 0, kAll);
    EXPECT_EQ(c.at(5, 4), 0xFF0000u);
    EXPECT_EQ(c.at(14, 4), 0xFF0000u);
    EXPECT_EQ(c.at(14, 11), 0xFF0000u);
    EXPECT_EQ(c.at(5, 11), 0xFF0000u);
    EXPECT_EQ(c.at(10, 4), 0xFF0000u);
    EXPECT_EQ(c.at(5, 8), 0xFF0000u);
    EXPECT_EQ(c.at(10, 8), 0x808080u);  // inside untouched
    EXPECT_EQ(c.at(15, 4), 0x808080u);  // right of the outline
    EXPECT_EQ(c.at(5, 12), 0x808080u);  // below it
    EXPECT_EQ(c.alpha(5, 4), 255u);
}

TEST(RectShapeDraw, NotInvertsAndNopLeaves) {
    Canvas c(0x123456);
    auto s = c.surface();
    shape(2, 2, 6, 6, R2_NOT, 0).draw(s, 0, 0, kAll);
    EXPECT_EQ(c.at(2, 2), 0xEDCBA9u);
    EXPECT_EQ(c.at(4, 4), 0x123456u);
    Canvas n(0x123456);
    auto ns = n.surface();
    shape(2, 2, 6, 6, R2_NOP, 0xFFFFFF).draw(ns, 0, 0, kAll);
    EXPECT_EQ(n.px, Canvas(0x123456).px);
}

TEST(RectShapeDraw, XorTwiceRestoresBecauseEachPixelIsTouchedOnce) {
    Canvas c(0x3366CC);
    auto s = c.surface();
    RectShape r = shape(3, 3, 12, 9, R2_XORPEN, 0x00FFFF);
    r.setBorderWidth(3);
    r.draw(s, 0, 0, kAll);
    EXPECT_EQ(c.at(3, 3), 0x3366CCu ^ 0xFFFF00u);  // corner pixel changed exactly once
    EXPECT_EQ(c.at(5, 5), 0x3366CCu ^ 0xFFFF00u);  // third ring
    EXPECT_EQ(c.at(6, 6), 0x3366CCu);              // inside the border
    r.draw(s, 0, 0, kAll);
    EXPECT_EQ(c.px, Canvas(0x3366CC).px);
}

TEST(RectShapeDraw, DashedStylesFollowThePattern) {
    Canvas c(0xFFFFFF);
    auto s = c.surface();
    RectShape r = shape(0, 0, 40, 10, R2_COPYPEN, 0);
    r.setBorderStyle(BorderStyleDot);  // 3 on, 3 off
    r.draw(s, 0, 0, kAll);
    EXPECT_EQ(c.at(0, 0), 0u);
    EXPECT_EQ(c.at(2, 0), 0u);
    EXPECT_EQ(c.at(3, 0), 0xFFFFFFu);
    EXPECT_EQ(c.at(5, 0), 0xFFFFFFu);
    EXPECT_EQ(c.at(6, 0), 0u);
    // Dash: 18 on, 6 off.
    Canvas d(0xFFFFFF);
    auto ds = d.surface();
    r.setBorderStyle(BorderStyleDash);
    r.draw(ds, 0, 0, kAll);
    EXPECT_EQ(d.at(17, 0), 0u);
    EXPECT_EQ(d.at(18, 0), 0xFFFFFFu);
    EXPECT_EQ(d.at(23, 0), 0xFFFFFFu);
    EXPECT_EQ(d.at(24, 0), 0u);
    // A wide border is solid whatever its style.
    Canvas w(0xFFFFFF);
    auto ws = w.surface();
    r.setBorderWidth(2);
    r.draw(ws, 0, 0, kAll);
    EXPECT_EQ(w.at(20, 0), 0u);
    EXPECT_EQ(w.at(20, 1), 0u);
    EXPECT_EQ(w.at(20, 2), 0xFFFFFFu);
}

TEST(RectShapeDraw, TransparentHiddenAndClearedShapesDrawNothing) {
    const Canvas blank(0x445566);
    Canvas c(0x445566);
    auto s = c.surface();
    RectShape r = shape(1, 1, 10, 10, R2_BLACK, 0);
    r.setBorderStyle(BorderStyleTransparent);
    r.draw(s, 0, 0, kAll);
    r.setBorderStyle(BorderStyleSolid);
    r.setVisible(false);
    r.draw(s, 0, 0, kAll);
    RectShape cleared;  // (-1, -1) 1 x 1
    cleared.setDrawMode(R2_BLACK);
    cleared.draw(s, 0, 0, kAll);
    EXPECT_EQ(c.px, blank.px);
}

TEST(RectShapeDraw, ClippedToTheGivenAreaAndOffsetByTheOrigin) {
    Canvas c(0xFFFFFF);
    auto s = c.surface();
    // Client origin at (2, 2); clip to the client area [2, 38) x [2, 28).
    shape(-5, -5, 60, 60, R2_BLACK, 0).draw(s, 2, 2, Rect{2, 2, 36, 26});
    EXPECT_EQ(c.px, Canvas(0xFFFFFF).px);  // the outline lies outside the clip
    shape(0, 0, 5, 5, R2_BLACK, 0).draw(s, 2, 2, Rect{2, 2, 36, 26});
    EXPECT_EQ(c.at(2, 2), 0u);
    EXPECT_EQ(c.at(6, 6), 0u);
    EXPECT_EQ(c.at(1, 1), 0xFFFFFFu);
}

TEST(RectShapeDraw, HugeOutlinesCostOnlyTheirVisiblePart) {
    // A dotted outline a billion pixels wide: the top row keeps the pattern
    // from the corner and the walk ends at once.
    Canvas c(0xFFFFFF);
    auto s = c.surface();
    RectShape r = shape(0, 0, 1e9f, 1e9f, R2_COPYPEN, 0);
    r.setBorderStyle(BorderStyleDot);
    r.draw(s, 0, 0, kAll);
    EXPECT_EQ(c.at(0, 0), 0u);
    EXPECT_EQ(c.at(3, 0), 0xFFFFFFu);
    EXPECT_EQ(c.at(39, 0), 0xFFFFFFu);  // 39 = 6 * 6 + 3: off
    EXPECT_EQ(c.at(36, 0), 0u);
    EXPECT_EQ(c.at(20, 20), 0xFFFFFFu);
    // A border wider than the target covers all of it.
    RectShape wide = shape(-5, -5, 3e9f, 3e9f, R2_COPYPEN, 0);
    wide.setBorderWidth(1 << 30);
    wide.draw(s, 0, 0, kAll);
    EXPECT_EQ(c.px, Canvas(0).px);
    // Coordinates that are not numbers count as 0: here both sides of the
    // outline, which leaves it empty.
    RectShape nan = shape(std::nanf(""), 2, 3, 3, R2_WHITE, 0);
    EXPECT_EQ(nan.outline(), (Rect{0, 2, 0, 3}));
    nan.draw(s, 0, 0, kAll);
    EXPECT_EQ(c.px, Canvas(0).px);
}

TEST(RectShapeGeometry, OutlineRoundsHalfToEven) {
    RectShape r;
    r.move(2.5f, 3.5f, 10.0f, 4.0f);
    const Rect o = r.outline();
    EXPECT_EQ(o.x, 2);  // 2.5 -> 2
    EXPECT_EQ(o.y, 4);  // 3.5 -> 4
    EXPECT_EQ(o.width, 10);   // 12.5 -> 12
    EXPECT_EQ(o.height, 4);   // 7.5 -> 8
    r.setBorderWidth(0);
    EXPECT_EQ(r.borderWidth(), 1);
    EXPECT_EQ(bgrToRgb(0x00112233), 0x332211u);
}
