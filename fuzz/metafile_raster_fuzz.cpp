// Arbitrary bytes rasterised as a metafile at a small size: the record walk
// first, then the converters and the SVG renderer. The first byte picks the
// size; a picture that is drawn has exactly that size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/gdiplus/metafile_raster.h"
#include "platform/gdiplus/pixel_data.h"

using namespace orrery::gdiplus;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool limited = (setPixelAllocationLimit(64 << 20), true);
    (void)limited;
    if (size < 1) return 0;
    const int side = 1 + data[0] % 48;
    std::unique_ptr<Image> image;
    if (rasteriseMetafile({data + 1, size - 1}, side, side + 3, image) != Status::Ok) return 0;
    if (!image || image->width() != side || image->height() != side + 3 ||
        image->pixelFormat() != PixelFormat32bppARGB)
        std::abort();
    return 0;
}
