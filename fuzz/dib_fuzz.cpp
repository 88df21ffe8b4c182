// Arbitrary bytes as a packed DIB (header and colour table, then bits, split
// where the first byte says), as an icon entry, and as a bitmap handle's
// section.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/gdi/handles.h"
#include "platform/gdiplus/dib.h"
#include "platform/gdiplus/pixel_data.h"

using namespace orrery::gdiplus;

namespace {

// A section from the first bytes: width, height, bit count; the rest are bits.
void fuzzSection(const uint8_t* data, size_t size) {
    if (size < 6) return;
    orrery::gdi::DibSection s;
    s.width = data[0] | (data[1] << 8);
    s.height = static_cast<int16_t>(data[2] | (data[3] << 8));
    s.bitCount = data[4];
    size_t colours = data[5];
    size_t at = 6;
    for (size_t i = 0; i < colours && at + 3 <= size; ++i, at += 3)
        s.colors.push_back(uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16);
    s.bits.assign(data + at, data + size);
    orrery::gdi::HBITMAP h = orrery::gdi::createBitmap(std::move(s));
    if (!h) return;
    std::unique_ptr<Image> image;
    if (createBitmapFromHBITMAP(h, image) != Status::Ok) std::abort();
    if (int64_t{image->width()} * image->height() > (int64_t{1} << 20)) {
        orrery::gdi::deleteBitmap(h);
        return;
    }
    orrery::gdi::HBITMAP again = 0;
    if (createHBITMAPFromBitmap(*image, 0xFFFFFFFF, again) != Status::Ok) std::abort();
    orrery::gdi::deleteBitmap(again);
    orrery::gdi::deleteBitmap(h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool limited = (setPixelAllocationLimit(64 << 20), true);
    (void)limited;
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    switch (mode % 3) {
        case 0: {
            size_t split = std::min<size_t>(size, 40 + 4 * static_cast<size_t>(mode));
            std::unique_ptr<Image> image;
            createBitmapFromGdiDib(data, split, data + split, size - split, image);
            break;
        }
        case 1: {
            Frame frame;
            DibOptions options;
            options.container = DibContainer::IconEntry;
            decodeDib({data, size}, 0, options, frame);
            break;
        }
        default: fuzzSection(data, size); break;
    }
    return 0;
}
