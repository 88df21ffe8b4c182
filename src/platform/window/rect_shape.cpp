#include "platform/window/rect_shape.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace orrery::window {

namespace {

// On/off run lengths of the platform's dashed one-pixel pens.
constexpr int kDash[] = {18, 6};
constexpr int kDot[] = {3, 3};
constexpr int kDashDot[] = {9, 6, 3, 6};
constexpr int kDashDotDot[] = {9, 3, 3, 3, 3, 3};

std::span<const int> dashPattern(int32_t style) {
    switch (style) {
        case BorderStyleDash: return kDash;
        case BorderStyleDot: return kDot;
        case BorderStyleDashDot: return kDashDot;
        case BorderStyleDashDotDot: return kDashDotDot;
        default: return {};
    }
}

// Rounds half to even, as every float-to-integer conversion of the control.
int roundCoord(float v) {
    if (std::isnan(v)) return 0;
    const double clamped = std::clamp(static_cast<double>(v), -1e9, 1e9);
    return static_cast<int>(std::nearbyint(clamped));
}

// Applies the pen to the pixels of one target that lie inside a clip. Work
// is limited to the visible part, so a huge outline costs no more than the
// target's size.
class PenTarget {
public:
    PenTarget(const gdiplus::Surface& s, int ox, int oy, const Rect& clip, int32_t mode, uint32_t pen)
        : s_(s), mode_(mode), pen_(pen) {
        // The visible area in client coordinates.
        vx0_ = std::max<int64_t>(clip.x, 0) - ox;
        vy0_ = std::max<int64_t>(clip.y, 0) - oy;
        vx1_ = std::min<int64_t>(int64_t{clip.x} + clip.width, s.width) - ox;
        vy1_ = std::min<int64_t>(int64_t{clip.y} + clip.height, s.height) - oy;
        ox_ = ox;
        oy_ = oy;
    }
    bool visible(int64_t x, int64_t y) const { return x >= vx0_ && y >= vy0_ && x < vx1_ && y < vy1_; }
    // Client pixel (x, y).
    void plot(int64_t x, int64_t y) const {
        if (!visible(x, y)) return;
        uint32_t* row = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(s_.pixels) +
                                                    (y + oy_) * s_.stride);
        uint32_t& p = row[x + ox_];
        p = 0xFF000000u | applyDrawMode(mode_, p & 0xFFFFFFu, pen_);
    }
    void span(int64_t x0, int64_t x1, int64_t y) const {
        if (y < vy0_ || y >= vy1_) return;
        for (int64_t x = std::max(x0, vx0_); x < std::min(x1, vx1_); ++x) plot(x, y);
    }
    int64_t rowBegin(int64_t y) const { return std::max(y, vy0_); }
    int64_t rowEnd(int64_t y) const { return std::min(y, vy1_); }
    int64_t colBegin(int64_t x) const { return std::max(x, vx0_); }
    int64_t colEnd(int64_t x) const { return std::min(x, vx1_); }

private:
    const gdiplus::Surface& s_;
    int64_t ox_ = 0, oy_ = 0;
    int32_t mode_;
    uint32_t pen_;
    int64_t vx0_ = 0, vy0_ = 0, vx1_ = 0, vy1_ = 0;
};

void drawSolid(const PenTarget& pen, const Rect& r, int64_t w) {
    const int64_t x0 = r.x, y0 = r.y, x1 = x0 + r.width, y1 = y0 + r.height;
    for (int64_t y = pen.rowBegin(y0); y < pen.rowEnd(y1); ++y) {
        if (y < y0 + w || y >= y1 - w) {
            pen.span(x0, x1, y);
        } else {
            pen.span(x0, std::min(x0 + w, x1), y);
            pen.span(std::max(x1 - w, x0 + w), x1, y);
        }
    }
}

// The one-pixel outline is walked clockwise from the top-left corner, each
// pixel once, and pixel k of the walk is drawn when k falls in an "on" run
// of the pattern. Only the visible part of each side is visited.
class DashWalk {
public:
    DashWalk(const PenTarget& pen, std::span<const int> pattern) : pen_(pen), pattern_(pattern) {
        for (int run : pattern) period_ += run;
    }
    void plot(int64_t k, int64_t x, int64_t y) const {
        int64_t at = k % period_;
        for (size_t i = 0; i < pattern_.size(); ++i) {
            if (at < pattern_[i]) {
                if (i % 2 == 0) pen_.plot(x, y);
                return;
            }
            at -= pattern_[i];
        }
    }
    void draw(const Rect& r) const {
        const int64_t w = r.width, h = r.height;
        const int64_t x0 = r.x, y0 = r.y, x1 = x0 + w - 1, y1 = y0 + h - 1;
        // Top, left to right: k = x - x0.
        for (int64_t x = pen_.colBegin(x0); x < pen_.colEnd(x1 + 1); ++x) plot(x - x0, x, y0);
        // Right, downwards from the second row: k = w + (y - y0 - 1).
        for (int64_t y = pen_.rowBegin(y0 + 1); y < pen_.rowEnd(y1 + 1); ++y) plot(w + y - y0 - 1, x1, y);
        // Bottom, right to left from the second column from the right.
        const int64_t bottomBase = w + h - 1;
        if (h > 1)
            for (int64_t x = pen_.colBegin(x0); x < pen_.colEnd(x1); ++x) plot(bottomBase + x1 - 1 - x, x, y1);
        // Left, upwards, between the corners.
        const int64_t leftBase = bottomBase + w - 1;
        if (w > 1)
            for (int64_t y = pen_.rowBegin(y0 + 1); y < pen_.rowEnd(y1); ++y) plot(leftBase + y1 - 1 - y, x0, y);
    }

private:
    const PenTarget& pen_;
    std::span<const int> pattern_;
    int64_t period_ = 0;
};

}  // namespace

uint32_t applyDrawMode(int32_t mode, uint32_t d, uint32_t p) {
    uint32_t out = d;
    switch (mode) {
        case R2_BLACK: out = 0; break;
        case R2_NOTMERGEPEN: out = ~(d | p); break;
        case R2_MASKNOTPEN: out = d & ~p; break;
        case R2_NOTCOPYPEN: out = ~p; break;
        case R2_MASKPENNOT: out = p & ~d; break;
        case R2_NOT: out = ~d; break;
        case R2_XORPEN: out = d ^ p; break;
        case R2_NOTMASKPEN: out = ~(d & p); break;
        case R2_MASKPEN: out = d & p; break;
        case R2_NOTXORPEN: out = ~(d ^ p); break;
        case R2_NOP: out = d; break;
        case R2_MERGENOTPEN: out = d | ~p; break;
        case R2_COPYPEN: out = p; break;
        case R2_MERGEPENNOT: out = p | ~d; break;
        case R2_MERGEPEN: out = d | p; break;
        case R2_WHITE: out = 0xFFFFFF; break;
        default: break;
    }
    return out & 0xFFFFFFu;
}

uint32_t bgrToRgb(uint32_t c) {
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

void RectShape::move(float left, float top, float width, float height) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
}

void RectShape::setBorderWidth(int32_t w) { borderWidth_ = std::max(w, 1); }

Rect RectShape::outline() const {
    const int x0 = roundCoord(left_), y0 = roundCoord(top_);
    const int x1 = roundCoord(left_ + width_), y1 = roundCoord(top_ + height_);
    return {x0, y0, std::max(x1 - x0, 0), std::max(y1 - y0, 0)};
}

void RectShape::draw(const gdiplus::Surface& target, int originX, int originY,
                     const Rect& clip) const {
    if (!visible_ || !target.pixels || borderStyle_ == BorderStyleTransparent) return;
    const Rect r = outline();
    if (r.width <= 0 || r.height <= 0) return;
    const PenTarget pen(target, originX, originY, clip, drawMode_, bgrToRgb(borderColor_));
    const std::span<const int> pattern = dashPattern(borderStyle_);
    if (borderWidth_ == 1 && !pattern.empty())
        DashWalk(pen, pattern).draw(r);
    else
        drawSolid(pen, r, borderWidth_);
}

}  // namespace orrery::window
