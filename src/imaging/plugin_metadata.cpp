#include "imaging/plugin_metadata.h"

#include <cmath>
#include <cstring>
#include <string>
#include <functional>

#include "imaging/plugin_api.h"
#include "metadata/gdip_property_item.h"
#include "metadata/tag_names.h"
#include "platform/gdiplus/image.h"

namespace orrery::imaging {

namespace {

constexpr uint16_t kXResolution = 282;
constexpr uint16_t kYResolution = 283;
constexpr uint16_t kTypeRational = 5;
constexpr int kPluginDefaultDpi = 72;

PluginMetadataTag readTag(const plugin::Functions& f, plugin::FITAG* tag) {
    PluginMetadataTag t;
    if (f.GetTagID) t.id = f.GetTagID(tag);
    if (f.GetTagType) t.type = static_cast<uint16_t>(f.GetTagType(tag));
    if (f.GetTagCount) t.count = f.GetTagCount(tag);
    if (f.GetTagLength) t.length = f.GetTagLength(tag);
    const void* value = f.GetTagValue ? f.GetTagValue(tag) : nullptr;
    if (t.length > 0 && value) {
        const auto* bytes = static_cast<const uint8_t*>(value);
        t.value.assign(bytes, bytes + t.length);
    } else {
        t.length = 0;
    }
    return t;
}

// Calls `visit` for every tag of `model`, in the plug-in's order. The count is
// asked first so that an empty model opens no search.
void forEachTag(const plugin::Functions& f, int model, PluginHandle bitmap,
                const std::function<void(const PluginMetadataTag&)>& visit) {
    if (!f.GetMetadataCount || !f.FindFirstMetadata || !f.FindNextMetadata || !f.FindCloseMetadata) return;
    auto* dib = static_cast<plugin::FIBITMAP*>(bitmap);
    if (f.GetMetadataCount(model, dib) == 0) return;
    plugin::FITAG* tag = nullptr;
    plugin::FIMETADATA* search = f.FindFirstMetadata(model, dib, &tag);
    if (!search) return;
    do {
        if (tag) visit(readTag(f, tag));
    } while (f.FindNextMetadata(search, &tag));
    f.FindCloseMetadata(search);
}

// Numerator / denominator of a single rational, or 0 when the tag does not
// hold one usable value. Both halves are read as the signed 32-bit numbers
// the value texts show, so a numerator with its top bit set (0xFFFFFFFF, -1)
// is refused rather than giving four billion dots per inch.
double singleRational(const PluginMetadataTag& t) {
    if (t.type != kTypeRational || t.count != 1 || t.length != 8 || t.value.size() != 8) return 0;
    int32_t num = 0, den = 0;
    std::memcpy(&num, t.value.data(), 4);
    std::memcpy(&den, t.value.data() + 4, 4);
    if (num <= 0 || den < 1) return 0;
    return static_cast<double>(num) / den;
}

void setAsProperty(const PluginMetadataTag& t, gdiplus::Image& image, ImportedMetadata& out) {
    gdiplus::PropertyItem item;
    item.id = static_cast<uint32_t>(t.id);
    item.type = t.type;
    item.value = t.value;
    if (image.setPropertyItem(item) == gdiplus::Status::Ok) ++out.propertiesSet;
    if (t.id != kXResolution && t.id != kYResolution) return;
    const double dpi = singleRational(t);
    if (!(dpi > 0)) return;
    const auto value = static_cast<float>(dpi);
    if (t.id == kXResolution) {
        out.dpiX = dpi;
        image.setResolution(value, image.verticalResolution());
    } else {
        out.dpiY = dpi;
        image.setResolution(image.horizontalResolution(), value);
    }
}

// The count a plug-in tag of this item gets. A text counts its characters:
// the plug-in refuses a value whose count times the width of its type is
// not its length, so a count of 1 would drop every text but the empty one.
uint32_t exportedCount(const gdiplus::PropertyItem& item) {
    if (item.type == metadata::TagTypeASCII) return item.length();
    return metadata::ValueCountOf(item.type, item.length());
}

// A resolution item of 9 bytes goes out as the 8 of its one rational.
uint32_t exportedLength(const gdiplus::PropertyItem& item) {
    const bool resolution = item.id == kXResolution || item.id == kYResolution;
    return resolution && item.length() == 9 ? 8 : item.length();
}

// Fills `tag` from `item`; false when the plug-in refuses the value.
bool fillTag(const plugin::Functions& f, plugin::FITAG* tag, const gdiplus::PropertyItem& item) {
    const std::string key = metadata::TagName(item.id);
    f.SetTagKey(tag, key.c_str());
    f.SetTagLength(tag, exportedLength(item));
    f.SetTagCount(tag, exportedCount(item));
    f.SetTagType(tag, item.type);
    f.SetTagID(tag, static_cast<uint16_t>(item.id));
    // The plug-in copies its length from the value: never less than that.
    if (item.value.size() < exportedLength(item)) return false;
    return f.SetTagValue(tag, item.value.data()) != 0;
}

bool canExport(const plugin::Functions& f) {
    return f.CreateTag && f.DeleteTag && f.SetTagKey && f.SetTagLength && f.SetTagCount && f.SetTagType &&
           f.SetTagID && f.SetTagValue && f.GetTagKey && f.SetMetadata;
}

}  // namespace

int exportPluginMetadata(PluginHandle bitmap, const std::vector<gdiplus::PropertyItem>& items, double dpiX,
                         double dpiY) {
    const plugin::Functions* f = plugin::functions();
    if (!f || !bitmap) return 0;
    auto* dib = static_cast<plugin::FIBITMAP*>(bitmap);
    int set = 0;
    if (canExport(*f)) {
        // A tag the plug-in refused stays at hand for the next item.
        plugin::FITAG* tag = nullptr;
        for (const gdiplus::PropertyItem& item : items) {
            if (!tag) tag = f->CreateTag();
            if (!tag) continue;
            if (!fillTag(*f, tag, item)) continue;
            const char* key = f->GetTagKey(tag);
            if (key && f->SetMetadata(plugin::MetadataModel::ExifExif, dib, key, tag)) ++set;
            f->DeleteTag(tag);
            tag = nullptr;
        }
        if (tag) f->DeleteTag(tag);
    }
    if (dpiX > 0 && dpiY > 0 && f->SetDotsPerMeterX && f->SetDotsPerMeterY) {
        f->SetDotsPerMeterX(dib, plugin::dpiToDpm(std::nearbyint(dpiX)));
        f->SetDotsPerMeterY(dib, plugin::dpiToDpm(std::nearbyint(dpiY)));
    }
    return set;
}

ImportedMetadata importPluginMetadata(PluginHandle bitmap, gdiplus::Image& image) {
    ImportedMetadata out;
    const plugin::Functions* f = plugin::functions();
    if (!f || !bitmap) return out;
    forEachTag(*f, plugin::MetadataModel::Iptc, bitmap,
               [&](const PluginMetadataTag& t) { out.iptc.push_back(t); });
    for (int model : {plugin::MetadataModel::ExifExif, plugin::MetadataModel::ExifGps,
                      plugin::MetadataModel::ExifMain, plugin::MetadataModel::Xmp}) {
        forEachTag(*f, model, bitmap, [&](const PluginMetadataTag& t) { setAsProperty(t, image, out); });
    }
    return out;
}

bool choosePluginResolution(int bitmapDpiX, int bitmapDpiY, double metadataDpiX, double metadataDpiY,
                            double& dpiX, double& dpiY) {
    dpiX = bitmapDpiX;
    dpiY = bitmapDpiY;
    const bool differs = metadataDpiX != bitmapDpiX || metadataDpiY != bitmapDpiY;
    if (differs && bitmapDpiX == kPluginDefaultDpi && bitmapDpiY == kPluginDefaultDpi) {
        dpiX = metadataDpiX;
        dpiY = metadataDpiY;
    }
    return dpiX > 0 && dpiY > 0;
}

}  // namespace orrery::imaging
