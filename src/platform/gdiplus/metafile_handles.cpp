#include "platform/gdiplus/metafile_handles.h"

#include <algorithm>
#include <cmath>

#include "platform/gdiplus/byte_source.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/metafile_format.h"

namespace orrery::gdiplus {

namespace {

// A metafile image of `bytes`; anything else the bytes decode to is refused.
Status metafileOf(std::vector<uint8_t> bytes, std::unique_ptr<Image>& out) {
    std::unique_ptr<Image> image;
    Status s = loadImageFromBytes(ByteSource::fromVector(std::move(bytes)), {}, image);
    if (s != Status::Ok) return s;
    if (image->type() != ImageType::Metafile) return Status::InvalidParameter;
    out = std::move(image);
    return Status::Ok;
}

}  // namespace

bool placeableHeaderOfHimetric(int32_t width, int32_t height, WmfPlaceableFileHeader& out) {
    constexpr double kHimetricPerInch = 2540;
    constexpr int64_t kTwipsPerInch = 1440;
    constexpr int64_t kLargestSide = 32767;
    if (width <= 0 || height <= 0) return false;
    const int64_t longest = std::max(width, height);
    int64_t inch = kTwipsPerInch;
    if (longest * kTwipsPerInch / kHimetricPerInch > kLargestSide)
        inch = static_cast<int64_t>(kLargestSide * kHimetricPerInch / longest);
    if (inch < 1) return false;
    const auto side = [&](int32_t himetric) { return std::llround(himetric * static_cast<double>(inch) / kHimetricPerInch); };
    const int64_t right = side(width), bottom = side(height);
    if (right < 1 || bottom < 1 || right > kLargestSide || bottom > kLargestSide) return false;
    out = WmfPlaceableFileHeader{};
    out.right = static_cast<int16_t>(right);
    out.bottom = static_cast<int16_t>(bottom);
    out.inch = static_cast<uint16_t>(inch);
    return true;
}

std::vector<uint8_t> placeableWmfFile(const WmfPlaceableFileHeader& header, std::span<const uint8_t> bits) {
    std::vector<uint8_t> file;
    file.reserve(metafile::kPlaceableSize + bits.size());
    appendLe16(file, static_cast<uint16_t>(header.key));
    appendLe16(file, static_cast<uint16_t>(header.key >> 16));
    appendLe16(file, 0);  // no handle
    appendLe16(file, static_cast<uint16_t>(header.left));
    appendLe16(file, static_cast<uint16_t>(header.top));
    appendLe16(file, static_cast<uint16_t>(header.right));
    appendLe16(file, static_cast<uint16_t>(header.bottom));
    appendLe16(file, header.inch);
    appendLe16(file, 0);
    appendLe16(file, 0);  // reserved
    // The checksum is the exclusive-or of the ten words before it.
    uint16_t checksum = 0;
    for (size_t i = 0; i < 20; i += 2) checksum ^= metafile::le16(&file[i]);
    appendLe16(file, checksum);
    file.insert(file.end(), bits.begin(), bits.end());
    return file;
}

Status createMetafileFromWmf(gdi::HMETAFILE handle, const WmfPlaceableFileHeader& header,
                             std::unique_ptr<Image>& out) {
    const std::vector<uint8_t>* bits = gdi::metaFileBits(handle);
    if (!bits || header.key != metafile::kPlaceableKey || header.inch == 0 || header.right == header.left ||
        header.bottom == header.top)
        return Status::InvalidParameter;
    return metafileOf(placeableWmfFile(header, *bits), out);
}

Status createMetafileFromEmf(gdi::HENHMETAFILE handle, std::unique_ptr<Image>& out) {
    const std::vector<uint8_t>* bits = gdi::enhMetaFileBits(handle);
    if (!bits) return Status::InvalidParameter;
    return metafileOf(*bits, out);
}

}  // namespace orrery::gdiplus
