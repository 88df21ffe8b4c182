#include "viewer/mouse_modes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <optional>

#include "viewer/saturating.h"

namespace orrery::viewer {

namespace {

constexpr int32_t kGenericError = 1;
constexpr int32_t kRightButton = 2;

// Host coordinates must be finite and within the Long range; the handling
// stops before it changes anything otherwise.
bool fitLong(float x, float y) { return exactLong(x) && exactLong(y); }

}  // namespace

template <class Work>
void MouseModes::trapped(const char* prefix, Work&& work) {
    bool fitted = false;
    try {
        fitted = work();
    } catch (const std::exception& fault) {
        report(prefix, fault.what());
        return;
    }
    if (!fitted) report(prefix, "Overflow");
}

void MouseModes::report(const char* prefix, const char* what) {
    s_.status = kGenericError;
    if (!host_.silentMode()) host_.showPlainMessage(std::string(prefix) + what);
}

// ---------------------------------------------------------------------------
// Mode and cursor

bool MouseModes::SetMouseMode(int32_t mode) {
    if (mode < MouseModeDefault || mode > MouseModeAutoZoom) return false;
    if (mode == MouseModeDefault || mode == MouseModePan) selection_.ClearRect();
    s_.mouseMode = mode;
    ApplyModeCursor();
    return true;
}

int32_t MouseModes::modeCursor() const {
    switch (s_.mouseMode) {
        case MouseModeAreaSelection:
        case MouseModeAutoZoom: return window::MousePointerCross;
        case MouseModePan:
            if (!imageShown()) return window::MousePointerDefault;
            return s_.panning ? window::MousePointerClosedHand : window::MousePointerOpenHand;
        default: return window::MousePointerDefault;
    }
}

void MouseModes::ApplyModeCursor() {
    if (!s_.customPointer) window_.setMousePointer(modeCursor());
}

// ---------------------------------------------------------------------------
// Position

void MouseModes::UpdateMousePosition(float x, float y) {
    trapped("Mouse Position Calc: ", [&] {
        int32_t imageX = 0, imageY = 0;
        if (window_.clientWidth() > 0 && window_.clientHeight() > 0 && s_.status == 0 && imageShown() &&
            s_.zoom != 0) {
            const std::optional<int32_t> px = exactLong(x), py = exactLong(y);
            if (!px || !py) return false;
            layout_.CoordObjectToImage(*px, *py, imageX, imageY);
            imageX = std::clamp(imageX, 0, std::max(s_.imageWidth - 1, 0));
            imageY = std::clamp(imageY, 0, std::max(s_.imageHeight - 1, 0));
        }
        s_.mouseImageX = imageX;
        s_.mouseImageY = imageY;
        return true;
    });
}

// ---------------------------------------------------------------------------
// Press

void MouseModes::Press(int32_t button, float x, float y) {
    bool placed = false;
    trapped("Mouse Position Calc: ", [&] {
        const std::optional<int32_t> px = exactLong(x), py = exactLong(y);
        if (!px || !py) return false;
        s_.lastMouseX = *px;
        s_.lastMouseY = *py;
        placed = true;
        return true;
    });
    if (!placed) return;
    // The right button opens the context menu, unless it drives the modes.
    if (button == kRightButton && s_.mouseButtonForMouseMode != kRightButton) {
        if (imageShown()) host_.openContextMenu(x, y);
        return;
    }
    if (!imageShown()) {
        selection_.ClearRect();
        return;
    }
    if (button != s_.mouseButtonForMouseMode) return;
    switch (s_.mouseMode) {
        case MouseModePan:
            s_.panning = true;
            ApplyModeCursor();
            break;
        case MouseModeAreaSelection:
        case MouseModeAutoZoom:
            if (selection_.Hit(x, y) && s_.rectIsEditable) s_.editingRect = true;
            else startRectangle();  // a shape that does not fit a Long stays as it was
            break;
        default: break;
    }
}

bool MouseModes::startRectangle() {
    const window::RectShape& shape = selection_.shape();
    float left = shape.left(), top = shape.top();
    const int64_t px = s_.lastMouseX, py = s_.lastMouseY;
    s_.startOutsideX = !(px >= s_.offsetLeft && px <= int64_t{s_.offsetLeft} + s_.displayWidth);
    if (!s_.startOutsideX) left = static_cast<float>(px);
    s_.startOutsideY = !(py >= s_.offsetTop && py <= int64_t{s_.offsetTop} + s_.displayHeight);
    if (!s_.startOutsideY) top = static_cast<float>(py);
    if (!selection_.MoveShape(left, top, 1, 1)) return false;
    s_.drawingRect = true;
    return true;
}

// ---------------------------------------------------------------------------
// Move

void MouseModes::Move(int32_t button, float x, float y) {
    trapped("Mouse Move Error: ", [&] {
        if (!fitLong(x, y)) return false;
        if (imageShown() && s_.rectIsEditable && s_.mouseMode == MouseModeAreaSelection && !hoverOrEdit(x, y))
            return false;
        if (button != s_.mouseButtonForMouseMode || !imageShown()) return true;
        if (s_.mouseMode == MouseModePan && s_.panning) return pan(x, y);
        if ((s_.mouseMode == MouseModeAreaSelection || s_.mouseMode == MouseModeAutoZoom) && s_.drawingRect)
            return dragNewRectangle(x, y);
        return true;
    });
}

bool MouseModes::hoverOrEdit(float x, float y) {
    if (selection_.Hit(x, y) && !s_.drawingRect) {
        if (s_.editingRect) return editRectangle(x, y);
        if (!s_.panning) {
            const GripHit hit = selection_.GripAt(x, y);
            s_.grip = hit.grip;
            if (!s_.customPointer) window_.setMousePointer(hit.pointer);
        }
        return true;
    }
    if (s_.editingRect) return editRectangle(x, y);
    ApplyModeCursor();
    return true;
}

bool MouseModes::editRectangle(float x, float y) {
    const window::RectShape& r = selection_.shape();
    const double L = r.left(), T = r.top(), W = r.width(), H = r.height();
    const double X = x, Y = y;
    double left = L, top = T, width = W, height = H;
    switch (s_.grip) {
        case GripTopLeft: left = X, top = Y, width = L + W - X, height = T + H - Y; break;
        case GripTopRight: top = Y, width = X - L, height = T + H - Y; break;
        case GripBottomLeft: left = X, width = L + W - X, height = Y - T; break;
        case GripBottomRight: width = X - L, height = Y - T; break;
        case GripLeft: left = X, width = L + W - X; break;
        case GripRight: width = X - L; break;
        case GripBottom: height = Y - T; break;
        case GripTop: top = Y, height = T + H - Y; break;
        case GripInside: {
            left = L + X - s_.lastMouseX;
            top = T + Y - s_.lastMouseY;
            const std::optional<int32_t> px = exactLong(X), py = exactLong(Y);
            if (!px || !py) return false;
            s_.lastMouseX = *px;
            s_.lastMouseY = *py;
            break;
        }
        default: return true;
    }
    const bool inside = width > 0 && height > 0 && left >= s_.offsetLeft && top >= s_.offsetTop &&
                        top + height <= static_cast<double>(s_.offsetTop) + s_.displayHeight &&
                        left + width <= static_cast<double>(s_.offsetLeft) + s_.displayWidth;
    return !inside || selection_.MoveShape(static_cast<float>(left), static_cast<float>(top),
                                           static_cast<float>(width), static_cast<float>(height));
}

bool MouseModes::pan(float x, float y) {
    const std::optional<int32_t> stepX = exactLong(static_cast<double>(s_.lastMouseX) - x);
    const std::optional<int32_t> stepY = exactLong(static_cast<double>(s_.lastMouseY) - y);
    const std::optional<int32_t> px = exactLong(x), py = exactLong(y);
    if (!stepX || !stepY || !px || !py) return false;
    const int32_t dx = *stepX, dy = *stepY;
    bool moved = false;
    if (std::abs(int64_t{dx}) >= 1 || std::abs(int64_t{dy}) >= 1) {
        // The picture follows the pointer while the origin stays within the
        // scroll range; the bars take the new values without repainting.
        auto follow = [&](int32_t delta, int32_t& offset, ScrollBarState& bar, window::ScrollBarId id) {
            if (bar.max < 1 && !s_.forceScrollBars) return;
            const int64_t origin = int64_t{offset} - delta;
            if (origin > 0 || origin == offset || -origin > bar.max) return;
            offset = static_cast<int32_t>(origin);
            const bool armed = s_.scrollEventsArmed;
            s_.scrollEventsArmed = false;
            bar.value = static_cast<int16_t>(-origin);
            window_.setScrollValue(id, bar.value);
            s_.scrollEventsArmed = armed;
            moved = true;
        };
        follow(dy, s_.offsetTop, s_.vScroll, window::ScrollBarId::Vertical);
        follow(dx, s_.offsetLeft, s_.hScroll, window::ScrollBarId::Horizontal);
        s_.lastMouseX = *px;
        s_.lastMouseY = *py;
        s_.resetHorizontal = s_.resetVertical = false;
        if (moved) renderer_.DrawView(0, DrawPass::Interactive);
    }
    if (!moved) turnPageWhilePanning(dy, *px, *py);
    return true;
}

void MouseModes::turnPageWhilePanning(int32_t dy, int32_t x, int32_t y) {
    if (!s_.continuousViewMode || s_.pageTurnedThisDrag || dy == 0 || s_.playing) return;
    Frames::PageTurn turn;
    if (dy < 0 && s_.currentPage > 1) turn = Frames::PageTurn::Previous;
    else if (dy > 0 && s_.currentPage < s_.pageCount) turn = Frames::PageTurn::Next;
    else return;
    s_.panning = false;
    frames_.TurnPageInContinuousView(turn);
    s_.lastMouseX = x;
    s_.lastMouseY = y;
    s_.pageTurnedThisDrag = true;
    s_.panning = true;
}

bool MouseModes::dragNewRectangle(float x, float y) {
    if (s_.startOutsideX || s_.startOutsideY) return selection_.Refresh();
    // One axis: the press position is the anchor; the rectangle stops at the
    // picture's edges.
    auto span = [](double anchor, double pointer, double origin, double extent, double& start, double& size) {
        const double end = origin + extent;
        if (anchor <= pointer) {
            start = anchor;
            size = pointer > end ? end - start : std::fabs(pointer - start);
        } else if (pointer >= origin) {
            size = std::fabs(anchor - pointer);
            start = pointer;
        } else {
            size = std::fabs(anchor - origin);
            start = origin;
        }
    };
    double left = 0, top = 0, width = 0, height = 0;
    span(s_.lastMouseX, x, s_.offsetLeft, s_.displayWidth, left, width);
    span(s_.lastMouseY, y, s_.offsetTop, s_.displayHeight, top, height);
    return selection_.MoveShape(static_cast<float>(left), static_cast<float>(top), static_cast<float>(width),
                                static_cast<float>(height));
}

// ---------------------------------------------------------------------------
// Release

void MouseModes::Release(float x, float y) {
    if (s_.mouseMode == MouseModePan && !s_.customPointer)
        window_.setMousePointer(imageShown() ? window::MousePointerOpenHand : window::MousePointerDefault);
    UpdateMousePosition(x, y);
    if (s_.mouseMode == MouseModeAutoZoom) {
        host_.zoomToSelection();
        selection_.ClearRect();
    }
    s_.panning = s_.editingRect = s_.drawingRect = s_.pageTurnedThisDrag = false;
}

}  // namespace orrery::viewer
