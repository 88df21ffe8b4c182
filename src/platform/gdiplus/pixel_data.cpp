#include "platform/gdiplus/pixel_data.h"

#include <cstdlib>
#include <cstring>

namespace orrery::gdiplus {

namespace {
// 1 GiB: larger than any image a viewer shows whole, small enough that a
// forged header cannot exhaust the machine.
size_t g_allocationLimit = size_t{1} << 30;
}  // namespace

size_t pixelAllocationLimit() { return g_allocationLimit; }
void setPixelAllocationLimit(size_t bytes) { g_allocationLimit = bytes; }

bool fitsAllocationLimit(int width, int height, PixelFormat format) {
    if (width <= 0 || height <= 0 || bitsPerPixel(format) == 0) return false;
    size_t stride = strideFor(format, width);
    if (stride == 0 || static_cast<size_t>(height) > g_allocationLimit / stride) return false;
    return stride * static_cast<size_t>(height) <= g_allocationLimit;
}

Status PixelData::allocate(int width, int height, PixelFormat format, PixelData& out) {
    if (width <= 0 || height <= 0 || !isValidPixelFormat(format)) return Status::InvalidParameter;
    if (!fitsAllocationLimit(width, height, format)) return Status::OutOfMemory;
    size_t stride = strideFor(format, width);
    size_t size = stride * static_cast<size_t>(height);
    // Zeroed by calloc: memory fresh from the system is zero already, so a
    // large picture is not written twice before its first use.
    auto* raw = static_cast<uint8_t*>(std::calloc(size, 1));
    if (!raw) return Status::OutOfMemory;
    PixelData data;
    data.owned_ = std::shared_ptr<uint8_t[]>(raw, [](uint8_t* p) { std::free(p); });
    data.ownedSize_ = size;
    data.scan0_ = raw;
    data.width_ = width;
    data.height_ = height;
    data.stride_ = static_cast<ptrdiff_t>(stride);
    data.format_ = format;
    out = std::move(data);
    return Status::Ok;
}

PixelData PixelData::wrap(uint8_t* scan0, int width, int height, ptrdiff_t stride,
                          PixelFormat format) {
    PixelData data;
    data.scan0_ = scan0;
    data.width_ = width;
    data.height_ = height;
    data.stride_ = stride;
    data.format_ = format;
    return data;
}

PixelData PixelData::wrapReadOnly(const uint8_t* scan0, int width, int height, ptrdiff_t stride,
                                  PixelFormat format) {
    // The pointer is kept writable in type only: the image never writes
    // through it (see isReadOnly).
    PixelData data = wrap(const_cast<uint8_t*>(scan0), width, height, stride, format);
    data.readOnly_ = true;
    return data;
}

Status PixelData::copy(PixelData& out) const {
    if (empty()) return Status::InvalidParameter;
    PixelData result;
    Status s = allocate(width_, height_, format_, result);
    if (s != Status::Ok) return s;
    size_t rowBytes = strideFor(format_, width_);
    for (int y = 0; y < height_; ++y) std::memcpy(result.row(y), row(y), rowBytes);
    out = std::move(result);
    return Status::Ok;
}

}  // namespace orrery::gdiplus
