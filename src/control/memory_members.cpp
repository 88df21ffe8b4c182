// The members of _Orrery that take pictures from memory, handles and the
// clipboard, and give the displayed picture back. Their work is the image
// store's (imaging/memory_sources).
#include "control/member_rows.h"
#include "imaging/memory_sources.h"

namespace orrery::control {

using automation::arg;

std::vector<OrreryTable::Row> memoryAndClipboardRows() {
    using Table = OrreryTable;
    return {
        Table::method("Copy2Clipboard", 0x60030065, &Orrery::Copy2Clipboard),
        Table::method("CopyRegion2Clipboard", 0x60030066, &Orrery::CopyRegion2Clipboard,
                      {arg("nSrcLeft"), arg("nSrcTop"), arg("nWidth"), arg("nHeight")}),
    };
}

void Orrery::Copy2Clipboard() {
    int32_t image = workingImage();
    if (image != 0) imaging::CopyImageToClipboard(image, window_.backend().clipboard());
}

void Orrery::CopyRegion2Clipboard(int32_t nSrcLeft, int32_t nSrcTop, int32_t nWidth, int32_t nHeight) {
    int32_t image = workingImage();
    s_.status = image == 0 ? static_cast<int32_t>(gdiplus::Status::GenericError)
                           : imaging::CopyImageAreaToClipboard(image, {nSrcLeft, nSrcTop, nWidth, nHeight},
                                                               window_.backend().clipboard());
}

}  // namespace orrery::control
