// A child scroll bar of a control window: its range and values, its parts
// (two arrow buttons, the track and a thumb whose length follows the large
// change), hit testing, the values that line, page and thumb actions lead
// to, and its own drawing into the window's surface.
#pragma once
#include <cstdint>

#include "platform/gdiplus/graphics.h"
#include "orrery/window/window.h"

namespace orrery::window {

// The platform's standard scroll-bar thickness (vertical bar width, horizontal
// bar height) and the corner box between two bars.
inline constexpr int kScrollBarThickness = 17;
// The thumb never gets shorter than this; a track too short for it shows none.
inline constexpr int kMinThumbLength = 8;

enum class Orientation { Horizontal, Vertical };

// Parts along the bar; "back" is the left or top end (lower values).
enum class ScrollPart { None, ArrowBack, TrackBack, Thumb, TrackForward, ArrowForward };

// Opaque fills on a premultiplied surface, clipped to it; shared by the
// window's own drawing. `rgb` is 0x00RRGGBB.
void fillSurfaceRect(const gdiplus::Surface& target, const Rect& area, uint32_t rgb);

class ScrollBar {
public:
    explicit ScrollBar(Orientation orientation) : orientation_(orientation) {}

    Orientation orientation() const { return orientation_; }

    // Values are 16-bit signed numbers; setters clamp to that range. The value
    // always lies between min and max (max may be below min: the bar then
    // runs backwards). Each returns true when the value changed.
    int32_t min() const { return min_; }
    int32_t max() const { return max_; }
    int32_t value() const { return value_; }
    bool setMin(int32_t v);
    bool setMax(int32_t v);
    bool setValue(int32_t v);
    // The value `v` would become (clamped), without setting it.
    int32_t clampValue(int32_t v) const;

    // Values below 1 are ignored, as the platform refuses them.
    int32_t smallChange() const { return smallChange_; }
    int32_t largeChange() const { return largeChange_; }
    void setSmallChange(int32_t v);
    void setLargeChange(int32_t v);

    bool enabled() const { return enabled_; }
    void setEnabled(bool on) { enabled_ = on; }
    bool visible() const { return visible_; }
    void setVisible(bool on) { visible_ = on; }
    // Position and size in client pixels; positions are kept within
    // +-kMaxCoordinate and sizes within 0..kMaxCoordinate.
    static constexpr int kMaxCoordinate = 1 << 20;
    const Rect& geometry() const { return geometry_; }
    void setGeometry(const Rect& r);

    // The parts in bar coordinates (origin at the bar's top-left corner).
    struct Layout {
        Rect arrowBack;
        Rect arrowForward;
        Rect track;
        Rect thumb;  // empty (width or height 0) when no thumb is shown
    };
    Layout layout() const;
    bool hasThumb() const;
    // The part under a point in bar coordinates.
    ScrollPart hitTest(int x, int y) const;

    // The value a line, page, top or bottom action leads to; the current
    // value for the other codes.
    int32_t valueAfter(ScrollCode code) const;
    // The value for a thumb whose leading edge sits at `thumbStart` (bar
    // coordinate along the bar), clamped to the track.
    int32_t valueForThumbStart(int thumbStart) const;
    // Leading edge of the thumb along the bar.
    int thumbStart() const;
    // Coordinate of a point along the bar's length.
    int along(int x, int y) const { return orientation_ == Orientation::Horizontal ? x : y; }

    // The part shown pressed while a mouse button holds it.
    ScrollPart pressedPart() const { return pressed_; }
    void setPressedPart(ScrollPart p) { pressed_ = p; }

    // Draws the bar at its geometry, offset by (originX, originY) in `target`;
    // a disabled bar or one without range shows grey arrows and no thumb.
    void draw(const gdiplus::Surface& target, int originX, int originY) const;

private:
    int length() const;
    int thickness() const;
    int arrowLength() const;
    int thumbLength() const;
    int64_t range() const { return static_cast<int64_t>(max_) - min_; }

    Orientation orientation_;
    int32_t min_ = 0;
    int32_t max_ = 0;
    int32_t value_ = 0;
    int32_t smallChange_ = 1;
    int32_t largeChange_ = 1;
    bool enabled_ = true;
    bool visible_ = false;
    Rect geometry_;
    ScrollPart pressed_ = ScrollPart::None;
};

}  // namespace orrery::window
