// Decodes arbitrary bytes as GIF, selects every frame forwards and then the
// first again, and re-encodes small frames.
#include <cstddef>
#include <cstdint>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/image.h"

using namespace orrery::gdiplus;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool limited = (setPixelAllocationLimit(64 << 20), true);
    (void)limited;
    Decoded decoded;
    if (codecs::gifDecoder().decode(ByteSource::copyOf({data, size}), {}, decoded) != Status::Ok)
        return 0;
    Image image(std::move(decoded));
    uint32_t frames = 1;
    if (image.frameCount(FrameDimension::Time, frames) != Status::Ok) frames = 1;
    for (uint32_t i = 1; i < frames; ++i) image.selectActiveFrame(FrameDimension::Time, i);
    if (frames > 1) image.selectActiveFrame(FrameDimension::Time, 0);
    if (image.width() * image.height() <= 256 * 256) {
        ByteSink out;
        image.saveToBytes(CodecClsid::GIF, {}, out);
    }
    return 0;
}
