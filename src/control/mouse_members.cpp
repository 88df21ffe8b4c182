// The members of _Orrery for the mouse modes, the selection rectangle and
// the wheel. Their work is the viewing engine's (viewer/mouse_modes,
// viewer/selection, viewer/scrolling); the control adds the change
// notifications and the zoom to the rectangle, which needs LockControl.
#include <algorithm>

#include "control/member_rows.h"

namespace orrery::control {

using automation::arg;
using automation::refArg;

namespace {

template <class Edit>
void editShape(window::ControlWindow& w, Edit edit) {
    window::RectShape shape = w.rectShape();
    edit(shape);
    w.setRectShape(shape);
}

}  // namespace

std::vector<OrreryTable::Row> mouseAndSelectionRows() {
    using Table = OrreryTable;
    return {
        // The wheel.
        Table::property("EnableMouseWheel", 0x68030010, &Orrery::EnableMouseWheel, &Orrery::setEnableMouseWheel),
        Table::property("MouseWheelMode", 0x68030003, &Orrery::MouseWheelMode, &Orrery::setMouseWheelMode),
        // Mouse modes.
        Table::property("MouseMode", 0x68030027, &Orrery::MouseMode, &Orrery::setMouseMode),
        Table::property("MouseButtonForMouseMode", 0x680300D2, &Orrery::MouseButtonForMouseMode,
                        &Orrery::setMouseButtonForMouseMode),
        Table::property("RectIsEditable", 0x680300CD, &Orrery::RectIsEditable, &Orrery::setRectIsEditable),
        Table::property("ContinuousViewMode", 0x680300CE, &Orrery::ContinuousViewMode,
                        &Orrery::setContinuousViewMode),
        Table::method("GetMouseX", 0x600300A1, &Orrery::GetMouseX),
        Table::method("GetMouseY", 0x600300A2, &Orrery::GetMouseY),
        // The selection rectangle.
        Table::method("isRectDrawed", 0x6003003C, &Orrery::isRectDrawed),
        Table::method("GetRectValues", 0x6003003F, &Orrery::GetRectValues,
                      {refArg("nLeft"), refArg("nTop"), refArg("nWidth"), refArg("nHeight")}),
        Table::method("GetRectX", 0x60030040, &Orrery::GetRectX),
        Table::method("GetRectY", 0x60030041, &Orrery::GetRectY),
        Table::method("GetRectWidth", 0x60030043, &Orrery::GetRectWidth),
        Table::method("GetRectHeight", 0x60030042, &Orrery::GetRectHeight),
        Table::method("GetRectValuesMM", 0x60030044, &Orrery::GetRectValuesMM,
                      {refArg("nLeft"), refArg("nTop"), refArg("nWidth"), refArg("nHeight")}),
        Table::method("SetRectValuesMM", 0x60030045, &Orrery::SetRectValuesMM,
                      {arg("nLeft"), arg("nTop"), arg("nWidth"), arg("nHeight")}),
        Table::method("GetRectValuesObject", 0x60030046, &Orrery::GetRectValuesObject,
                      {refArg("nLeft"), refArg("nTop"), refArg("nWidth"), refArg("nHeight")}),
        Table::method("SetRectValues", 0x60030047, &Orrery::SetRectValues,
                      {arg("nLeft"), arg("nTop"), arg("nWidth"), arg("nHeight")}),
        Table::method("SetRectValuesObject", 0x60030048, &Orrery::SetRectValuesObject,
                      {arg("nLeft"), arg("nTop"), arg("nWidth"), arg("nHeight")}),
        Table::method("ClearRect", 0x6003005E, &Orrery::ClearRect),
        Table::method("ZoomRect", 0x6003007A, &Orrery::ZoomRect),
        Table::method("CenterOnRect", 0x600300A0, &Orrery::CenterOnRect),
        Table::property("RectBorderColor", 0x68030026, &Orrery::RectBorderColor, &Orrery::setRectBorderColor),
        Table::property("RectBorderSize", 0x68030024, &Orrery::RectBorderSize, &Orrery::setRectBorderSize),
        Table::property("RectBorderStyle", 0x68030013, &Orrery::RectBorderStyle, &Orrery::setRectBorderStyle),
        Table::property("RectDrawMode", 0x68030012, &Orrery::RectDrawMode, &Orrery::setRectDrawMode),
    };
}

void Orrery::setMouseMode(int32_t value) {
    mouse_.SetMouseMode(value);
    menu_.showMouseMode(value);
    notify("MouseMode");
}

void Orrery::setRectBorderColor(int32_t value) {
    editShape(window_, [value](window::RectShape& s) { s.setBorderColor(static_cast<uint32_t>(value)); });
    notify("RectBorderColor");
}

int16_t Orrery::RectBorderSize() const {
    return static_cast<int16_t>(std::min<int32_t>(window_.rectShape().borderWidth(), INT16_MAX));
}

void Orrery::setRectBorderSize(int16_t value) {
    if (value < 1) throw automation::InvalidPropertyValue();
    editShape(window_, [value](window::RectShape& s) { s.setBorderWidth(value); });
    notify("RectBorderSize");
}

void Orrery::setRectBorderStyle(int32_t value) {
    if (value < window::BorderStyleTransparent || value > window::BorderStyleInsideSolid)
        throw automation::InvalidPropertyValue();
    s_.rectBorderStyle = value;
    editShape(window_, [value](window::RectShape& s) { s.setBorderStyle(value); });
    notify("RectBorderStyle");
}

void Orrery::setRectDrawMode(int32_t value) {
    if (value < window::R2_BLACK || value > window::R2_WHITE) throw automation::InvalidPropertyValue();
    s_.rectDrawMode = value;
    editShape(window_, [value](window::RectShape& s) { s.setDrawMode(value); });
    notify("RectDrawMode");
}

void Orrery::GetRectValues(int32_t& nLeft, int32_t& nTop, int32_t& nWidth, int32_t& nHeight) const {
    const viewer::AreaRect r = selection_.GetRectValues();
    nLeft = r.left, nTop = r.top, nWidth = r.width, nHeight = r.height;
}

void Orrery::GetRectValuesObject(int32_t& nLeft, int32_t& nTop, int32_t& nWidth, int32_t& nHeight) const {
    const viewer::AreaRect r = selection_.GetRectValuesObject();
    nLeft = r.left, nTop = r.top, nWidth = r.width, nHeight = r.height;
}

void Orrery::CenterOnRect() {
    if (!selection_.isRectDrawed()) return;
    int32_t h = 0, v = 0;
    selection_.CenterPosition(h, v);
    SetHVScrollBarPosition(h, v);
}

int32_t Orrery::ZoomRect() {
    if (!selection_.isRectDrawed()) return s_.status;
    // The layout computes the new zoom without painting; the one painting
    // comes from the scroll to the centred rectangle. The host hears no
    // change of LockControl.
    const bool wasLocked = lockControl_;
    lockControl_ = true;
    s_.zoomMode = viewer::ZoomFitRect;
    layout_.UpdateLayout(0);
    lockControl_ = wasLocked;
    // The rectangle at its place in the new zoom, so that centring uses the
    // size it has now, not the one it had before the zoom.
    selection_.FollowPicture();
    CenterOnRect();
    return s_.status;
}

}  // namespace orrery::control
