// Global blocks and clipboard handles for the memory, clipboard and desktop
// clipboard tests.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gdi/handles.h"
#include "platform/gdiplus/image.h"

namespace orrery::test {

// A new global block holding `bytes`, owned by the caller.
gdi::HGLOBAL globalOf(const std::vector<uint8_t>& bytes);
// A copy of a global block's bytes; empty when the handle names no block.
std::vector<uint8_t> bytesOfGlobal(gdi::HGLOBAL block);
// The picture that a handle of a bitmap format (a bitmap for CF_BITMAP, a
// packed DIB block for CF_DIB and CF_DIBV5) holds; the handle is freed.
std::unique_ptr<gdiplus::Image> takeClipboardPicture(uint32_t format, uint32_t handle);

}  // namespace orrery::test
