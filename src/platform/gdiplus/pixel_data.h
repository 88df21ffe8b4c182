// A block of pixels: its size, format and rows. Owns its memory or wraps a
// caller's (whose memory must then outlive it).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/gdiplus/pixel_format.h"
#include "platform/gdiplus/status.h"

namespace orrery::gdiplus {

// Largest pixel buffer any decoder or operation may allocate. Sizes in files
// are never trusted: anything larger is refused with OutOfMemory before a
// byte is allocated. Tests and fuzzers may lower the limit.
size_t pixelAllocationLimit();
void setPixelAllocationLimit(size_t bytes);
// True when a width x height buffer of `format` fits under the limit.
bool fitsAllocationLimit(int width, int height, PixelFormat format);

class PixelData {
public:
    PixelData() = default;

    // Zero-filled pixels with the platform's 4-byte row alignment.
    // InvalidParameter for sizes below 1, OutOfMemory above the limit.
    static Status allocate(int width, int height, PixelFormat format, PixelData& out);
    // Wraps caller memory; `stride` may be negative (bottom-up rows).
    static PixelData wrap(uint8_t* scan0, int width, int height, ptrdiff_t stride,
                          PixelFormat format);
    // Wraps memory that nobody writes (a sealed read-only mapping). Such
    // pixels change only through their image, which first copies them into
    // memory of its own. `keeper`, when given, keeps the memory alive for as
    // long as any pixels wrap it; without it the memory must outlive them.
    static PixelData wrapReadOnly(const uint8_t* scan0, int width, int height, ptrdiff_t stride,
                                  PixelFormat format, std::shared_ptr<const void> keeper = {});
    // A deep copy into owned memory with the default stride.
    Status copy(PixelData& out) const;

    bool empty() const { return scan0_ == nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    PixelFormat format() const { return format_; }
    ptrdiff_t stride() const { return stride_; }
    uint8_t* scan0() { return scan0_; }
    const uint8_t* scan0() const { return scan0_; }
    uint8_t* row(int y) { return scan0_ + y * stride_; }
    const uint8_t* row(int y) const { return scan0_ + y * stride_; }
    bool ownsMemory() const { return owned_ != nullptr; }
    bool isReadOnly() const { return readOnly_; }
    // True when nothing but the image holding these pixels can change them:
    // they are its own memory or read-only memory.
    bool changesOnlyThroughImage() const { return owned_ != nullptr || readOnly_; }
    // Bytes of pixel memory this object holds (0 when it wraps caller memory).
    size_t bytesHeld() const { return owned_ ? ownedSize_ : 0; }
    // Reinterprets the format without touching the bytes (same bits per pixel).
    void setFormat(PixelFormat f) { format_ = f; }
    // Gives the whole memory pages inside rows [y0, y1) back to the system, so
    // that a picture being replaced part by part (a rotation into a new buffer)
    // is not held twice meanwhile. The pixels of those rows are undefined
    // afterwards. Only memory this object alone owns is released.
    void releaseRows(int y0, int y1);

private:
    std::shared_ptr<uint8_t[]> owned_;
    size_t ownedSize_ = 0;
    std::shared_ptr<const void> keeper_;  // of read-only memory
    uint8_t* scan0_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    ptrdiff_t stride_ = 0;
    PixelFormat format_ = PixelFormatUndefined;
    bool readOnly_ = false;
};

}  // namespace orrery::gdiplus
