#include "imaging/memory_sources.h"

#include <memory>

#include "imaging/image_table.h"
#include "platform/gdiplus/dib.h"

namespace orrery::imaging {

namespace {

int32_t statusOf(gdiplus::Status s) { return static_cast<int32_t>(s); }

int32_t copyToClipboard(const gdiplus::Image& image, window::Clipboard& clipboard) {
    gdi::HBITMAP bitmap = 0;
    gdiplus::Status s = gdiplus::createHBITMAPFromBitmap(image, 0, bitmap);
    if (s != gdiplus::Status::Ok) return statusOf(s);
    clipboard.empty();
    if (!clipboard.setData(window::CF_BITMAP, bitmap)) {
        gdi::deleteBitmap(bitmap);
        return statusOf(gdiplus::Status::GenericError);
    }
    return 0;
}

}  // namespace

int32_t CopyImageToClipboard(int32_t id, window::Clipboard& clipboard) {
    const gdiplus::Image* image = modMain::GetGdiImage(id);
    if (!image) return statusOf(gdiplus::Status::InvalidParameter);
    return copyToClipboard(*image, clipboard);
}

int32_t CopyImageAreaToClipboard(int32_t id, const gdiplus::Rect& area, window::Clipboard& clipboard) {
    const gdiplus::Image* image = modMain::GetGdiImage(id);
    if (!image) return statusOf(gdiplus::Status::InvalidParameter);
    std::unique_ptr<gdiplus::Image> clone;
    gdiplus::Status s = image->cloneArea(area, image->pixelFormat(), clone);
    if (s != gdiplus::Status::Ok) return statusOf(s);
    return copyToClipboard(*clone, clipboard);
}

}  // namespace orrery::imaging
