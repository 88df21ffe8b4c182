// Decodes arbitrary bytes as PNG, with and without colour management, reads
// every pixel, and re-encodes small images.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/image.h"

using namespace orrery::gdiplus;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool limited = (setPixelAllocationLimit(64 << 20), true);
    (void)limited;
    auto bytes = ByteSource::copyOf({data, size});
    for (bool icm : {false, true}) {
        DecodeOptions options;
        options.useEmbeddedColorManagement = icm;
        Decoded decoded;
        if (codecs::pngDecoder().decode(bytes, options, decoded) != Status::Ok) return 0;
        const PixelData& px = decoded.frame.pixels;
        std::vector<uint64_t> row(static_cast<size_t>(px.width()));
        for (int y = 0; y < px.height(); ++y)
            rowToArgb64(px.format(), px.row(y), 0, px.width(), &decoded.frame.palette, row.data());
        if (icm || px.width() * px.height() > 256 * 256) continue;
        Image image(std::move(decoded));
        ByteSink out;
        image.saveToBytes(CodecClsid::PNG, {}, out);
    }
    return 0;
}
