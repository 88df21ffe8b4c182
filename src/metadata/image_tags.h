// The tags of an image-store entry as the control lists them: its property
// items (EXIF, TIFF and GPS tags) read one by one through the imaging
// layer's item buffers, and the IPTC entries the codec plug-in read when the
// image was loaded. A frame container answers with its current frame.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/plugin_metadata.h"
#include "metadata/gdip_property_item.h"
#include "platform/gdiplus/status.h"

namespace orrery::gdiplus {
class Image;
}

namespace orrery::metadata {

// The image of entry `imageId` (its current frame's for a container); null
// when there is none.
gdiplus::Image* TaggedImage(int32_t imageId);

// The number of property items of `image`; InvalidParameter when there is no
// image.
gdiplus::Status ExifItemCount(const gdiplus::Image* image, uint32_t& count);

// Item `n` (from 1, in the order of the identifier list). False, with no
// item, when `n` is outside 1..count.
bool ReadExifItem(const gdiplus::Image& image, int32_t n, cGDIPPropertyItem& item);
// The identifier of item `n` alone; false when `n` is outside 1..count.
bool ReadExifItemId(const gdiplus::Image& image, int32_t n, uint32_t& id);

// The value text of an item (FormatTagValue with its count).
std::string ExifValueText(const cGDIPPropertyItem& item);
// The value text of item `n` read in place, as ExifValueText of the item
// ReadExifItem gives; false when `n` is outside 1..count.
bool ReadExifValueText(const gdiplus::Image& image, int32_t n, std::string& text);

// The IPTC entries of entry `imageId` (its current frame's for a container);
// null when there is no such entry.
const std::vector<imaging::PluginMetadataTag>* IptcEntries(int32_t imageId);

// The value text of an IPTC entry.
std::string IptcValueText(const imaging::PluginMetadataTag& entry);

}  // namespace orrery::metadata
