// Decodes arbitrary bytes as TIFF, selects the first pages (and the first
// again), and re-encodes small pages, so that every pixel layout the reader
// keeps also goes through the writer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/image.h"

using namespace orrery::gdiplus;

namespace {

constexpr uint32_t kMaxPagesVisited = 16;

void encodeSmall(const Image& image) {
    if (static_cast<int64_t>(image.width()) * image.height() > 4096) return;
    ByteSink sink;
    if (codecs::tiffEncoder().encode(image, {}, sink) != Status::Ok) std::abort();
    Decoded back;
    // What the writer makes, the reader must take.
    if (codecs::tiffDecoder().decode(ByteSource::fromVector(std::move(sink)), {}, back) != Status::Ok)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool limited = (setPixelAllocationLimit(64 << 20), true);
    (void)limited;
    Decoded decoded;
    if (codecs::tiffDecoder().decode(ByteSource::copyOf({data, size}), {}, decoded) != Status::Ok) return 0;
    Image image(std::move(decoded));
    encodeSmall(image);
    uint32_t pages = 0;
    if (image.frameCount(FrameDimension::Page, pages) != Status::Ok) std::abort();
    for (uint32_t p = 1; p < pages && p < kMaxPagesVisited; ++p)
        if (image.selectActiveFrame(FrameDimension::Page, p) == Status::Ok) encodeSmall(image);
    (void)image.selectActiveFrame(FrameDimension::Page, 0);
    return 0;
}
