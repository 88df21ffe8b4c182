// The PDF plug-in on arbitrary bytes: opened from memory, pages counted,
// page 1 rasterised at 36 dots per inch (sizes as the control computes them,
// bounded), every text read, closed. Page images go to a host table of
// plain buffers.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <vector>

#include "documents.h"
#include "pagrent.h"

namespace {

std::map<int32_t, std::vector<uint8_t>> bitmaps;
int32_t lastBitmap = 0;

int32_t createBitmap(void*, int32_t width, int32_t height, uint8_t** pixels, int32_t* stride) {
    std::vector<uint8_t>& memory = bitmaps[++lastBitmap];
    memory.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    *pixels = memory.data();
    *stride = width * 4;
    return lastBitmap;
}

void disposeBitmap(void*, int32_t bitmap) { bitmaps.erase(bitmap); }

const bool kBound = [] {
    const PagrentHost host{sizeof(PagrentHost), nullptr, createBitmap, disposeBitmap, uint64_t{64} << 20};
    return PAGRENT_BindHost(&host) == 1;
}();

int32_t pixelsAt36Dpi(double points) {
    const double exact = points / 72.0 * 36.0;
    if (!(exact > 0) || exact > 4096) return 0;
    return static_cast<int32_t>(std::ceil(exact));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!kBound) std::abort();
    const int32_t doc = pagrent::openMemory(data, size);
    if (doc == 0) return 0;
    if (PAGRENT_HasEncryption(doc)) PAGRENT_SetPasswordW(doc, "");
    if (PAGRENT_PageCount(doc) > 0 && PAGRENT_SelectPage(doc, 1) == 1) {
        int32_t width = pixelsAt36Dpi(PAGRENT_PageWidth(doc));
        int32_t height = pixelsAt36Dpi(PAGRENT_PageHeight(doc));
        const int32_t rotation = std::abs(PAGRENT_PageRotation(doc));
        if (rotation == 90 || rotation == 270) std::swap(width, height);
        int32_t image = 0;
        if (width > 0 && height > 0 && PAGRENT_Rasterize(doc, 36, &image, width, height, 0, -1) == 1)
            disposeBitmap(nullptr, image);
    }
    for (int32_t field = 0; field <= PAGRENT_FIELD_MODIFICATION_DATE; ++field) PAGRENT_GetDescriptionW(doc, field);
    PAGRENT_GetMetadataW(doc);
    PAGRENT_Close(doc);
    return 0;
}
