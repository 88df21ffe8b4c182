// The mouse over the viewer: what the mouse modes do, which button drives
// them, what a wheel notch does, and how the selection rectangle is drawn.
#pragma once
#include <cstdint>

namespace orrery {

enum ViewerMouseMode : int32_t {
    MouseModeDefault = 0,
    MouseModeAreaSelection = 1,
    MouseModePan = 2,
    MouseModeAutoZoom = 3,
};

enum MouseButton : int32_t {
    MouseButtonLeft = 1,
    MouseButtonRight = 2,
    MouseButtonMiddle = 4,
};

enum ViewerMouseWheelMode : int32_t {
    MouseWheelZoom = 0,
    MouseWheelVerticalScroll = 1,
    MouseWheelPageChange = 2,
};

enum ViewerRectBorderStyle : int32_t {
    RectBorderStyleSolid = 1,
    RectBorderStyleDash = 2,
    RectBorderStyleDot = 3,
    RectBorderStyleDashDot = 4,
    RectBorderStyleDashDotDot = 5,
};

// The sixteen binary raster operations that combine the rectangle's pen with
// the picture under it.
enum ViewerRectDrawMode : int32_t {
    RectDrawModeBlackNess = 1,
    RectDrawModeNotMergePen = 2,
    RectDrawModeMaskNotPen = 3,
    RectDrawModeNotCopyPen = 4,
    RectDrawModeMaskPenNot = 5,
    RectDrawModeInvert = 6,
    RectDrawModeXorPen = 7,
    RectDrawModeNotMaskPen = 8,
    RectDrawModeMaskPen = 9,
    RectDrawModeNotXorPen = 10,
    RectDrawModeNop = 11,
    RectDrawModeMergeNotPen = 12,
    RectDrawModeCopypen = 13,
    RectDrawModeMergePenNot = 14,
    RectDrawModeMergePen = 15,
    RectDrawModeWhiteness = 16,
};

}  // namespace orrery
