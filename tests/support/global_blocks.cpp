#include "support/global_blocks.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/gdiplus/dib.h"
#include "platform/window/clipboard.h"

namespace orrery::test {

gdi::HGLOBAL globalOf(const std::vector<uint8_t>& bytes) {
    const gdi::HGLOBAL block = gdi::globalAlloc(bytes.size());
    if (!bytes.empty()) {
        std::memcpy(gdi::globalLock(block), bytes.data(), bytes.size());
        gdi::globalUnlock(block);
    }
    return block;
}

std::vector<uint8_t> bytesOfGlobal(gdi::HGLOBAL block) {
    const uint8_t* p = gdi::globalLock(block);
    std::vector<uint8_t> bytes = p ? std::vector<uint8_t>(p, p + gdi::globalSize(block)) : std::vector<uint8_t>{};
    gdi::globalUnlock(block);
    return bytes;
}

std::unique_ptr<gdiplus::Image> takeClipboardPicture(uint32_t format, uint32_t handle) {
    std::unique_ptr<gdiplus::Image> picture;
    if (format == window::CF_BITMAP) {
        EXPECT_EQ(gdiplus::createBitmapFromHBITMAP(handle, picture), gdiplus::Status::Ok);
        EXPECT_TRUE(gdi::deleteBitmap(handle));
    } else {
        EXPECT_EQ(gdiplus::createBitmapFromPackedDib(bytesOfGlobal(handle), picture), gdiplus::Status::Ok);
        EXPECT_TRUE(gdi::globalFree(handle));
    }
    return picture;
}

}  // namespace orrery::test
