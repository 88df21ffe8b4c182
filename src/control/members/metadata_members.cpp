// The members of _Orrery that list the shown image's tags: its property
// items (EXIF, TIFF, GPS) and the IPTC tags the codec plug-in read. The work
// is the metadata module's (metadata/).
#include <optional>

#include "control/members/families.h"
#include "imaging/codec_plugin.h"
#include "metadata/image_tags.h"
#include "metadata/tag_names.h"

namespace orrery::control {

using automation::arg;

namespace {

constexpr int32_t kPropertyNotFound = static_cast<int32_t>(QuillonStatus::PropertyNotFound);
constexpr int32_t kPluginRequired = static_cast<int32_t>(QuillonStatus::VorplexDllRequired);

// The identifier of property item nTagNo of the image shown; none when there
// is no such item. The identifier and the name need no value bytes.
std::optional<uint32_t> exifItemId(int32_t imageId, int32_t nTagNo) {
    const gdiplus::Image* image = metadata::TaggedImage(imageId);
    uint32_t id = 0;
    if (!image || !metadata::ReadExifItemId(*image, nTagNo, id)) return std::nullopt;
    return id;
}

// IPTC tag nTagNo of the image shown, with the status the IPTC members
// store: the plug-in first, then the image and the number.
const imaging::PluginMetadataTag* iptcEntry(int32_t imageId, int32_t nTagNo, int32_t& status) {
    if (!imaging::IsPluginAvailable()) {
        status = kPluginRequired;
        return nullptr;
    }
    const auto* entries = metadata::IptcEntries(imageId);
    if (!entries || nTagNo < 1 || static_cast<size_t>(nTagNo) > entries->size()) {
        status = kPropertyNotFound;
        return nullptr;
    }
    status = 0;
    return &(*entries)[static_cast<size_t>(nTagNo) - 1];
}

}  // namespace

std::vector<OrreryTable::Row> metadataRows() {
    using Table = OrreryTable;
    return {
        Table::method("ExifTagCount", 0x600300A9, &Orrery::ExifTagCount),
        Table::method("IPTCTagCount", 0x600300AA, &Orrery::IPTCTagCount),
        Table::method("ExifTagGetName", 0x600300AB, &Orrery::ExifTagGetName, {arg("nTagNo")}),
        Table::method("ExifTagGetValue", 0x600300AC, &Orrery::ExifTagGetValue, {arg("nTagNo")}),
        Table::method("ExifTagGetID", 0x600300AD, &Orrery::ExifTagGetID, {arg("nTagNo")}),
        Table::method("IPTCTagGetID", 0x600300AE, &Orrery::IPTCTagGetID, {arg("nTagNo")}),
        Table::method("IPTCTagGetValueString", 0x600300AF, &Orrery::IPTCTagGetValueString, {arg("nTagNo")}),
    };
}

int32_t Orrery::ExifTagCount() {
    uint32_t count = 0;
    state().status = static_cast<int32_t>(metadata::ExifItemCount(metadata::TaggedImage(state().currentImage), count));
    return static_cast<int32_t>(count);
}

int32_t Orrery::ExifTagGetID(int32_t nTagNo) const {
    return static_cast<int32_t>(exifItemId(state().currentImage, nTagNo).value_or(0));
}

std::string Orrery::ExifTagGetName(int32_t nTagNo) const {
    const std::optional<uint32_t> id = exifItemId(state().currentImage, nTagNo);
    return id ? metadata::TagName(*id) : std::string();
}

std::string Orrery::ExifTagGetValue(int32_t nTagNo) const {
    const gdiplus::Image* image = metadata::TaggedImage(state().currentImage);
    std::string text;
    return image && metadata::ReadExifValueText(*image, nTagNo, text) ? text : std::string();
}

int32_t Orrery::IPTCTagCount() {
    if (!imaging::IsPluginAvailable()) {
        state().status = kPluginRequired;
        return 0;
    }
    state().status = 0;
    const auto* entries = metadata::IptcEntries(state().currentImage);
    return entries ? static_cast<int32_t>(entries->size()) : 0;
}

int32_t Orrery::IPTCTagGetID(int32_t nTagNo) {
    const imaging::PluginMetadataTag* entry = iptcEntry(state().currentImage, nTagNo, state().status);
    return entry ? entry->id : 0;
}

std::string Orrery::IPTCTagGetValueString(int32_t nTagNo) {
    const imaging::PluginMetadataTag* entry = iptcEntry(state().currentImage, nTagNo, state().status);
    return entry ? metadata::IptcValueText(*entry) : std::string();
}

}  // namespace orrery::control
