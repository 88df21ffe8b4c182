// Metadata of plug-in bitmaps: the IPTC tags the plug-in read (kept with the
// image-store entry), the EXIF, GPS, main and XMP tags carried over as
// property items of the decoded image, and the choice of resolution between
// the bitmap's own dots per inch and the resolution found in its tags.
#pragma once
#include <cstdint>
#include <vector>

#include "imaging/codec_plugin.h"

namespace orrery::gdiplus {
class Image;
struct PropertyItem;
}

namespace orrery::imaging {

// One tag as the plug-in reports it, in the plug-in's order.
struct PluginMetadataTag {
    int32_t id = 0;          // the plug-in's 16-bit tag identifier
    uint32_t length = 0;     // bytes of the value
    uint16_t type = 0;       // TagTypes value (1 byte ... 10 signed rational)
    std::vector<uint8_t> value;  // `length` bytes, empty when the length is 0
    uint32_t count = 0;      // number of values
};

struct ImportedMetadata {
    std::vector<PluginMetadataTag> iptc;
    // Resolution found in XResolution (282) and YResolution (283) tags; 0
    // when the tags do not give it.
    double dpiX = 0;
    double dpiY = 0;
    // Number of property items set on the image.
    int propertiesSet = 0;
};

// Reads the IPTC tags of `bitmap` into the result and sets its EXIF, GPS,
// main EXIF and XMP tags (in that order) on `image` as property items. A
// rational XResolution or YResolution tag holding one value above 0 also sets
// that axis of the image's resolution. Nothing happens without the plug-in.
ImportedMetadata importPluginMetadata(PluginHandle bitmap, gdiplus::Image& image);

// The resolution an image loaded through the plug-in gets. The bitmap's own
// dots per inch win, except that 72 x 72 (what the plug-in reports for files
// that store no resolution) gives way to a different resolution found in the
// metadata. Returns false when the chosen values are not both above 0, in
// which case the image keeps its resolution.
// Sets the property items `items` on `bitmap` as its EXIF tags (model 2),
// in order, each keyed by its tag name, with a text's count being its
// length; then both resolutions, when above 0, rounded to whole dots per
// inch. Items the plug-in refuses are left out. Returns the number of tags
// set.
int exportPluginMetadata(PluginHandle bitmap, const std::vector<gdiplus::PropertyItem>& items, double dpiX,
                         double dpiY);

bool choosePluginResolution(int bitmapDpiX, int bitmapDpiY, double metadataDpiX, double metadataDpiY,
                            double& dpiX, double& dpiY);

}  // namespace orrery::imaging
