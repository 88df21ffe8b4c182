// The members of _Orrery for painting: the quality, its delayed pass, the
// drawing-speed copy, the gamma, the mask colour and the picture mode. Their
// work is the renderer's (viewer/render).
#include "control/members/families.h"

namespace orrery::control {

std::vector<OrreryTable::Row> renderingRows() {
    using Table = OrreryTable;
    return {
        Table::method("Redraw", 0x60030068, &Orrery::Redraw),
        Table::property("ViewerQuality", 0x68030009, &Orrery::ViewerQuality, &Orrery::setViewerQuality),
        Table::property("ViewerQualityAuto", 0x68030008, &Orrery::ViewerQualityAuto, &Orrery::setViewerQualityAuto),
        Table::property("OptimizeDrawingSpeed", 0x680300DB, &Orrery::OptimizeDrawingSpeed,
                        &Orrery::setOptimizeDrawingSpeed),
        Table::property("ImageMaskColor", 0x680300CA, &Orrery::ImageMaskColor, &Orrery::setImageMaskColor),
        Table::property("gamma", 0x680300C9, &Orrery::gamma, &Orrery::setGamma),
        Table::property("ForcePictureMode", 0x68030005, &Orrery::ForcePictureMode, &Orrery::setForcePictureMode),
        Table::property("ScrollOptimization", 0x6803000A, &Orrery::ScrollOptimization,
                        &Orrery::setScrollOptimization),
    };
}

int32_t Orrery::Redraw() {
    p_->viewer.redraw();
    return state().status;
}

int32_t Orrery::ViewerQuality() const { return state().viewerQuality; }

void Orrery::setViewerQuality(int32_t value) {
    // The change is told before the new layout paints with it.
    state().viewerQuality = value;
    notify("ViewerQuality");
    p_->viewer.setViewerQuality(value);
}

bool Orrery::ViewerQualityAuto() const { return state().viewerQualityAuto; }

void Orrery::setViewerQualityAuto(bool value) {
    state().viewerQualityAuto = value;
    notify("ViewerQualityAuto");
    p_->viewer.setViewerQualityAuto(value);
}

bool Orrery::OptimizeDrawingSpeed() const { return state().optimizeDrawingSpeed; }

void Orrery::setOptimizeDrawingSpeed(bool value) {
    state().optimizeDrawingSpeed = value;
    notify("OptimizeDrawingSpeed");
}

int32_t Orrery::ImageMaskColor() const { return static_cast<int32_t>(state().imageMaskColor); }

void Orrery::setImageMaskColor(int32_t value) {
    state().imageMaskColor = static_cast<uint32_t>(value);
    notify("ImageMaskColor");
}

float Orrery::gamma() const { return state().gamma; }

void Orrery::setGamma(float value) {
    state().gamma = value;
    notify("Gamma");
}

bool Orrery::ForcePictureMode() const { return state().forcePictureMode; }

void Orrery::setForcePictureMode(bool value) {
    state().forcePictureMode = value;
    notify("ForcePictureMode");
}

bool Orrery::ScrollOptimization() const { return state().scrollOptimization; }
void Orrery::setScrollOptimization(bool value) { p_->viewer.setScrollOptimization(value); }

}  // namespace orrery::control
