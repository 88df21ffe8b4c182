#include "platform/gdiplus/factory.h"

#include "platform/automation/stream.h"
#include "platform/gdiplus/metafile_raster.h"

namespace orrery::gdiplus {

Status loadImageFromBytes(std::shared_ptr<const ByteSource> bytes, const DecodeOptions& options,
                          std::unique_ptr<Image>& out) {
    if (!bytes) return Status::InvalidParameter;
    const Decoder* decoder = findDecoder(bytes->bytes());
    if (!decoder) return Status::UnknownImageFormat;
    Decoded decoded;
    Status s = decoder->decode(std::move(bytes), options, decoded);
    if (s != Status::Ok) return s;
    out = std::make_unique<Image>(std::move(decoded));
    return Status::Ok;
}

Status loadImageFromFile(const std::string& path, const DecodeOptions& options,
                         std::unique_ptr<Image>& out) {
    std::shared_ptr<const ByteSource> bytes;
    Status s = ByteSource::openFile(path, bytes);
    if (s != Status::Ok) return s;
    return loadImageFromBytes(std::move(bytes), options, out);
}

Status createBitmapFromFile(const std::string& path, const DecodeOptions& options, std::unique_ptr<Image>& out) {
    std::shared_ptr<const ByteSource> bytes;
    Status s = ByteSource::openFile(path, bytes);
    if (s != Status::Ok) return s;
    std::unique_ptr<Image> image;
    s = loadImageFromBytes(bytes, options, image);
    if (s != Status::Ok) return s;
    if (image->type() != ImageType::Metafile) {
        out = std::move(image);
        return Status::Ok;
    }
    std::unique_ptr<Image> raster;
    s = rasteriseMetafile(bytes->bytes(), image->width(), image->height(), raster);
    if (s != Status::Ok) return s;
    raster->setRawFormat(image->rawFormat());
    raster->setResolution(image->horizontalResolution(), image->verticalResolution());
    out = std::move(raster);
    return Status::Ok;
}

Status loadImageFromStream(automation::IStream& stream, const DecodeOptions& options,
                           std::unique_ptr<Image>& out) {
    std::vector<uint8_t> bytes;
    automation::HRESULT hr = automation::readToEnd(stream, bytes);
    if (hr == automation::E_OUTOFMEMORY) return Status::OutOfMemory;
    if (hr < 0) return Status::Win32Error;
    return loadImageFromBytes(ByteSource::fromVector(std::move(bytes)), options, out);
}

Status saveImageToStream(const Image& image, automation::IStream& stream, const Guid& clsid,
                         const EncoderParameters& params) {
    ByteSink bytes;
    Status s = image.saveToBytes(clsid, params, bytes);
    if (s != Status::Ok) return s;
    size_t done = 0;
    while (done < bytes.size()) {
        uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(bytes.size() - done, 1u << 30));
        uint32_t written = 0;
        if (stream.Write(bytes.data() + done, chunk, &written) < 0 || written != chunk) return Status::Win32Error;
        done += chunk;
    }
    return Status::Ok;
}

Status createBitmapFromScan0(int width, int height, ptrdiff_t stride, PixelFormat format, uint8_t* scan0,
                             std::unique_ptr<Image>& out) {
    if (width <= 0 || height <= 0 || !isValidPixelFormat(format)) return Status::InvalidParameter;
    PixelData pixels;
    if (scan0 == nullptr) {
        Status s = PixelData::allocate(width, height, format, pixels);
        if (s != Status::Ok) return s;
    } else {
        // The platform wants 4-byte aligned rows that hold a whole row.
        const ptrdiff_t minimum = static_cast<ptrdiff_t>((static_cast<size_t>(width) * bitsPerPixel(format) + 7) / 8);
        if (stride % 4 != 0 || std::abs(stride) < minimum) return Status::InvalidParameter;
        pixels = PixelData::wrap(scan0, width, height, stride, format);
    }
    out = Image::fromPixels(std::move(pixels));
    return Status::Ok;
}

}  // namespace orrery::gdiplus
