#include "platform/automation/picture_file.h"

#include <cmath>

#include "platform/gdi/handles.h"
#include "platform/gdiplus/byte_source.h"
#include "platform/gdiplus/dib.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/metafile_format.h"
#include "platform/gdiplus/metafile_handles.h"

namespace orrery::automation {

namespace {

using gdiplus::Status;

using gdiplus::appendLe16;
using gdiplus::appendLe32;

HRESULT hresultOf(Status s) {
    return s == Status::OutOfMemory ? E_OUTOFMEMORY : CTL_E_INVALIDPICTURE;
}

// A picture owning `handle` of `type`; the handle is deleted when no picture takes it.
HRESULT pictureOwning(const PictureDescription& description, std::shared_ptr<Picture>& out) {
    if (Picture::create(description, true, out) == S_OK) return S_OK;
    switch (description.type) {
        case PICTYPE_BITMAP: gdi::deleteBitmap(description.handle); break;
        case PICTYPE_ICON: gdi::destroyIcon(description.handle); break;
        case PICTYPE_METAFILE: gdi::deleteMetaFile(description.handle); break;
        case PICTYPE_ENHMETAFILE: gdi::deleteEnhMetaFile(description.handle); break;
        default: break;
    }
    return CTL_E_INVALIDPICTURE;
}

HRESULT loadPlaceableWmf(std::span<const uint8_t> bytes, std::shared_ptr<Picture>& out) {
    using namespace gdiplus::metafile;
    if (bytes.size() < kPlaceableSize) return CTL_E_INVALIDPICTURE;
    const auto coordinate = [&](size_t at) { return static_cast<int16_t>(le16(&bytes[at])); };
    const int32_t width = coordinate(10) - coordinate(6), height = coordinate(12) - coordinate(8);
    const uint16_t inch = le16(&bytes[14]);
    if (inch == 0 || width <= 0 || height <= 0) return CTL_E_INVALIDPICTURE;
    const gdi::HMETAFILE metafile = gdi::setMetaFileBits(bytes.subspan(kPlaceableSize));
    if (!metafile) return CTL_E_INVALIDPICTURE;
    PictureDescription description;
    description.type = PICTYPE_METAFILE;
    description.handle = metafile;
    description.metafileWidth = static_cast<int32_t>(std::lround(width * 2540.0 / inch));
    description.metafileHeight = static_cast<int32_t>(std::lround(height * 2540.0 / inch));
    return pictureOwning(description, out);
}

HRESULT loadRaster(std::span<const uint8_t> bytes, std::shared_ptr<Picture>& out) {
    std::unique_ptr<gdiplus::Image> image;
    Status s = gdiplus::loadImageFromBytes(gdiplus::ByteSource::copyOf(bytes), {}, image);
    if (s != Status::Ok) return hresultOf(s);
    const gdiplus::Guid raw = image->rawFormat();
    PictureDescription description;
    if (raw == gdiplus::ImageFormat::Icon) {
        description.type = PICTYPE_ICON;
        s = gdiplus::createHICONFromBitmap(*image, description.handle);
    } else if (raw == gdiplus::ImageFormat::BMP || raw == gdiplus::ImageFormat::JPEG ||
               raw == gdiplus::ImageFormat::GIF) {
        description.type = PICTYPE_BITMAP;
        s = gdiplus::createHBITMAPFromBitmap(*image, 0xFFFFFFFF, description.handle);
    } else {
        return CTL_E_INVALIDPICTURE;
    }
    if (s != Status::Ok) return hresultOf(s);
    return pictureOwning(description, out);
}

// BITMAPFILEHEADER and a packed DIB.
HRESULT saveBitmap(gdi::HBITMAP handle, std::vector<uint8_t>& out) {
    std::unique_ptr<gdiplus::Image> image;
    std::vector<uint8_t> dib;
    if (gdiplus::createBitmapFromHBITMAP(handle, image) != Status::Ok ||
        gdiplus::packDib(*image, gdiplus::DibHeaderKind::Info, dib) != Status::Ok)
        return E_INVALIDARG;
    gdiplus::DibInfo info;
    if (gdiplus::probeDib(dib, gdiplus::DibContainer::Bitmap, info) != Status::Ok) return E_INVALIDARG;
    // The bits close the packed DIB; the header, masks and colours come before them.
    const uint64_t stride = (static_cast<uint64_t>(info.width) * info.bitCount + 31) / 32 * 4;
    const uint64_t bits = stride * static_cast<uint64_t>(info.height < 0 ? -int64_t{info.height} : info.height);
    if (bits > dib.size()) return E_INVALIDARG;
    out.clear();
    out.push_back('B');
    out.push_back('M');
    appendLe32(out, static_cast<uint32_t>(14 + dib.size()));
    appendLe32(out, 0);
    appendLe32(out, static_cast<uint32_t>(14 + dib.size() - bits));
    out.insert(out.end(), dib.begin(), dib.end());
    return S_OK;
}

// One 32-bit entry: colour rows bottom-up, then the AND mask (set where the
// icon is fully transparent).
HRESULT saveIcon(gdi::HICON handle, std::vector<uint8_t>& out) {
    std::unique_ptr<gdiplus::Image> image;
    if (gdiplus::createBitmapFromHICON(handle, image) != Status::Ok) return E_INVALIDARG;
    gdiplus::BitmapData data;
    if (image->lockBits(nullptr, gdiplus::ImageLockModeRead, gdiplus::PixelFormat32bppARGB, data) != Status::Ok)
        return E_INVALIDARG;
    const uint32_t width = static_cast<uint32_t>(data.width), height = static_cast<uint32_t>(data.height);
    const uint32_t maskStride = ((width + 31) / 32) * 4;
    const uint32_t imageBytes = 40 + width * height * 4 + maskStride * height;
    out.clear();
    appendLe16(out, 0);
    appendLe16(out, 1);  // icon
    appendLe16(out, 1);  // one entry
    out.push_back(static_cast<uint8_t>(width < 256 ? width : 0));
    out.push_back(static_cast<uint8_t>(height < 256 ? height : 0));
    out.push_back(0);
    out.push_back(0);
    appendLe16(out, 1);
    appendLe16(out, 32);
    appendLe32(out, imageBytes);
    appendLe32(out, 22);
    appendLe32(out, 40);
    appendLe32(out, width);
    appendLe32(out, height * 2);
    appendLe16(out, 1);
    appendLe16(out, 32);
    for (int i = 0; i < 6; ++i) appendLe32(out, 0);
    std::vector<uint8_t> mask(size_t{maskStride} * height, 0);
    for (uint32_t y = height; y-- > 0;) {
        const uint8_t* row = data.scan0 + static_cast<ptrdiff_t>(y) * data.stride;
        out.insert(out.end(), row, row + size_t{width} * 4);
        uint8_t* maskRow = mask.data() + size_t{height - 1 - y} * maskStride;
        for (uint32_t x = 0; x < width; ++x)
            if (row[x * 4 + 3] == 0) maskRow[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
    image->unlockBits(data);
    out.insert(out.end(), mask.begin(), mask.end());
    return S_OK;
}

HRESULT saveMetafile(const IPicture& picture, std::vector<uint8_t>& out) {
    const std::vector<uint8_t>* bits = gdi::metaFileBits(picture.handle());
    gdiplus::WmfPlaceableFileHeader header;
    if (!bits || !gdiplus::placeableHeaderOfHimetric(picture.width(), picture.height(), header)) return E_INVALIDARG;
    out = gdiplus::placeableWmfFile(header, *bits);
    return S_OK;
}

}  // namespace

HRESULT loadPicture(std::span<const uint8_t> bytes, std::shared_ptr<Picture>& out) {
    using namespace gdiplus::metafile;
    if (isPlaceableWmf(bytes)) return loadPlaceableWmf(bytes, out);
    if (isEmf(bytes)) {
        const gdi::HENHMETAFILE metafile = gdi::setEnhMetaFileBits(bytes);
        if (!metafile) return CTL_E_INVALIDPICTURE;
        return pictureOwning({PICTYPE_ENHMETAFILE, metafile, 0, 0, 0}, out);
    }
    return loadRaster(bytes, out);
}

HRESULT loadPictureFile(const std::string& path, std::shared_ptr<Picture>& out) {
    std::shared_ptr<const gdiplus::ByteSource> bytes;
    if (gdiplus::ByteSource::openFile(path, bytes) != Status::Ok) return CTL_E_FILENOTFOUND;
    return loadPicture(bytes->bytes(), out);
}

HRESULT savePicture(const IPicture& picture, std::vector<uint8_t>& out) {
    switch (picture.type()) {
        case PICTYPE_BITMAP: return saveBitmap(picture.handle(), out);
        case PICTYPE_ICON: return saveIcon(picture.handle(), out);
        case PICTYPE_METAFILE: return saveMetafile(picture, out);
        case PICTYPE_ENHMETAFILE: {
            const std::vector<uint8_t>* bits = gdi::enhMetaFileBits(picture.handle());
            if (!bits) return E_INVALIDARG;
            out = *bits;
            return S_OK;
        }
        default: return E_INVALIDARG;
    }
}

}  // namespace orrery::automation
