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
    const double clamped = std::clamp(static_cast<double>(v), -1e9, 1e9);
    return static_cast<int>(std::nearbyint(clamped));
}

// Applies the pen to the pixels of one target that lie inside a clip.
class PenTarget {
public:
    PenTarget(const gdiplus::Surface& s, int ox, int oy, const Rect& clip, int32_t mode, uint32_t pen)
        : s_(s), ox_(ox), oy_(oy), mode_(mode), pen_(pen) {
        x0_ = std::max(clip.x, 0);
        y0_ = std::max(clip.y, 0);
        x1_ = static_cast<int>(std::min<int64_t>(int64_t{clip.x} + clip.width, s.width));
        y1_ = static_cast<int>(std::min<int64_t>(int64_t{clip.y} + clip.height, s.height));
    }
    // Client pixel (x, y).
    void plot(int x, int y) const {
        const int64_t tx = int64_t{x} + ox_, ty = int64_t{y} + oy_;
        if (tx < x0_ || ty < y0_ || tx >= x1_ || ty >= y1_) return;
        uint32_t* row = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(s_.pixels) +
                                                    ty * s_.stride);
        uint32_t& p = row[tx];
        p = 0xFF000000u | applyDrawMode(mode_, p & 0xFFFFFFu, pen_);
    }
    void span(int x0, int x1, int y) const {
        for (int x = x0; x < x1; ++x) plot(x, y);
    }

private:
    const gdiplus::Surface& s_;
    int ox_, oy_;
    int32_t mode_;
    uint32_t pen_;
    int x0_ = 0, y0_ = 0, x1_ = 0, y1_ = 0;
};

void drawSolid(const PenTarget& pen, const Rect& r, int w) {
    const int x1 = r.x + r.width, y1 = r.y + r.height;
    for (int y = r.y; y < y1; ++y) {
        if (y < r.y + w || y >= y1 - w) {
            pen.span(r.x, x1, y);
        } else {
            pen.span(r.x, std::min(r.x + w, x1), y);
            pen.span(std::max(x1 - w, r.x + w), x1, y);
        }
    }
}

// Walks the one-pixel outline clockwise from the top-left corner, each pixel
// once, switching the pen on and off by the pattern.
void drawDashed(const PenTarget& pen, const Rect& r, std::span<const int> pattern) {
    size_t run = 0;
    int left = pattern[0];
    auto step = [&](int x, int y) {
        if (run % 2 == 0) pen.plot(x, y);
        if (--left == 0) {
            run = (run + 1) % pattern.size();
            left = pattern[run];
        }
    };
    const int x1 = r.x + r.width - 1, y1 = r.y + r.height - 1;
    for (int x = r.x; x <= x1; ++x) step(x, r.y);
    for (int y = r.y + 1; y <= y1; ++y) step(x1, y);
    if (y1 > r.y)
        for (int x = x1 - 1; x >= r.x; --x) step(x, y1);
    if (x1 > r.x)
        for (int y = y1 - 1; y > r.y; --y) step(r.x, y);
}

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
        drawDashed(pen, r, pattern);
    else
        drawSolid(pen, r, borderWidth_);
}

}  // namespace orrery::window
