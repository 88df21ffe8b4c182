// Builds DIB headers, BMP files and ICO/CUR files byte by byte for the
// BMP, ICO, DIB and handle tests.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/gdiplus/codec.h"

namespace orrery::test {

struct DibLayout {
    uint32_t headerSize = 40;  // 12, 16..64 (OS/2 2.x), 40, 52, 56, 108, 124
    int32_t width = 1;
    int32_t height = 1;        // negative: top-down
    uint16_t planes = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t colorsUsed = 0;
    // Red, green, blue (and alpha) masks: written inside headers of 52 bytes
    // and more, after a 40-byte header otherwise (when compression is 3 or 6).
    std::vector<uint32_t> masks;
    std::vector<uint32_t> palette;  // 0x00RRGGBB; 3-byte entries for a 12-byte header
    std::vector<uint8_t> bits;
};

// Header, masks and colour table: a packed DIB's BITMAPINFO.
std::vector<uint8_t> dibInfo(const DibLayout& layout);
// BITMAPINFO followed by the bits.
std::vector<uint8_t> packedDib(const DibLayout& layout);
// A BMP file: file header (bfOffBits right after the colour table unless
// `offBits` is given) and the packed DIB.
std::vector<uint8_t> bmpFile(const DibLayout& layout, uint32_t offBits = 0);
// Row stride of a DIB: bits per row rounded up to four bytes.
uint32_t dibStride(int width, int bitCount);

struct IcoEntry {
    std::vector<uint8_t> data;  // a packed DIB (height doubled) or a PNG
    uint8_t width = 0, height = 0, colors = 0;
    uint16_t planesOrHotX = 1, bitsOrHotY = 32;
};
// An ICO (type 1) or CUR (type 2) file with the entries in order.
std::vector<uint8_t> icoFile(const std::vector<IcoEntry>& entries, uint16_t type = 1);

// Decodes `bytes` with one decoder; the second form also expects Ok.
gdiplus::Status decodeWith(const gdiplus::Decoder& decoder, const std::vector<uint8_t>& bytes,
                           gdiplus::Decoded& out);
gdiplus::Decoded decodeOkWith(const gdiplus::Decoder& decoder, const std::vector<uint8_t>& bytes);
// Pixel (x, y) of a decoded frame as non-premultiplied ARGB.
gdiplus::ARGB framePixel(const gdiplus::Frame& frame, int x, int y);

}  // namespace orrery::test
