// The members of _Orrery for the zoom, the picture's placement in the
// window and the conversion between window and image coordinates. Their
// work is the layout's (viewer/layout).
#include "control/members/families.h"

namespace orrery::control {

using automation::arg;
using automation::refArg;

std::vector<OrreryTable::Row> zoomRows() {
    using Table = OrreryTable;
    return {
        Table::property("ZOOM", 0x6803002A, &Orrery::ZOOM, &Orrery::setZOOM),
        Table::property("ZoomMode", 0x68030015, &Orrery::ZoomMode, &Orrery::setZoomMode),
        Table::property("ZoomStep", 0x68030025, &Orrery::ZoomStep, &Orrery::setZoomStep),
        Table::method("ZoomIN", 0x6003005B, &Orrery::ZoomIN),
        Table::method("ZoomOUT", 0x6003005C, &Orrery::ZoomOUT),
        Table::method("SetZoom", 0x6003005D, &Orrery::SetZoom, {arg("nZoomPercent")}),
        Table::method("SetZoom100", 0x6003005F, &Orrery::SetZoom100),
        Table::method("SetZoomFitControl", 0x60030060, &Orrery::SetZoomFitControl),
        Table::method("SetZoomWidthControl", 0x60030061, &Orrery::SetZoomWidthControl),
        Table::method("SetZoomHeightControl", 0x60030062, &Orrery::SetZoomHeightControl),
        Table::method("SetZoomControl", 0x60030063, &Orrery::SetZoomControl),
        Table::method("GetMaxZoom", 0x600300A5, &Orrery::GetMaxZoom),
        Table::method("ZoomArea", 0x6003007B, &Orrery::ZoomArea,
                      {arg("nLeft"), arg("nTop"), arg("nWidth"), arg("nHeight")}),
        Table::method("GetDisplayedArea", 0x6003003D, &Orrery::GetDisplayedArea,
                      {refArg("nLeft"), refArg("nTop"), refArg("nWidth"), refArg("nHeight")}),
        Table::method("GetDisplayedAreaMM", 0x6003003E, &Orrery::GetDisplayedAreaMM,
                      {refArg("nLeft"), refArg("nTop"), refArg("nWidth"), refArg("nHeight")}),
        Table::method("GetImageTop", 0x600300A3, &Orrery::GetImageTop),
        Table::method("GetImageLeft", 0x600300A4, &Orrery::GetImageLeft),
        Table::method("CoordObjectToImage", 0x600300B0, &Orrery::CoordObjectToImage,
                      {arg("nObjectX"), arg("nObjectY"), refArg("nImageX"), refArg("nImageY")}),
        Table::method("CoordImageToObject", 0x600300B1, &Orrery::CoordImageToObject,
                      {arg("nImageX"), arg("nImageY"), refArg("nObjectX"), refArg("nObjectY")}),
        Table::property("ImageAlignment", 0x6803000F, &Orrery::ImageAlignment, &Orrery::setImageAlignment),
        Table::property("ImagePosition", 0x6803000E, &Orrery::ImagePosition, &Orrery::setImagePosition),
        Table::property("KeepImagePosition", 0x68030004, &Orrery::KeepImagePosition, &Orrery::setKeepImagePosition),
        Table::property("SkipImageResolution", 0x68030018, &Orrery::SkipImageResolution,
                        &Orrery::setSkipImageResolution),
    };
}

double Orrery::ZOOM() const { return state().zoom; }

void Orrery::setZOOM(double value) {
    p_->viewer.layout().SetZoomValue(value);
    notify("Zoom");
}

int32_t Orrery::ZoomMode() const { return state().zoomMode; }

void Orrery::setZoomMode(int32_t value) {
    p_->viewer.layout().SetZoomMode(value);
    notify("ZoomMode");
}

int32_t Orrery::ZoomStep() const { return state().zoomStep; }

void Orrery::setZoomStep(int32_t value) {
    if (value > 0) state().zoomStep = value;
    notify("ZoomStep");
}

int32_t Orrery::ZoomIN() {
    p_->viewer.layout().ZoomIN();
    return state().status;
}

int32_t Orrery::ZoomOUT() {
    p_->viewer.layout().ZoomOUT();
    return state().status;
}

int32_t Orrery::SetZoom(float nZoomPercent) {
    p_->viewer.layout().SetZoom(nZoomPercent);
    return state().status;
}

int32_t Orrery::SetZoom100() {
    p_->viewer.layout().SetZoomModeMember(viewer::Zoom100);
    return state().status;
}

int32_t Orrery::SetZoomFitControl() {
    p_->viewer.layout().SetZoomModeMember(viewer::ZoomFitToControl);
    return state().status;
}

int32_t Orrery::SetZoomWidthControl() {
    p_->viewer.layout().SetZoomModeMember(viewer::ZoomWidthControl);
    return state().status;
}

int32_t Orrery::SetZoomHeightControl() {
    p_->viewer.layout().SetZoomModeMember(viewer::ZoomHeightControl);
    return state().status;
}

int32_t Orrery::SetZoomControl() {
    p_->viewer.layout().SetZoomModeMember(viewer::ZoomToControl);
    return state().status;
}

double Orrery::GetMaxZoom() const { return state().maxZoom; }

int32_t Orrery::ZoomArea(int32_t nLeft, int32_t nTop, int32_t nWidth, int32_t nHeight) {
    return p_->viewer.layout().ZoomArea(nLeft, nTop, nWidth, nHeight);
}

void Orrery::GetDisplayedArea(int32_t& nLeft, int32_t& nTop, int32_t& nWidth, int32_t& nHeight) const {
    const viewer::AreaRect& area = state().displayedArea;
    nLeft = area.left, nTop = area.top, nWidth = area.width, nHeight = area.height;
}

void Orrery::GetDisplayedAreaMM(float& nLeft, float& nTop, float& nWidth, float& nHeight) const {
    p_->viewer.layout().GetDisplayedAreaMM(nLeft, nTop, nWidth, nHeight);
}

int32_t Orrery::GetImageTop() const { return state().offsetTop; }
int32_t Orrery::GetImageLeft() const { return state().offsetLeft; }

void Orrery::CoordObjectToImage(int32_t nObjectX, int32_t nObjectY, int32_t& nImageX, int32_t& nImageY) const {
    p_->viewer.layout().CoordObjectToImage(nObjectX, nObjectY, nImageX, nImageY);
}

void Orrery::CoordImageToObject(int32_t nImageX, int32_t nImageY, int32_t& nObjectX, int32_t& nObjectY) const {
    p_->viewer.layout().CoordImageToObject(nImageX, nImageY, nObjectX, nObjectY);
}

int32_t Orrery::ImageAlignment() const { return state().imageAlignment; }

void Orrery::setImageAlignment(int32_t value) {
    if (value == state().imageAlignment) return;
    p_->viewer.layout().SetImageAlignment(value);
    notify("ImageAlignment");
}

int32_t Orrery::ImagePosition() const { return state().imagePosition; }

void Orrery::setImagePosition(int32_t value) {
    if (value == state().imagePosition) return;
    p_->viewer.layout().SetImagePosition(value);
    notify("ImagePosition");
}

bool Orrery::KeepImagePosition() const { return state().keepImagePosition; }

void Orrery::setKeepImagePosition(bool value) {
    state().keepImagePosition = value;
    notify("KeepImagePosition");
}

bool Orrery::SkipImageResolution() const { return state().skipImageResolution; }

void Orrery::setSkipImageResolution(bool value) {
    state().skipImageResolution = value;
    notify("SkipImageResolution");
}

}  // namespace orrery::control
