// Decodes arbitrary bytes as JPEG, with and without colour management, and
// re-encodes what decodes.
#include <cstddef>
#include <cstdint>

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
        if (codecs::jpegDecoder().decode(bytes, options, decoded) != Status::Ok) return 0;
        if (icm) continue;
        // Small images only: the encoder is not what this target explores.
        if (decoded.frame.pixels.width() * decoded.frame.pixels.height() > 256 * 256) continue;
        Image image(std::move(decoded));
        ByteSink out;
        image.saveToBytes(CodecClsid::JPEG, {}, out);
    }
    return 0;
}
