#include "viewer/rotation.h"

#include "imaging/image_table.h"
#include "platform/gdiplus/image.h"

namespace orrery::viewer {

namespace modMain = imaging::modMain;

namespace {

// Pages of an image whose frames the store keeps neither as a multi-page
// TIFF nor as a GIF animation: only a copy of the current page can turn.
bool transformsThroughWorkingCopy(const ViewState& s) {
    return s.documentType == DocumentTypeImage && s.pageCount >= 2 && !modMain::IsMultiPageTiff(s.currentImage) &&
           !modMain::IsMultiFrameGif(s.currentImage);
}

int32_t transform(int32_t image, RotateFlipType type) {
    gdiplus::Image* target = modMain::GetGdiImage(image);
    if (!target) return static_cast<int32_t>(gdiplus::Status::InvalidParameter);
    const gdiplus::Status status = target->rotateFlip(type);
    if (status == gdiplus::Status::Ok) modMain::MarkImageModified(image);
    return static_cast<int32_t>(status);
}

}  // namespace

int32_t RotateFlip(ViewState& s, Layout& layout, Renderer& renderer, RotateFlipType type) {
    int32_t target = 0;
    bool hadWorkingCopy = false;
    if (transformsThroughWorkingCopy(s)) {
        if (s.workingImage == 0 || s.workingFrame != s.currentPage) s.status = renderer.MakeWorkingCopy();
        target = s.workingImage;
    } else {
        hadWorkingCopy = s.workingImage != 0;
        renderer.DiscardWorkingCopy();
        target = s.currentImage;
    }
    if (s.status == 0) {
        s.status = transform(target, type);
        if (hadWorkingCopy && s.status == 0) renderer.MakeWorkingCopy();
    }
    // Reading the new size reports its own success; a failed transformation
    // keeps its status.
    const int32_t status = s.status;
    layout.ReadImageMetrics(target);
    if (status != 0) s.status = status;
    layout.UpdateLayout(target);
    if (status != 0) s.status = status;
    return s.status;
}

}  // namespace orrery::viewer
