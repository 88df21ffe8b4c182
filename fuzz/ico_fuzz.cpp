// Decodes arbitrary bytes as an ICO/CUR file; an icon that decodes goes
// through an icon handle and back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/gdi/handles.h"
#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/dib.h"
#include "platform/gdiplus/image.h"
#include "platform/gdiplus/pixel_data.h"

using namespace orrery::gdiplus;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool limited = (setPixelAllocationLimit(64 << 20), true);
    (void)limited;
    Decoded decoded;
    if (codecs::icoDecoder().decode(ByteSource::copyOf({data, size}), DecodeOptions{}, decoded) !=
        Status::Ok)
        return 0;
    if (decoded.frame.pixels.format() != PixelFormat32bppARGB) std::abort();
    // The handle round trip is checked on icons of up to a million pixels.
    const PixelData& px = decoded.frame.pixels;
    if (int64_t{px.width()} * px.height() > (int64_t{1} << 20)) return 0;
    Image image(std::move(decoded));
    orrery::gdi::HICON icon = 0;
    if (createHICONFromBitmap(image, icon) != Status::Ok) std::abort();
    std::unique_ptr<Image> back;
    if (createBitmapFromHICON(icon, back) != Status::Ok) std::abort();
    if (back->width() != image.width() || back->height() != image.height()) std::abort();
    orrery::gdi::destroyIcon(icon);
    return 0;
}
