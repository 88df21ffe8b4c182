#include "imaging/memory_sources.h"

#include <climits>
#include <cmath>
#include <memory>
#include <span>

#include "imaging/image_info.h"
#include "imaging/image_table.h"
#include "imaging/picture_sources.h"
#include "platform/automation/picture.h"
#include "platform/gdiplus/dib.h"
#include "platform/gdiplus/byte_source.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/metafile_raster.h"
#include "platform/kernel/files.h"

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

// Adds a decoded picture as a new entry of `kind`.
int32_t addDecoded(int32_t& id, gdiplus::Status decoded, std::unique_ptr<gdiplus::Image> image,
                   ImageSourceKind kind) {
    if (decoded != gdiplus::Status::Ok) return statusOf(decoded);
    modMain::AddImage(id, std::move(image), "", "", kind);
    return 0;
}

bool isOneBitWhiteFirst(const gdiplus::Image& image) {
    const auto& colours = image.palette().entries;
    return image.pixelFormat() == gdiplus::PixelFormat1bppIndexed && colours.size() == 2 &&
           colours[0] == 0xFFFFFFFFu && colours[1] == 0xFF000000u;
}

// Black first, white second, every index inverted: the same picture.
gdiplus::Status swapToBlackFirst(gdiplus::Image& image) {
    gdiplus::BitmapData data;
    const gdiplus::Rect all{0, 0, image.width(), image.height()};
    gdiplus::Status s = image.lockBits(&all, gdiplus::ImageLockModeRead | gdiplus::ImageLockModeWrite,
                                       gdiplus::PixelFormat1bppIndexed, data);
    if (s != gdiplus::Status::Ok) return s;
    const size_t rowBytes = (static_cast<size_t>(data.width) + 7) / 8;
    for (int y = 0; y < data.height; ++y) {
        uint8_t* row = data.scan0 + y * data.stride;
        for (size_t i = 0; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(~row[i]);
    }
    s = image.unlockBits(data);
    if (s != gdiplus::Status::Ok) return s;
    gdiplus::Palette blackFirst = image.palette();
    blackFirst.entries = {0xFF000000u, 0xFFFFFFFFu};
    return image.setPalette(blackFirst);
}

// Pels per metre as dots per inch, rounded as asked.
float dotsPerInch(int32_t pelsPerMeter, ResolutionRounding rounding) {
    const double dpi = pelsPerMeter * 0.0254;
    return static_cast<float>(rounding == ResolutionRounding::Whole ? std::round(dpi)
                                                                    : std::round(dpi * 1000.0) / 1000.0);
}

}  // namespace

int32_t LoadFromHBitmap(int32_t& id, gdi::HBITMAP bitmap) {
    std::unique_ptr<gdiplus::Image> image;
    gdiplus::Status s = gdiplus::createBitmapFromHBITMAP(bitmap, image);
    return addDecoded(id, s, std::move(image), SourceHBitmap);
}

int32_t LoadFromHIcon(int32_t& id, gdi::HICON icon) {
    std::unique_ptr<gdiplus::Image> image;
    gdiplus::Status s = gdiplus::createBitmapFromHICON(icon, image);
    return addDecoded(id, s, std::move(image), SourceHIcon);
}

int32_t LoadFromGdiDib(int32_t& id, gdi::HGLOBAL block, BlockOwner owner, ResolutionRounding rounding) {
    if (block == 0) return statusOf(gdiplus::Status::InvalidParameter);
    const uint8_t* bytes = gdi::globalLock(block);
    if (!bytes) return statusOf(gdiplus::Status::GenericError);
    const std::span<const uint8_t> dib(bytes, gdi::globalSize(block));
    std::unique_ptr<gdiplus::Image> image;
    gdiplus::Status s = gdiplus::createBitmapFromPackedDib(dib, image);
    gdiplus::DibInfo info;
    if (s == gdiplus::Status::Ok) s = gdiplus::probeDib(dib, gdiplus::DibContainer::Bitmap, info);
    gdi::globalUnlock(block);
    if (s == gdiplus::Status::Ok && isOneBitWhiteFirst(*image)) s = swapToBlackFirst(*image);
    if (s != gdiplus::Status::Ok) return statusOf(s);
    const float dpiX = dotsPerInch(info.xPelsPerMeter, rounding);
    const float dpiY = dotsPerInch(info.yPelsPerMeter, rounding);
    if (dpiX > 0 && dpiY > 0) image->setResolution(dpiX, dpiY);
    modMain::AddImage(id, std::move(image), "", "", SourceGdiDib);
    if (owner == BlockOwner::Entry) modMain::AttachGlobalMemory(id, block);
    return 0;
}

int32_t LoadFromStream(int32_t& id, automation::IStream& stream, bool useIcm) {
    if (!modMain::IsSessionOpen()) return statusOf(gdiplus::Status::GdiplusNotInitialized);
    gdiplus::DecodeOptions options;
    options.useEmbeddedColorManagement = useIcm;
    std::unique_ptr<gdiplus::Image> image;
    gdiplus::Status s = gdiplus::loadImageFromStream(stream, options, image);
    if (s != gdiplus::Status::Ok) return statusOf(s);
    int32_t decodedId = 0;
    modMain::AddImage(decodedId, std::move(image), "", "", SourcePlain);
    int32_t result = decodedId;
    const int32_t frames = modMain::RegisterFrames("", decodedId, result, modMain::FrameStorage::SplitIntoFiles, modMain::FrameStorage::SplitIntoFiles);
    if (frames != 0) {
        // Split mode has released the decoded picture already.
        modMain::ReleaseImage(decodedId);
        if (result != decodedId) modMain::ReleaseImage(result);
        return frames;
    }
    id = result;
    return 0;
}

int32_t WriteBytesToTempFile(std::span<const uint8_t> bytes, std::string& path) {
    path = GetTempFileName();
    if (path.empty() || !kernel::writeTempFile(path, bytes)) return statusOf(gdiplus::Status::GenericError);
    return 0;
}

namespace {

// HIMETRIC per unit of each mapping mode whose units have a physical size.
double himetricPerUnit(int32_t mappingMode) {
    switch (mappingMode) {
        case window::MM_TEXT: return 2540.0 / 96;  // screen pixels
        case 2: return 10;                          // MM_LOMETRIC, 0.1 mm
        case window::MM_HIMETRIC:
        case window::MM_ISOTROPIC:
        case window::MM_ANISOTROPIC: return 1;
        case 4: return 25.4;             // MM_LOENGLISH, 0.01 inch
        case 5: return 2.54;             // MM_HIENGLISH, 0.001 inch
        case 6: return 2540.0 / 1440;    // MM_TWIPS
        default: return 0;
    }
}

// The size of a clipboard metafile picture in HIMETRIC: its extents when
// they give one, else the metafile's own window extent as screen pixels.
bool himetricSizeOf(const window::MetafilePict& pict, int32_t& width, int32_t& height) {
    const double perUnit = himetricPerUnit(pict.mappingMode);
    const double w = pict.xExt * perUnit, h = pict.yExt * perUnit;
    if (w >= 1 && h >= 1 && w <= INT32_MAX && h <= INT32_MAX) {
        width = static_cast<int32_t>(std::lround(w));
        height = static_cast<int32_t>(std::lround(h));
        return true;
    }
    const std::vector<uint8_t>* bits = gdi::metaFileBits(pict.metafile);
    std::unique_ptr<gdiplus::Image> measured;
    if (!bits || gdiplus::loadImageFromBytes(gdiplus::ByteSource::copyOf(*bits), {}, measured) != gdiplus::Status::Ok)
        return false;
    width = automation::himetricOfPixels(measured->width());
    height = automation::himetricOfPixels(measured->height());
    return true;
}

// The clipboard's metafile picture, or the enhanced metafile that offers
// that format, as a picture owning a copy of the clipboard's metafile.
int32_t loadClipboardMetafile(int32_t& id, const window::Clipboard& clipboard) {
    automation::PictureDescription description;
    if (const gdi::HGLOBAL block = clipboard.getData(window::CF_METAFILEPICT)) {
        window::MetafilePict pict;
        const bool read = window::readMetafilePict(block, pict);
        gdi::globalFree(block);
        if (!read) return statusOf(gdiplus::Status::InvalidParameter);
        description = {automation::PICTYPE_METAFILE, pict.metafile, 0, 0, 0};
        if (!himetricSizeOf(pict, description.metafileWidth, description.metafileHeight)) {
            gdi::deleteMetaFile(pict.metafile);
            return statusOf(gdiplus::Status::InvalidParameter);
        }
    } else {
        description = {automation::PICTYPE_ENHMETAFILE, clipboard.getData(window::CF_ENHMETAFILE), 0, 0, 0};
    }
    // A picture is refused only for a handle that names nothing to free.
    std::shared_ptr<automation::Picture> picture;
    if (automation::Picture::create(description, true, picture) != automation::S_OK)
        return statusOf(gdiplus::Status::InvalidParameter);
    return LoadFromPicture(id, *picture);
}

}  // namespace

int32_t LoadFromClipboard(int32_t& id, const window::Clipboard& clipboard) {
    if (clipboard.isFormatAvailable(window::CF_DIB)) {
        const gdi::HGLOBAL block = clipboard.getData(window::CF_DIB);
        const int32_t status = LoadFromGdiDib(id, block, BlockOwner::Caller, ResolutionRounding::ThreeDecimals);
        gdi::globalFree(block);
        return status;
    }
    if (clipboard.isFormatAvailable(window::CF_BITMAP)) {
        const gdi::HBITMAP bitmap = clipboard.getData(window::CF_BITMAP);
        const int32_t status = LoadFromHBitmap(id, bitmap);
        gdi::deleteBitmap(bitmap);
        return status;
    }
    if (clipboard.isFormatAvailable(window::CF_METAFILEPICT)) return loadClipboardMetafile(id, clipboard);
    // A palette alone is no picture.
    if (clipboard.isFormatAvailable(window::CF_PALETTE)) return statusOf(gdiplus::Status::InvalidParameter);
    return statusOf(gdiplus::Status::GenericError);
}

namespace {

// A side of the metafile's own size times `scale`, in whole pixels; 0 when it
// is not finite or below one pixel, -1 when it passes any possible picture.
int64_t scaledSide(int side, float scale) {
    const double scaled = std::round(side * static_cast<double>(scale));
    if (!std::isfinite(scaled) || scaled < 1) return 0;
    return scaled > INT32_MAX ? -1 : static_cast<int64_t>(scaled);
}

}  // namespace

int32_t LoadMetafile(int32_t& id, const std::string& path, float scale) {
    const std::string normal = NormalizePath(path);
    if (Trim(normal).empty() || FileExistsPath(normal).empty()) return statusOf(gdiplus::Status::FileNotFound);
    std::shared_ptr<const gdiplus::ByteSource> bytes;
    gdiplus::Status s = gdiplus::ByteSource::openFile(normal, bytes);
    std::unique_ptr<gdiplus::Image> metafile;
    if (s == gdiplus::Status::Ok) s = gdiplus::loadImageFromBytes(bytes, {}, metafile);
    if (s != gdiplus::Status::Ok) return statusOf(s);
    if (metafile->type() != gdiplus::ImageType::Metafile) return statusOf(gdiplus::Status::InvalidParameter);
    const int64_t width = scaledSide(metafile->width(), scale);
    const int64_t height = scaledSide(metafile->height(), scale);
    if (width == 0 || height == 0) return statusOf(gdiplus::Status::InvalidParameter);
    if (width < 0 || height < 0) return statusOf(gdiplus::Status::OutOfMemory);
    std::unique_ptr<gdiplus::Image> raster;
    s = gdiplus::rasteriseMetafile(bytes->bytes(), static_cast<int>(width), static_cast<int>(height), raster);
    return addDecoded(id, s, std::move(raster), SourceScan0);
}

gdi::HBITMAP GetHBitmap(int32_t id, int32_t& status) {
    const gdiplus::Image* image = modMain::GetGdiImage(id);
    if (!image) {
        status = statusOf(gdiplus::Status::InvalidParameter);
        return 0;
    }
    gdi::HBITMAP bitmap = 0;
    status = statusOf(gdiplus::createHBITMAPFromBitmap(*image, 0, bitmap));
    return status == 0 ? bitmap : 0;
}

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
