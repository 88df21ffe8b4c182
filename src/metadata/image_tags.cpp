#include "metadata/image_tags.h"

#include <cstring>

#include "imaging/image_table.h"
#include "metadata/value_text.h"
#include "platform/gdiplus/image.h"

namespace orrery::metadata {

namespace {

using gdiplus::Status;

void put32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The imaging layer's item buffer: identifier, length, type (and two bytes
// of padding), the place of the value, then the value bytes. Fails, as the
// layer does, when `buffer` cannot hold them.
Status fillItemBuffer(const gdiplus::Image& image, uint32_t id, std::vector<uint8_t>& buffer) {
    gdiplus::PropertyItem item;
    if (Status s = image.getPropertyItem(id, item); s != Status::Ok) return s;
    if (buffer.size() < cGDIPPropertyItem::kHeaderSize + item.value.size()) return Status::InvalidParameter;
    put32(buffer.data(), item.id);
    put32(buffer.data() + 4, item.length());
    put32(buffer.data() + 8, item.type);
    put32(buffer.data() + 12, static_cast<uint32_t>(cGDIPPropertyItem::kHeaderSize));
    if (!item.value.empty())
        std::memcpy(buffer.data() + cGDIPPropertyItem::kHeaderSize, item.value.data(), item.value.size());
    return Status::Ok;
}

uint32_t get32(const uint8_t* at) {
    return at[0] | at[1] << 8 | at[2] << 16 | static_cast<uint32_t>(at[3]) << 24;
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
    const uint32_t count = image.propertyCount();
    if (n < 1 || static_cast<uint32_t>(n) > count) return false;
    const uint32_t id = image.propertyIdList()[static_cast<size_t>(n) - 1];
    uint32_t size = 0;
    if (image.propertyItemSize(id, size) != Status::Ok) return false;
    std::vector<uint8_t> buffer(size);
    if (size < cGDIPPropertyItem::kHeaderSize || fillItemBuffer(image, id, buffer) != Status::Ok) {
        item = cGDIPPropertyItem();
        return true;
    }
    const auto type = static_cast<uint16_t>(get32(buffer.data() + 8));
    item.Initialise(get32(buffer.data()), get32(buffer.data() + 4), type, buffer.data(), buffer.size());
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
