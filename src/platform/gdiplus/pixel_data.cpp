#include "platform/gdiplus/pixel_data.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
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
                                  PixelFormat format, std::shared_ptr<const void> keeper) {
    // The pointer is kept writable in type only: the image never writes
    // through it (see isReadOnly).
    PixelData data = wrap(const_cast<uint8_t*>(scan0), width, height, stride, format);
    data.readOnly_ = true;
    data.keeper_ = std::move(keeper);
    return data;
}

void PixelData::releaseRows(int y0, int y1) {
    if (!owned_ || owned_.use_count() != 1 || stride_ <= 0) return;
    y0 = std::max(y0, 0);
    y1 = std::min(y1, height_);
    if (y1 <= y0) return;
    static const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t from = reinterpret_cast<uintptr_t>(row(y0));
    const uintptr_t to = from + static_cast<uintptr_t>(y1 - y0) * static_cast<uintptr_t>(stride_);
    const uintptr_t first = (from + page - 1) / page * page, end = to / page * page;
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
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
