#include "support/dib_builder.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace orrery::test {

uint32_t dibStride(int width, int bitCount) {
    return ((static_cast<uint32_t>(width) * static_cast<uint32_t>(bitCount) + 31) / 32) * 4;
}

std::vector<uint8_t> dibInfo(const DibLayout& s) {
    std::vector<uint8_t> out;
    if (s.headerSize == 12) {
        put32(out, 12);
        put16(out, static_cast<uint32_t>(s.width));
        put16(out, static_cast<uint32_t>(s.height));
        put16(out, s.planes);
        put16(out, s.bitCount);
        for (uint32_t c : s.palette) {
            out.push_back(static_cast<uint8_t>(c));
            out.push_back(static_cast<uint8_t>(c >> 8));
            out.push_back(static_cast<uint8_t>(c >> 16));
        }
        return out;
    }
    // Every longer header shares the BITMAPV5HEADER's field offsets: write
    // the whole V5 layout and keep the first headerSize bytes.
    put32(out, s.headerSize);
    put32(out, static_cast<uint32_t>(s.width));
    put32(out, static_cast<uint32_t>(s.height));
    put16(out, s.planes);
    put16(out, s.bitCount);
    put32(out, s.compression);
    put32(out, 0);  // image size
    put32(out, static_cast<uint32_t>(s.xPelsPerMeter));
    put32(out, static_cast<uint32_t>(s.yPelsPerMeter));
    put32(out, s.colorsUsed);
    put32(out, 0);
    bool inside = s.headerSize >= 52;
    for (size_t i = 0; i < 4; ++i) put32(out, inside && i < s.masks.size() ? s.masks[i] : 0);
    put32(out, 0x73524742);  // 'sRGB'
    while (out.size() < 124) out.push_back(0);
    out.resize(s.headerSize, 0);
    if (!inside && s.headerSize == 40)
        for (uint32_t m : s.masks) put32(out, m);
    for (uint32_t c : s.palette) put32(out, c & 0xffffff);
    return out;
}

std::vector<uint8_t> packedDib(const DibLayout& layout) {
    std::vector<uint8_t> out = dibInfo(layout);
    out.insert(out.end(), layout.bits.begin(), layout.bits.end());
    return out;
}

std::vector<uint8_t> bmpFile(const DibLayout& layout, uint32_t offBits) {
    std::vector<uint8_t> info = dibInfo(layout);
    if (offBits == 0) offBits = static_cast<uint32_t>(14 + info.size());
    std::vector<uint8_t> out = {'B', 'M'};
    put32(out, static_cast<uint32_t>(14 + info.size() + layout.bits.size()));
    put32(out, 0);
    put32(out, offBits);
    out.insert(out.end(), info.begin(), info.end());
    while (out.size() < offBits) out.push_back(0);
    out.insert(out.end(), layout.bits.begin(), layout.bits.end());
    return out;
}

std::vector<uint8_t> icoFile(const std::vector<IcoEntry>& entries, uint16_t type) {
    std::vector<uint8_t> out;
    put16(out, 0);
    put16(out, type);
    put16(out, static_cast<uint32_t>(entries.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * entries.size());
    for (const IcoEntry& e : entries) {
        out.push_back(e.width);
        out.push_back(e.height);
        out.push_back(e.colors);
        out.push_back(0);
        put16(out, e.planesOrHotX);
        put16(out, e.bitsOrHotY);
        put32(out, static_cast<uint32_t>(e.data.size()));
        put32(out, offset);
        offset += static_cast<uint32_t>(e.data.size());
    }
    for (const IcoEntry& e : entries) out.insert(out.end(), e.data.begin(), e.data.end());
    return out;
}

gdiplus::Status decodeWith(const gdiplus::Decoder& decoder, const std::vector<uint8_t>& bytes,
                           gdiplus::Decoded& out) {
    return decoder.decode(gdiplus::ByteSource::copyOf(bytes), gdiplus::DecodeOptions{}, out);
}

gdiplus::Decoded decodeOkWith(const gdiplus::Decoder& decoder, const std::vector<uint8_t>& bytes) {
    gdiplus::Decoded d;
    EXPECT_EQ(decodeWith(decoder, bytes, d), gdiplus::Status::Ok);
    return d;
}

gdiplus::ARGB framePixel(const gdiplus::Frame& frame, int x, int y) {
    gdiplus::ARGB c = 0;
    gdiplus::rowToArgb32(frame.pixels.format(), frame.pixels.row(y), x, 1, &frame.palette, &c);
    return c;
}

}  // namespace orrery::test
