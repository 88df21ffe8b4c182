#include "platform/automation/picture.h"

#include <cmath>

#include "platform/gdi/handles.h"
#include "platform/gdiplus/metafile_format.h"

namespace orrery::automation {

namespace {

constexpr double kHimetricPerInch = 2540;
constexpr double kScreenDpi = 96;

int32_t clampToLong(double value) {
    if (!(value > INT32_MIN)) return INT32_MIN;
    if (!(value < INT32_MAX)) return INT32_MAX;
    return static_cast<int32_t>(std::lround(value));
}

// An enhanced metafile's size is its frame, kept in HIMETRIC in its header.
void frameOfEnhancedMetafile(const std::vector<uint8_t>& bits, int32_t& width, int32_t& height) {
    using gdiplus::metafile::le32;
    auto field = [&](size_t at) { return static_cast<double>(static_cast<int32_t>(le32(&bits[at]))); };
    width = clampToLong(field(32) - field(24));
    height = clampToLong(field(36) - field(28));
}

// The picture's size in HIMETRIC; false when the handle names no object of the type.
bool measure(const PictureDescription& d, int32_t& width, int32_t& height) {
    switch (d.type) {
        case PICTYPE_NONE:
            width = height = 0;
            return true;
        case PICTYPE_BITMAP: {
            const gdi::DibSection* section = gdi::bitmap(d.handle);
            if (!section) return false;
            width = himetricOfPixels(section->width);
            height = himetricOfPixels(section->height < 0 ? -section->height : section->height);
            return true;
        }
        case PICTYPE_ICON: {
            const gdi::IconInfo* icon = gdi::icon(d.handle);
            if (!icon) return false;
            width = himetricOfPixels(icon->color.width);
            height = himetricOfPixels(icon->color.height < 0 ? -icon->color.height : icon->color.height);
            return true;
        }
        case PICTYPE_METAFILE:
            if (!gdi::metaFileBits(d.handle)) return false;
            width = d.metafileWidth;
            height = d.metafileHeight;
            return true;
        case PICTYPE_ENHMETAFILE: {
            const std::vector<uint8_t>* bits = gdi::enhMetaFileBits(d.handle);
            if (!bits) return false;
            frameOfEnhancedMetafile(*bits, width, height);
            return true;
        }
        default: return false;
    }
}

}  // namespace

int32_t himetricOfPixels(int32_t pixels) { return clampToLong(pixels * kHimetricPerInch / kScreenDpi); }

HRESULT Picture::create(const PictureDescription& description, bool own, std::shared_ptr<Picture>& out) {
    int32_t width = 0, height = 0;
    if (!measure(description, width, height)) return E_INVALIDARG;
    out.reset(new Picture(description, own, width, height));
    return S_OK;
}

Picture::~Picture() {
    if (!own_) return;
    switch (description_.type) {
        case PICTYPE_BITMAP: gdi::deleteBitmap(description_.handle); break;
        case PICTYPE_METAFILE: gdi::deleteMetaFile(description_.handle); break;
        case PICTYPE_ICON: gdi::destroyIcon(description_.handle); break;
        case PICTYPE_ENHMETAFILE: gdi::deleteEnhMetaFile(description_.handle); break;
        default: break;
    }
}

const DispatchTable<Picture>& Picture::dispatchTable() {
    using Table = DispatchTable<Picture>;
    static const Table table("IPictureDisp", {
        Table::readOnly("Handle", 0, &Picture::Handle),
        Table::property("hPal", 2, &Picture::hPal, &Picture::sethPal),
        Table::readOnly("Type", 3, &Picture::Type),
        Table::readOnly("Width", 4, &Picture::Width),
        Table::readOnly("Height", 5, &Picture::Height),
    });
    return table;
}

HRESULT Picture::QueryInterface(const Guid& iid, void** object) {
    if (!object) return E_INVALIDARG;
    *object = nullptr;
    if (iid == IID_IUnknown) *object = static_cast<IUnknown*>(this);
    else if (iid == IID_IDispatch || iid == IID_IPictureDisp) *object = static_cast<IDispatch*>(this);
    else if (iid == IID_IPicture) *object = static_cast<IPicture*>(this);
    return *object ? S_OK : E_NOINTERFACE;
}

IPicture* pictureOf(IDispatch* object) {
    auto* unknown = dynamic_cast<IUnknown*>(object);
    return unknown ? queryInterface<IPicture>(*unknown, IID_IPicture) : nullptr;
}

}  // namespace orrery::automation
