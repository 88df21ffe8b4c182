// The selection rectangle: the window's rectangle shape over the picture, in
// client pixels, and its position in image pixels. The shape is the truth;
// `rectDrawn` and `rectImage` of the viewer state cache what it means in the
// image, so that the rectangle can follow zoom and scroll.
//
// Positions and sizes must fit a Long: a member given, or led to, a value
// that does not is refused (false, or no value) before anything changes.
#pragma once
#include <cstdint>
#include <optional>

#include "platform/window/control_window.h"
#include "viewer/layout.h"
#include "viewer/view_state.h"

namespace orrery::viewer {

// Pixels around the rectangle's outline that still count as on it.
inline constexpr float kGripTolerance = 4.0f;

// The grip under a pointer and the cursor that shows it.
struct GripHit {
    int32_t grip = GripNone;
    int32_t pointer = 0;
};

class Selection {
public:
    Selection(ViewState& state, const Layout& layout, window::ControlWindow& window)
        : s_(state), layout_(layout), window_(window) {}

    const window::RectShape& shape() const { return window_.rectShape(); }
    // A rectangle is drawn when the shape is wider and higher than 1 pixel.
    bool isRectDrawed() const;
    void ClearRect();

    // In image pixels; all 0 when no rectangle is drawn. Sizes are cut at the
    // image's right and bottom edges and are never negative. No value when
    // the rectangle's place in the image does not fit a Long.
    std::optional<AreaRect> GetRectValues() const;
    bool SetRectValues(int32_t left, int32_t top, int32_t width, int32_t height);
    bool GetRectValuesMM(float& left, float& top, float& width, float& height) const;
    bool SetRectValuesMM(float left, float top, float width, float height);
    // In client pixels.
    std::optional<AreaRect> GetRectValuesObject() const;
    bool SetRectValuesObject(int32_t left, int32_t top, int32_t width, int32_t height);

    // Moves the shape (client pixels) and refreshes the cache.
    bool MoveShape(float left, float top, float width, float height);
    // rectDrawn and rectImage from the shape.
    bool Refresh();
    // After painting: the drawn rectangle goes back to its image position at
    // the new zoom and origin. rectImage stays as it was, so rounding at a
    // small zoom cannot walk the rectangle away.
    bool FollowPicture();

    // The pointer lies on the rectangle, its outline widened by the tolerance.
    bool Hit(float x, float y) const;
    // The first grip within the tolerance of the pointer (corners, edges,
    // inside); call only when Hit.
    GripHit GripAt(float x, float y) const;

    // The scroll positions that put the rectangle in the middle of the
    // visible area.
    void CenterPosition(int32_t& hPosition, int32_t& vPosition) const;

private:
    // The shape the image rectangle maps to, at least 1 x 1.
    std::optional<window::RectShape> shapeForImageRect(int64_t left, int64_t top, int64_t width,
                                                       int64_t height) const;
    std::optional<AreaRect> imageRectOf(const window::RectShape& shape) const;
    // Makes `shape` the window's, with the cache refreshed; the cache is
    // computed first, so a conversion that fails changes nothing.
    bool commit(const window::RectShape& shape);

    ViewState& s_;
    const Layout& layout_;
    window::ControlWindow& window_;
};

}  // namespace orrery::viewer
