#include "platform/window/scroll_bar.h"

#include <algorithm>

namespace orrery::window {

namespace {

// System colours of the platform's standard look (0x00RRGGBB).
constexpr uint32_t kFace = 0xF0F0F0;
constexpr uint32_t kHighlight = 0xFFFFFF;
constexpr uint32_t kLight = 0xE3E3E3;
constexpr uint32_t kShadow = 0xA0A0A0;
constexpr uint32_t kDarkShadow = 0x696969;
constexpr uint32_t kTrack = 0xC8C8C8;
constexpr uint32_t kGlyph = 0x000000;
constexpr uint32_t kGrayText = 0x6D6D6D;

constexpr int32_t kMin16 = -32768;
constexpr int32_t kMax16 = 32767;

int32_t clamp16(int32_t v) { return std::clamp(v, kMin16, kMax16); }

// num / den rounded half away from zero; den > 0.
int64_t roundDiv(int64_t num, int64_t den) {
    if (num >= 0) return (2 * num + den) / (2 * den);
    return -((2 * -num + den) / (2 * den));
}

enum class Direction { Left, Right, Up, Down };

void drawEdgeBox(const gdiplus::Surface& t, const Rect& r, bool pressed) {
    fillSurfaceRect(t, r, kFace);
    if (r.width < 2 || r.height < 2) return;
    auto hline = [&](int x, int y, int w, uint32_t c) { fillSurfaceRect(t, {x, y, w, 1}, c); };
    auto vline = [&](int x, int y, int h, uint32_t c) { fillSurfaceRect(t, {x, y, 1, h}, c); };
    const int x0 = r.x, y0 = r.y, x1 = r.x + r.width - 1, y1 = r.y + r.height - 1;
    if (pressed) {
        hline(x0, y0, r.width, kShadow);
        hline(x0, y1, r.width, kShadow);
        vline(x0, y0, r.height, kShadow);
        vline(x1, y0, r.height, kShadow);
        return;
    }
    // Raised edge: light then highlight at top-left, dark shadow then shadow
    // at bottom-right.
    hline(x0, y0, r.width, kLight);
    vline(x0, y0, r.height, kLight);
    hline(x0, y1, r.width, kDarkShadow);
    vline(x1, y0, r.height, kDarkShadow);
    if (r.width < 4 || r.height < 4) return;
    hline(x0 + 1, y0 + 1, r.width - 2, kHighlight);
    vline(x0 + 1, y0 + 1, r.height - 2, kHighlight);
    hline(x0 + 1, y1 - 1, r.width - 2, kShadow);
    vline(x1 - 1, y0 + 1, r.height - 2, kShadow);
}

void drawGlyph(const gdiplus::Surface& t, const Rect& r, Direction d, bool pressed, uint32_t c) {
    const int n = std::max(1, std::min(r.width, r.height) / 4);
    const int cx = r.x + r.width / 2 + (pressed ? 1 : 0);
    const int cy = r.y + r.height / 2 + (pressed ? 1 : 0);
    for (int i = 0; i < n; ++i) {
        switch (d) {
            case Direction::Up:  // row i has half-width i
                fillSurfaceRect(t, {cx - i, cy - n / 2 + i, 2 * i + 1, 1}, c);
                break;
            case Direction::Down:
                fillSurfaceRect(t, {cx - (n - 1 - i), cy - n / 2 + i, 2 * (n - 1 - i) + 1, 1}, c);
                break;
            case Direction::Left:
                fillSurfaceRect(t, {cx - n / 2 + i, cy - i, 1, 2 * i + 1}, c);
                break;
            case Direction::Right:
                fillSurfaceRect(t, {cx - n / 2 + i, cy - (n - 1 - i), 1, 2 * (n - 1 - i) + 1}, c);
                break;
        }
    }
}

Rect offset(Rect r, int dx, int dy) {
    r.x += dx;
    r.y += dy;
    return r;
}

}  // namespace

void fillSurfaceRect(const gdiplus::Surface& target, const Rect& area, uint32_t rgb) {
    const int x0 = std::max(area.x, 0);
    const int y0 = std::max(area.y, 0);
    const int x1 = static_cast<int>(std::min<int64_t>(int64_t{area.x} + area.width, target.width));
    const int y1 = static_cast<int>(std::min<int64_t>(int64_t{area.y} + area.height, target.height));
    if (!target.pixels || x0 >= x1 || y0 >= y1) return;
    const uint32_t pixel = 0xFF000000u | (rgb & 0xFFFFFFu);
    for (int y = y0; y < y1; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(target.pixels) +
                                                    y * target.stride);
        std::fill(row + x0, row + x1, pixel);
    }
}

int32_t ScrollBar::clampValue(int32_t v) const {
    return std::clamp(v, std::min(min_, max_), std::max(min_, max_));
}

bool ScrollBar::setValue(int32_t v) {
    const int32_t next = clampValue(clamp16(v));
    if (next == value_) return false;
    value_ = next;
    return true;
}

bool ScrollBar::setMin(int32_t v) {
    min_ = clamp16(v);
    return setValue(value_);
}

bool ScrollBar::setMax(int32_t v) {
    max_ = clamp16(v);
    return setValue(value_);
}

void ScrollBar::setSmallChange(int32_t v) {
    if (v >= 1) smallChange_ = clamp16(v);
}

void ScrollBar::setLargeChange(int32_t v) {
    if (v >= 1) largeChange_ = clamp16(v);
}

void ScrollBar::setGeometry(const Rect& r) {
    geometry_.x = std::clamp(r.x, -kMaxCoordinate, kMaxCoordinate);
    geometry_.y = std::clamp(r.y, -kMaxCoordinate, kMaxCoordinate);
    geometry_.width = std::clamp(r.width, 0, kMaxCoordinate);
    geometry_.height = std::clamp(r.height, 0, kMaxCoordinate);
}

int ScrollBar::length() const {
    return std::max(0, orientation_ == Orientation::Horizontal ? geometry_.width : geometry_.height);
}

int ScrollBar::thickness() const {
    return std::max(0, orientation_ == Orientation::Horizontal ? geometry_.height : geometry_.width);
}

int ScrollBar::arrowLength() const { return std::min(thickness(), length() / 2); }

int ScrollBar::thumbLength() const {
    const int64_t track = length() - 2 * arrowLength();
    const int64_t page = largeChange_;
    const int64_t span = (range() < 0 ? -range() : range()) + page;
    const int64_t len = std::max<int64_t>(track * page / span, kMinThumbLength);
    return static_cast<int>(std::min(len, track));
}

bool ScrollBar::hasThumb() const {
    const int track = length() - 2 * arrowLength();
    return enabled_ && range() != 0 && track >= kMinThumbLength;
}

int ScrollBar::thumbStart() const {
    const int track = length() - 2 * arrowLength();
    const int64_t room = track - thumbLength();
    int64_t num = room * (static_cast<int64_t>(value_) - min_);
    int64_t den = range();
    if (den == 0) return arrowLength();
    if (den < 0) {
        num = -num;
        den = -den;
    }
    return arrowLength() + static_cast<int>(roundDiv(num, den));
}

int32_t ScrollBar::valueForThumbStart(int start) const {
    const int track = length() - 2 * arrowLength();
    const int room = track - thumbLength();
    if (room <= 0 || !hasThumb()) return value_;
    const int64_t off = std::clamp(start - arrowLength(), 0, room);
    return clampValue(static_cast<int32_t>(min_ + roundDiv(off * range(), room)));
}

ScrollBar::Layout ScrollBar::layout() const {
    const int len = length(), th = thickness(), a = arrowLength();
    auto span = [&](int start, int size) {
        return orientation_ == Orientation::Horizontal ? Rect{start, 0, size, th}
                                                       : Rect{0, start, th, size};
    };
    Layout out;
    out.arrowBack = span(0, a);
    out.arrowForward = span(len - a, a);
    out.track = span(a, len - 2 * a);
    out.thumb = hasThumb() ? span(thumbStart(), thumbLength()) : span(a, 0);
    return out;
}

ScrollPart ScrollBar::hitTest(int x, int y) const {
    if (x < 0 || y < 0 || x >= geometry_.width || y >= geometry_.height) return ScrollPart::None;
    const int p = along(x, y);
    const int len = length(), a = arrowLength();
    if (p < a) return ScrollPart::ArrowBack;
    if (p >= len - a) return ScrollPart::ArrowForward;
    if (!hasThumb()) return ScrollPart::None;
    const int ts = thumbStart();
    if (p < ts) return ScrollPart::TrackBack;
    if (p < ts + thumbLength()) return ScrollPart::Thumb;
    return ScrollPart::TrackForward;
}

int32_t ScrollBar::valueAfter(ScrollCode code) const {
    const int64_t dir = max_ >= min_ ? 1 : -1;
    int64_t next = value_;
    switch (code) {
        case SB_LINEUP: next -= dir * smallChange_; break;
        case SB_LINEDOWN: next += dir * smallChange_; break;
        case SB_PAGEUP: next -= dir * largeChange_; break;
        case SB_PAGEDOWN: next += dir * largeChange_; break;
        case SB_TOP: next = min_; break;
        case SB_BOTTOM: next = max_; break;
        default: break;
    }
    next = std::clamp<int64_t>(next, std::min(min_, max_), std::max(min_, max_));
    return static_cast<int32_t>(next);
}

void ScrollBar::draw(const gdiplus::Surface& target, int originX, int originY) const {
    if (!visible_ || geometry_.width <= 0 || geometry_.height <= 0) return;
    const int dx = originX + geometry_.x, dy = originY + geometry_.y;
    const Layout l = layout();
    const bool active = enabled_;
    const bool horizontal = orientation_ == Orientation::Horizontal;

    fillSurfaceRect(target, offset(l.track, dx, dy), kTrack);
    if (active && hasThumb()) {
        // A held track part is shown dark between the arrow and the thumb.
        const int ts = thumbStart(), te = ts + thumbLength();
        const int a = arrowLength();
        auto span = [&](int start, int size) {
            return horizontal ? Rect{start, 0, size, thickness()} : Rect{0, start, thickness(), size};
        };
        if (pressed_ == ScrollPart::TrackBack)
            fillSurfaceRect(target, offset(span(a, ts - a), dx, dy), kDarkShadow);
        if (pressed_ == ScrollPart::TrackForward)
            fillSurfaceRect(target, offset(span(te, length() - a - te), dx, dy), kDarkShadow);
        drawEdgeBox(target, offset(l.thumb, dx, dy), false);
    }
    const bool backPressed = pressed_ == ScrollPart::ArrowBack;
    const bool forwardPressed = pressed_ == ScrollPart::ArrowForward;
    const uint32_t glyph = active && range() != 0 ? kGlyph : kGrayText;
    drawEdgeBox(target, offset(l.arrowBack, dx, dy), backPressed);
    drawEdgeBox(target, offset(l.arrowForward, dx, dy), forwardPressed);
    drawGlyph(target, offset(l.arrowBack, dx, dy), horizontal ? Direction::Left : Direction::Up,
              backPressed, glyph);
    drawGlyph(target, offset(l.arrowForward, dx, dy),
              horizontal ? Direction::Right : Direction::Down, forwardPressed, glyph);
}

}  // namespace orrery::window
