// Decodes arbitrary bytes as a BMP file; what decodes is written back and
// must decode again to the same size and pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/image.h"
#include "platform/gdiplus/pixel_data.h"

using namespace orrery::gdiplus;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool limited = (setPixelAllocationLimit(64 << 20), true);
    (void)limited;
    Decoded decoded;
    if (codecs::bmpDecoder().decode(ByteSource::copyOf({data, size}), DecodeOptions{}, decoded) !=
        Status::Ok)
        return 0;
    // The round trip is checked on images of up to a million pixels: it is
    // the decoder that is under test, and large ones only slow the search.
    const PixelData& decodedPixels = decoded.frame.pixels;
    if (int64_t{decodedPixels.width()} * decodedPixels.height() > (int64_t{1} << 20)) return 0;
    Image image(std::move(decoded));
    ByteSink bytes;
    if (codecs::bmpEncoder().encode(image, {}, bytes) != Status::Ok) std::abort();
    Decoded again;
    if (codecs::bmpDecoder().decode(ByteSource::fromVector(std::move(bytes)), DecodeOptions{}, again) !=
        Status::Ok)
        std::abort();
    const PixelData& a = image.pixels();
    const PixelData& b = again.frame.pixels;
    if (a.width() != b.width() || a.height() != b.height()) std::abort();
    std::vector<ARGB> ra(static_cast<size_t>(a.width())), rb(ra.size());
    for (int y = 0; y < a.height(); ++y) {
        rowToArgb32(a.format(), a.row(y), 0, a.width(), &image.palette(), ra.data());
        rowToArgb32(b.format(), b.row(y), 0, b.width(), &again.frame.palette, rb.data());
        for (size_t x = 0; x < ra.size(); ++x)
            if ((ra[x] >> 24) != 0 && ra[x] != rb[x]) std::abort();
    }
    return 0;
}
