// Reduction of 8-bit ARGB pixels to a palette of at most 256 entries, for
// formats that store indices (GIF). Deterministic: the same pixels always
// give the same palette and indices.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/gdiplus/pixel_format.h"

namespace orrery::gdiplus::codecs {

struct QuantizedImage {
    std::vector<uint8_t> indices;  // one per pixel
    std::vector<ARGB> palette;     // opaque colours, then the transparent entry if any
    int transparentIndex = -1;     // entry that pixels with alpha below 128 use
};

// Pixels with alpha below 128 become the transparent entry; the others are
// taken as opaque. When the opaque colours fit, the palette holds exactly
// them in order of first appearance; otherwise a 6x6x6 colour cube plus a
// grey ramp, each pixel taking its nearest entry.
QuantizedImage quantizeTo256(const ARGB* pixels, size_t count);

}  // namespace orrery::gdiplus::codecs
