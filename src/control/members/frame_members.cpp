// The members of _Orrery that page through frames, play GIF animations and
// rotate or flip the picture. Their work is the viewing engine's
// (viewer/frames, viewer/rotation).
#include "control/members/families.h"

namespace orrery::control {

using automation::arg;

std::vector<OrreryTable::Row> frameAndRotationRows() {
    using Table = OrreryTable;
    return {
        // Frames, pages and animation.
        Table::method("DisplayNextFrame", 0x60030033, &Orrery::DisplayNextFrame),
        Table::method("DisplayPreviousFrame", 0x60030034, &Orrery::DisplayPreviousFrame),
        Table::method("DisplayFirstFrame", 0x60030035, &Orrery::DisplayFirstFrame),
        Table::method("DisplayLastFrame", 0x60030036, &Orrery::DisplayLastFrame),
        Table::method("DisplayFrame", 0x60030037, &Orrery::DisplayFrame, {arg("nFrame")}),
        Table::method("GetTotalFrame", 0x60030067, &Orrery::GetTotalFrame),
        Table::property("PageCount", 0x6803001E, &Orrery::PageCount, &Orrery::setIgnoredLong),
        Table::property("CurrentPage", 0x6803001D, &Orrery::CurrentPage, &Orrery::setIgnoredLong),
        Table::method("PlayGif", 0x60030049, &Orrery::PlayGif),
        Table::method("StopGif", 0x6003004A, &Orrery::StopGif),
        Table::property("AnimateGIF", 0x6803000D, &Orrery::AnimateGIF, &Orrery::setAnimateGIF),
        // Rotation and flipping.
        Table::method("Rotate90", 0x60030069, &Orrery::Rotate90),
        Table::method("Rotate180", 0x6003006A, &Orrery::Rotate180),
        Table::method("Rotate270", 0x6003006B, &Orrery::Rotate270),
        Table::method("FlipX", 0x6003006C, &Orrery::FlipX),
        Table::method("FlipX90", 0x6003006D, &Orrery::FlipX90),
        Table::method("FlipX180", 0x6003006E, &Orrery::FlipX180),
        Table::method("FlipX270", 0x6003006F, &Orrery::FlipX270),
    };
}

int32_t Orrery::DisplayFrame(int32_t nFrame) { return p_->viewer.frames().DisplayFrame(nFrame); }
int32_t Orrery::DisplayNextFrame() { return p_->viewer.frames().DisplayNextFrame(); }
int32_t Orrery::DisplayPreviousFrame() { return p_->viewer.frames().DisplayPreviousFrame(); }
int32_t Orrery::DisplayFirstFrame() { return p_->viewer.frames().DisplayFirstFrame(); }
int32_t Orrery::DisplayLastFrame() { return p_->viewer.frames().DisplayLastFrame(); }
int32_t Orrery::GetTotalFrame() const { return state().pageCount; }
int32_t Orrery::PageCount() const { return state().pageCount; }
int32_t Orrery::CurrentPage() const { return state().currentPage; }
int32_t Orrery::PlayGif() { return p_->viewer.frames().PlayGif(); }
void Orrery::StopGif() { p_->viewer.frames().StopGif(); }
bool Orrery::AnimateGIF() const { return state().animateGif; }

void Orrery::setAnimateGIF(bool value) {
    p_->viewer.frames().SetAnimateGif(value);
    notify("AnimateGIF");
}

int32_t Orrery::Rotate90() { return p_->viewer.rotateFlip(RotateFlipType::Rotate90FlipNone); }
int32_t Orrery::Rotate180() { return p_->viewer.rotateFlip(RotateFlipType::Rotate180FlipNone); }
int32_t Orrery::Rotate270() { return p_->viewer.rotateFlip(RotateFlipType::Rotate270FlipNone); }
int32_t Orrery::FlipX() { return p_->viewer.rotateFlip(RotateFlipType::RotateNoneFlipX); }
int32_t Orrery::FlipX90() { return p_->viewer.rotateFlip(RotateFlipType::Rotate90FlipX); }
int32_t Orrery::FlipX180() { return p_->viewer.rotateFlip(RotateFlipType::Rotate180FlipX); }
int32_t Orrery::FlipX270() { return p_->viewer.rotateFlip(RotateFlipType::Rotate270FlipX); }

}  // namespace orrery::control
