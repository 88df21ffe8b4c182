#include "imaging/picture_sources.h"

#include <memory>
#include <string>
#include <vector>

#include "imaging/image_table.h"
#include "imaging/loaders.h"
#include "imaging/memory_sources.h"
#include "platform/automation/picture_file.h"
#include "platform/gdiplus/dib.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/graphics.h"
#include "platform/gdiplus/metafile_handles.h"
#include "platform/kernel/files.h"

namespace orrery::imaging {

namespace {

using gdiplus::Image;
using gdiplus::Status;

int32_t statusOf(Status s) { return static_cast<int32_t>(s); }

// The metafile drawn at its own size over opaque white, as a screen bitmap
// holds it, with the metafile's resolution.
Status rasteriseOnWhite(const Image& metafile, std::unique_ptr<Image>& out) {
    std::unique_ptr<Image> raster;
    Status s = gdiplus::createBitmapFromScan0(metafile.width(), metafile.height(), 0, gdiplus::PixelFormat32bppRGB,
                                              nullptr, raster);
    std::unique_ptr<gdiplus::Graphics> graphics;
    if (s == Status::Ok) s = gdiplus::Graphics::fromImage(*raster, graphics);
    if (s == Status::Ok) s = graphics->clear(0xFFFFFFFF);
    if (s == Status::Ok)
        s = graphics->drawImageRect(metafile, gdiplus::RectF{0, 0, static_cast<float>(metafile.width()),
                                                             static_cast<float>(metafile.height())});
    graphics.reset();
    if (s == Status::Ok) s = raster->setResolution(metafile.horizontalResolution(), metafile.verticalResolution());
    if (s == Status::Ok) out = std::move(raster);
    return s;
}

int32_t addRaster(int32_t& id, Status made, const std::unique_ptr<Image>& metafile) {
    if (made != Status::Ok) return statusOf(made);
    std::unique_ptr<Image> raster;
    const Status s = rasteriseOnWhite(*metafile, raster);
    if (s != Status::Ok) return statusOf(s);
    modMain::AddImage(id, std::move(raster), "", "", SourceHBitmap);
    return 0;
}

// The icon through the picture saver and the file loader; the file lives
// with the entry, or goes when the load fails. The file loader's own picture
// route may come back here with the saved icon: that second time fails.
int32_t loadIconThroughFile(int32_t& id, const automation::IPicture& picture) {
    static thread_local bool saving = false;
    if (saving) return statusOf(Status::InvalidParameter);
    saving = true;
    struct Done {
        ~Done() { saving = false; }
    } done;
    std::vector<uint8_t> bytes;
    if (automation::savePicture(picture, bytes) != automation::S_OK) return statusOf(Status::InvalidParameter);
    std::string path;
    if (const int32_t written = WriteBytesToTempFile(bytes, path); written != 0) return written;
    const int32_t status = LoadImageFromFile(id, path);
    if (status != 0) {
        kernel::removeQuietly(path);
        return status;
    }
    modMain::SetImageTempFile(id, path);
    return 0;
}

}  // namespace

int32_t LoadFromPicture(int32_t& id, const automation::IPicture& picture) {
    std::unique_ptr<Image> image;
    switch (picture.type()) {
        case automation::PICTYPE_BITMAP: {
            const Status s = gdiplus::createBitmapFromHBITMAP(picture.handle(), image);
            if (s != Status::Ok) return statusOf(s);
            modMain::AddImage(id, std::move(image), "", "", SourceHBitmap);
            return 0;
        }
        case automation::PICTYPE_ICON: {
            if (gdiplus::createBitmapFromHICON(picture.handle(), image) != Status::Ok)
                return loadIconThroughFile(id, picture);
            modMain::AddImage(id, std::move(image), "", "", SourceHIcon);
            return 0;
        }
        case automation::PICTYPE_METAFILE: {
            gdiplus::WmfPlaceableFileHeader header;
            if (!gdiplus::placeableHeaderOfHimetric(picture.width(), picture.height(), header))
                return statusOf(Status::InvalidParameter);
            return addRaster(id, gdiplus::createMetafileFromWmf(picture.handle(), header, image), image);
        }
        case automation::PICTYPE_ENHMETAFILE:
            return addRaster(id, gdiplus::createMetafileFromEmf(picture.handle(), image), image);
        default: return statusOf(Status::InvalidParameter);
    }
}

}  // namespace orrery::imaging
