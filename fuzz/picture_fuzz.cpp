// Arbitrary bytes as pictures: through the picture loader (bitmap, icon and
// metafile pictures), the picture saver and back, and the conversion into
// an entry; and as metafile records on a clipboard, both as a metafile
// picture (the first twelve bytes its mapping mode and suggested size) and
// as an enhanced metafile. Nothing may stay behind: no entry, no handle, no
// block.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "imaging/image_table.h"
#include "imaging/memory_sources.h"
#include "imaging/picture_sources.h"
#include "platform/automation/picture_file.h"
#include "platform/gdi/handles.h"
#include "platform/gdiplus/pixel_data.h"
#include "platform/window/clipboard.h"

using namespace orrery;

namespace {

int32_t le32(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24);
}

void loadAndRelease(int32_t status, int32_t id) {
    if (status == 0) {
        if (imaging::modMain::GetGdiImage(id) == nullptr) std::abort();
        imaging::modMain::ReleaseImage(id);
    }
}

void showFromClipboard(const window::Clipboard& clipboard) {
    int32_t id = 0;
    loadAndRelease(imaging::LoadFromClipboard(id, clipboard), id);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool limited = (gdiplus::setPixelAllocationLimit(16 << 20), true);
    (void)limited;
    const size_t bitmaps = gdi::liveBitmapCount(), icons = gdi::liveIconCount();
    const size_t metafiles = gdi::liveMetaFileCount(), enhanced = gdi::liveEnhMetaFileCount();
    const std::span<const uint8_t> bytes(data, size);

    {
        std::shared_ptr<automation::Picture> picture;
        if (automation::loadPicture(bytes, picture) == automation::S_OK) {
            int32_t id = 0;
            loadAndRelease(imaging::LoadFromPicture(id, *picture), id);
            std::vector<uint8_t> saved;
            std::shared_ptr<automation::Picture> again;
            if (automation::savePicture(*picture, saved) == automation::S_OK &&
                automation::loadPicture(saved, again) == automation::S_OK && again->type() != picture->type())
                std::abort();
        }
    }

    if (size >= 12) {
        window::InProcessClipboard clipboard;
        if (const gdi::HMETAFILE wmf = gdi::setMetaFileBits(bytes.subspan(12))) {
            const gdi::HGLOBAL block =
                window::globalOfMetafilePict({le32(data), le32(data + 4), le32(data + 8), wmf});
            if (!clipboard.setData(window::CF_METAFILEPICT, block)) std::abort();
            showFromClipboard(clipboard);
        }
    }
    {
        window::InProcessClipboard clipboard;
        if (const gdi::HENHMETAFILE emf = gdi::setEnhMetaFileBits(bytes)) {
            if (!clipboard.setData(window::CF_ENHMETAFILE, emf)) std::abort();
            showFromClipboard(clipboard);
        }
    }

    if (imaging::modMain::LiveEntryCount() != 0 || gdi::liveGlobalCount() != 0 || gdi::liveBitmapCount() != bitmaps ||
        gdi::liveIconCount() != icons || gdi::liveMetaFileCount() != metafiles ||
        gdi::liveEnhMetaFileCount() != enhanced)
        std::abort();
    return 0;
}
