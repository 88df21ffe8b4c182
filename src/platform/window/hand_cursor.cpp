#include "platform/window/hand_cursor.h"

#include <array>
#include <cstring>
#include <string_view>

#include "platform/gdiplus/image.h"
#include "platform/gdiplus/pixel_data.h"

namespace orrery::window {

namespace {

// 16 x 16 artwork: 'X' outline, '.' fill, anything else transparent.
using Artwork = std::array<std::string_view, 16>;

constexpr Artwork kOpenHand = {
    "       XX       ",
    "   XX X..XXX    ",
    "  X..XX..X..X   ",
    "  X..XX..X..X X ",
    "   X..X..X..XX.X",
    "   X..X..X..X..X",
    " XX X.......X..X",
    "X..XX..........X",
    "X...X.........X ",
    " X............X ",
    "  X...........X ",
    "  X..........X  ",
    "   X.........X  ",
    "    X.......X   ",
    "     X......X   ",
    "     X......X   ",
};

constexpr Artwork kClosedHand = {
    "                ",
    "                ",
    "                ",
    "                ",
    "    XX XX XX    ",
    "   X..X..X..XX  ",
    "   X........X.X ",
    "    X.........X ",
    "   XX.........X ",
    "  X...........X ",
    "  X...........X ",
    "   X..........X ",
    "    X........X  ",
    "     X.......X  ",
    "     X......X   ",
    "     X......X   ",
};

std::shared_ptr<const CursorImage> draw(const Artwork& art) {
    gdiplus::PixelData pixels;
    if (gdiplus::PixelData::allocate(16, 16, gdiplus::PixelFormat32bppARGB, pixels) != gdiplus::Status::Ok)
        return nullptr;
    for (int y = 0; y < 16; ++y) {
        uint8_t* row = pixels.row(y);
        for (int x = 0; x < 16; ++x) {
            const char c = art[static_cast<size_t>(y)][static_cast<size_t>(x)];
            const uint32_t argb = c == 'X' ? 0xFF000000u : c == '.' ? 0xFFFFFFFFu : 0u;
            std::memcpy(row + x * 4, &argb, 4);
        }
    }
    auto cursor = std::make_shared<CursorImage>();
    cursor->image = gdiplus::Image::fromPixels(std::move(pixels));
    cursor->hotspotX = 8;
    cursor->hotspotY = 8;
    return cursor;
}

}  // namespace

std::shared_ptr<const CursorImage> handCursor(int32_t pointer) {
    static const std::shared_ptr<const CursorImage> open = draw(kOpenHand);
    static const std::shared_ptr<const CursorImage> closed = draw(kClosedHand);
    if (pointer == MousePointerOpenHand) return open;
    if (pointer == MousePointerClosedHand) return closed;
    return nullptr;
}

}  // namespace orrery::window
