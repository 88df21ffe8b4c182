// A rectangle of whole pixels: its top-left corner and its size.
#pragma once

namespace orrery::gdiplus {

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace orrery::gdiplus
