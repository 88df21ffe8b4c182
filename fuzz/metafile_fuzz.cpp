// Reads arbitrary bytes as WMF and EMF headers: a recognised metafile has a
// positive size and no pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/pixel_data.h"

using namespace orrery::gdiplus;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool limited = (setPixelAllocationLimit(64 << 20), true);
    (void)limited;
    auto bytes = ByteSource::copyOf({data, size});
    for (const Decoder* d : {&codecs::wmfDecoder(), &codecs::emfDecoder()}) {
        Decoded out;
        if (d->decode(bytes, {}, out) != Status::Ok) continue;
        if (!out.isMetafile || out.metafileWidth < 1 || out.metafileHeight < 1 || !out.frame.pixels.empty())
            std::abort();
    }
    return 0;
}
