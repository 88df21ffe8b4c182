// Arbitrary bytes through the memory sources: as a packed DIB in a global
// block of any size, as CF_DIB data on a clipboard read back as a bitmap and
// as a picture, and as text mapped to Windows-1252 bytes. Nothing may stay
// behind: no entry, no handle, no block.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "imaging/image_table.h"
#include "imaging/memory_sources.h"
#include "platform/gdi/handles.h"
#include "platform/gdiplus/pixel_data.h"
#include "platform/kernel/code_page.h"
#include "platform/window/clipboard.h"

using namespace orrery;

namespace {

gdi::HGLOBAL blockOf(const uint8_t* data, size_t size) {
    gdi::HGLOBAL block = gdi::globalAlloc(size);
    if (size > 0) {
        std::memcpy(gdi::globalLock(block), data, size);
        gdi::globalUnlock(block);
    }
    return block;
}

void loadAndRelease(int32_t status, int32_t id) {
    if (status == 0) {
        if (imaging::modMain::GetGdiImage(id) == nullptr) std::abort();
        imaging::modMain::ReleaseImage(id);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool limited = (gdiplus::setPixelAllocationLimit(64 << 20), true);
    (void)limited;
    const size_t bitmaps = gdi::liveBitmapCount();

    gdi::HGLOBAL block = blockOf(data, size);
    int32_t id = 0;
    loadAndRelease(imaging::LoadFromGdiDib(id, block, imaging::BlockOwner::Caller,
                                           imaging::ResolutionRounding::ThreeDecimals),
                   id);
    gdi::globalFree(block);

    {
        window::InProcessClipboard clipboard;
        if (!clipboard.setData(window::CF_DIB, blockOf(data, size))) std::abort();
        if (const uint32_t bitmap = clipboard.getData(window::CF_BITMAP)) gdi::deleteBitmap(bitmap);
        if (const uint32_t v5 = clipboard.getData(window::CF_DIBV5)) gdi::globalFree(v5);
        id = 0;
        loadAndRelease(imaging::LoadFromClipboard(id, clipboard), id);
    }

    std::vector<uint8_t> bytes;
    if (kernel::utf8ToWindows1252({reinterpret_cast<const char*>(data), size}, bytes) && bytes.size() > size)
        std::abort();

    if (imaging::modMain::LiveEntryCount() != 0 || gdi::liveGlobalCount() != 0 || gdi::liveBitmapCount() != bitmaps)
        std::abort();
    return 0;
}
