// The rectangle shape of a control window: the selection rectangle drawn
// over the window's content with a border colour, width, dash style and one
// of the platform's sixteen binary raster operations, which combine the pen
// colour with what lies under each outline pixel.
#pragma once
#include <cstdint>

#include "platform/gdiplus/graphics.h"
#include "orrery/window/window.h"

namespace orrery::window {

// Binary raster operations: D is the pixel under the pen, P the pen colour.
enum DrawMode : int32_t {
    R2_BLACK = 1,        // 0
    R2_NOTMERGEPEN = 2,  // ~(D | P)
    R2_MASKNOTPEN = 3,   // D & ~P
    R2_NOTCOPYPEN = 4,   // ~P
    R2_MASKPENNOT = 5,   // P & ~D
    R2_NOT = 6,          // ~D
    R2_XORPEN = 7,       // D ^ P
    R2_NOTMASKPEN = 8,   // ~(D & P)
    R2_MASKPEN = 9,      // D & P
    R2_NOTXORPEN = 10,   // ~(D ^ P)
    R2_NOP = 11,         // D
    R2_MERGENOTPEN = 12, // D | ~P
    R2_COPYPEN = 13,     // P
    R2_MERGEPENNOT = 14, // P | ~D
    R2_MERGEPEN = 15,    // D | P
    R2_WHITE = 16,       // 1
};

// Shape border styles. Dashed styles apply to one-pixel borders only; a
// wider border is drawn solid, as the platform's pens do.
enum ShapeBorderStyle : int32_t {
    BorderStyleTransparent = 0,
    BorderStyleSolid = 1,
    BorderStyleDash = 2,
    BorderStyleDot = 3,
    BorderStyleDashDot = 4,
    BorderStyleDashDotDot = 5,
    BorderStyleInsideSolid = 6,
};

// Combines destination and pen colours (0x00RRGGBB, 24 bits) by a raster
// operation; unknown modes leave the destination.
uint32_t applyDrawMode(int32_t mode, uint32_t dst, uint32_t pen);

// Converts a colour of the interface (0x00BBGGRR) to 0x00RRGGBB.
uint32_t bgrToRgb(uint32_t colorRef);

class RectShape {
public:
    // Position and size in client pixels, as single-precision values. The
    // outline covers round(left) .. round(left + width) - 1 horizontally
    // (half to even), likewise vertically; the border lies inside it.
    float left() const { return left_; }
    float top() const { return top_; }
    float width() const { return width_; }
    float height() const { return height_; }
    void move(float left, float top, float width, float height);

    bool visible() const { return visible_; }
    void setVisible(bool on) { visible_ = on; }
    uint32_t borderColor() const { return borderColor_; }  // 0x00BBGGRR
    void setBorderColor(uint32_t c) { borderColor_ = c; }
    int32_t borderWidth() const { return borderWidth_; }
    // Widths below 1 are taken as 1.
    void setBorderWidth(int32_t w);
    int32_t borderStyle() const { return borderStyle_; }
    void setBorderStyle(int32_t s) { borderStyle_ = s; }
    int32_t drawMode() const { return drawMode_; }
    void setDrawMode(int32_t m) { drawMode_ = m; }

    // The outline in client pixels (x, y, width, height after rounding).
    Rect outline() const;

    // Applies the outline to `target` whose client origin lies at
    // (originX, originY), touching each pixel once, clipped to `clip`
    // (target coordinates). The target is opaque premultiplied ARGB.
    void draw(const gdiplus::Surface& target, int originX, int originY, const Rect& clip) const;

private:
    float left_ = -1;
    float top_ = -1;
    float width_ = 1;
    float height_ = 1;
    bool visible_ = true;
    uint32_t borderColor_ = 0;
    int32_t borderWidth_ = 1;
    int32_t borderStyle_ = BorderStyleSolid;
    int32_t drawMode_ = R2_COPYPEN;
};

}  // namespace orrery::window
