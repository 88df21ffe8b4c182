#include "metadata/image_tags.h"

#include "imaging/image_table.h"
#include "metadata/value_text.h"
#include "platform/gdiplus/image.h"

namespace orrery::metadata {

namespace {

using gdiplus::Status;

// Item n of the image's list: the list and the items are the image's own,
// read in place (the imaging layer hands out item n of its identifier list
// as this very item, so no copy of the list or search by identifier is
// needed).
const gdiplus::PropertyItem* itemAt(const gdiplus::Image& image, int32_t n) {
    const auto& items = image.properties();
    if (n < 1 || static_cast<size_t>(n) > items.size()) return nullptr;
    return &items[static_cast<size_t>(n) - 1];
}

}  // namespace

gdiplus::Image* TaggedImage(int32_t imageId) {
    if (imageId == 0) return nullptr;
    return imaging::modMain::GetGdiImage(imaging::modMain::ResolveFrameImageId(imageId));
}

Status ExifItemCount(const gdiplus::Image* image, uint32_t& count) {
    count = 0;
    if (!image) return Status::InvalidParameter;
    count = image->propertyCount();
    return Status::Ok;
}

bool ReadExifItem(const gdiplus::Image& image, int32_t n, cGDIPPropertyItem& item) {
    const gdiplus::PropertyItem* p = itemAt(image, n);
    if (!p) return false;
    item.InitialiseValue(p->id, p->length(), p->type, p->value);
    return true;
}

bool ReadExifItemId(const gdiplus::Image& image, int32_t n, uint32_t& id) {
    const gdiplus::PropertyItem* p = itemAt(image, n);
    if (p) id = p->id;
    return p != nullptr;
}

bool ReadExifValueText(const gdiplus::Image& image, int32_t n, std::string& text) {
    const gdiplus::PropertyItem* p = itemAt(image, n);
    if (!p) return false;
    text = FormatTagValue(p->id, p->type, p->length(), ValueCountOf(p->type, p->length()), p->value);
    return true;
}

std::string ExifValueText(const cGDIPPropertyItem& item) {
    return FormatTagValue(item.ID(), item.ItemType(), item.Length(), item.ValueCount(), item.value());
}

const std::vector<imaging::PluginMetadataTag>* IptcEntries(int32_t imageId) {
    if (imageId == 0) return nullptr;
    const imaging::ImageEntry* entry = imaging::modMain::FindEntry(imaging::modMain::ResolveFrameImageId(imageId));
    return entry ? &entry->PluginMetadata : nullptr;
}

std::string IptcValueText(const imaging::PluginMetadataTag& entry) {
    return FormatTagValue(static_cast<uint32_t>(entry.id), entry.type, entry.length, entry.count, entry.value);
}

}  // namespace orrery::metadata
