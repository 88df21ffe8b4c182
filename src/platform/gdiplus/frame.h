// One decoded frame (or page) of an image and the interface through which a
// multi-frame image decodes its further frames on selection.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "orrery/gdiplus/guid.h"
#include "platform/gdiplus/pixel_data.h"
#include "platform/gdiplus/property_item.h"

namespace orrery::gdiplus {

enum ImageFlags : uint32_t {
    ImageFlagsNone = 0,
    ImageFlagsScalable = 0x1,
    ImageFlagsHasAlpha = 0x2,
    ImageFlagsHasTranslucent = 0x4,
    ImageFlagsPartiallyScalable = 0x8,
    ImageFlagsColorSpaceRGB = 0x10,
    ImageFlagsColorSpaceCMYK = 0x20,
    ImageFlagsColorSpaceGRAY = 0x40,
    ImageFlagsColorSpaceYCBCR = 0x80,
    ImageFlagsColorSpaceYCCK = 0x100,
    ImageFlagsHasRealDPI = 0x1000,
    ImageFlagsHasRealPixelSize = 0x2000,
    ImageFlagsReadOnly = 0x10000,
    ImageFlagsCaching = 0x20000,
};

// Resolution reported by images that store none.
inline constexpr float kDefaultDpi = 96.0f;

struct Frame {
    PixelData pixels;
    Palette palette;  // indexed formats only
    float dpiX = kDefaultDpi;
    float dpiY = kDefaultDpi;
    uint32_t flags = ImageFlagsNone;  // colour space, real dpi, alpha
    std::vector<PropertyItem> properties;
    std::vector<uint8_t> iccProfile;  // embedded colour profile, if any
    // The decoder knows every pixel's alpha is 255 (a composed animation
    // frame without holes), so drawing need not look at them to know it.
    bool opaque = false;
};

// Decodes frames of a multi-frame image on demand. Frame 0 is decoded by the
// loader itself; the source is asked for any frame when it is selected.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual Guid dimension() const = 0;  // FrameDimension::Page or ::Time
    virtual uint32_t count() const = 0;
    // Decodes frame `index` (< count()) into `out`.
    virtual Status decode(uint32_t index, Frame& out) = 0;
};

}  // namespace orrery::gdiplus
