// The members of _Orrery for the mouse modes, the selection rectangle and
// the wheel. Their work is the viewing engine's (viewer/mouse_modes,
// viewer/selection, viewer/viewer); the control adds the change
// notifications.
#include <algorithm>

#include "control/members/families.h"

namespace orrery::control {

using automation::arg;
using automation::refArg;

namespace {

// The engine refuses a rectangle whose place does not fit a Long; the
// member reports that as the Overflow error.
template <class T>
T fitted(std::optional<T> value) {
    if (!value) throw automation::OverflowError();
    return *value;
}

void fitted(bool done) {
    if (!done) throw automation::OverflowError();
}

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

bool Orrery::EnableMouseWheel() const { return state().enableMouseWheel; }

void Orrery::setEnableMouseWheel(bool value) {
    p_->viewer.setEnableMouseWheel(value);
    notify("EnableMouseWheel");
}

int32_t Orrery::MouseWheelMode() const { return state().mouseWheelMode; }

void Orrery::setMouseWheelMode(int32_t value) {
    state().mouseWheelMode = value;
    notify("MouseWheelMode");
}

int32_t Orrery::MouseMode() const { return state().mouseMode; }

void Orrery::setMouseMode(int32_t value) {
    p_->viewer.setMouseMode(value);
    notify("MouseMode");
}

int32_t Orrery::MouseButtonForMouseMode() const { return state().mouseButtonForMouseMode; }
void Orrery::setMouseButtonForMouseMode(int32_t value) { state().mouseButtonForMouseMode = value == 0 ? 1 : value; }
bool Orrery::RectIsEditable() const { return state().rectIsEditable; }
void Orrery::setRectIsEditable(bool value) { state().rectIsEditable = value; }
bool Orrery::ContinuousViewMode() const { return state().continuousViewMode; }
void Orrery::setContinuousViewMode(bool value) { state().continuousViewMode = value; }
int32_t Orrery::RectBorderColor() const { return static_cast<int32_t>(window().rectShape().borderColor()); }

void Orrery::setRectBorderColor(int32_t value) {
    editShape(window(), [value](window::RectShape& s) { s.setBorderColor(static_cast<uint32_t>(value)); });
    notify("RectBorderColor");
}

int16_t Orrery::RectBorderSize() const {
    return static_cast<int16_t>(std::min<int32_t>(window().rectShape().borderWidth(), INT16_MAX));
}

void Orrery::setRectBorderSize(int16_t value) {
    if (value < 1) throw automation::InvalidPropertyValue();
    editShape(window(), [value](window::RectShape& s) { s.setBorderWidth(value); });
    notify("RectBorderSize");
}

int32_t Orrery::RectBorderStyle() const { return window().rectShape().borderStyle(); }

void Orrery::setRectBorderStyle(int32_t value) {
    if (value < window::BorderStyleTransparent || value > window::BorderStyleInsideSolid)
        throw automation::InvalidPropertyValue();
    state().rectBorderStyle = value;
    editShape(window(), [value](window::RectShape& s) { s.setBorderStyle(value); });
    notify("RectBorderStyle");
}

int32_t Orrery::RectDrawMode() const { return window().rectShape().drawMode(); }

void Orrery::setRectDrawMode(int32_t value) {
    if (value < window::R2_BLACK || value > window::R2_WHITE) throw automation::InvalidPropertyValue();
    state().rectDrawMode = value;
    editShape(window(), [value](window::RectShape& s) { s.setDrawMode(value); });
    notify("RectDrawMode");
}

bool Orrery::isRectDrawed() const { return p_->viewer.selection().isRectDrawed(); }
void Orrery::ClearRect() { p_->viewer.selection().ClearRect(); }

void Orrery::GetRectValues(int32_t& nLeft, int32_t& nTop, int32_t& nWidth, int32_t& nHeight) const {
    const viewer::AreaRect r = fitted(p_->viewer.selection().GetRectValues());
    nLeft = r.left, nTop = r.top, nWidth = r.width, nHeight = r.height;
}

int32_t Orrery::GetRectX() const { return fitted(p_->viewer.selection().GetRectValues()).left; }
int32_t Orrery::GetRectY() const { return fitted(p_->viewer.selection().GetRectValues()).top; }
int32_t Orrery::GetRectWidth() const { return fitted(p_->viewer.selection().GetRectValues()).width; }
int32_t Orrery::GetRectHeight() const { return fitted(p_->viewer.selection().GetRectValues()).height; }

void Orrery::GetRectValuesMM(float& nLeft, float& nTop, float& nWidth, float& nHeight) const {
    fitted(p_->viewer.selection().GetRectValuesMM(nLeft, nTop, nWidth, nHeight));
}

void Orrery::SetRectValues(int32_t nLeft, int32_t nTop, int32_t nWidth, int32_t nHeight) {
    fitted(p_->viewer.selection().SetRectValues(nLeft, nTop, nWidth, nHeight));
}

void Orrery::SetRectValuesMM(float nLeft, float nTop, float nWidth, float nHeight) {
    fitted(p_->viewer.selection().SetRectValuesMM(nLeft, nTop, nWidth, nHeight));
}

void Orrery::SetRectValuesObject(int32_t nLeft, int32_t nTop, int32_t nWidth, int32_t nHeight) {
    fitted(p_->viewer.selection().SetRectValuesObject(nLeft, nTop, nWidth, nHeight));
}

void Orrery::GetRectValuesObject(int32_t& nLeft, int32_t& nTop, int32_t& nWidth, int32_t& nHeight) const {
    const viewer::AreaRect r = fitted(p_->viewer.selection().GetRectValuesObject());
    nLeft = r.left, nTop = r.top, nWidth = r.width, nHeight = r.height;
}

int32_t Orrery::GetMouseX() const { return state().mouseImageX; }
int32_t Orrery::GetMouseY() const { return state().mouseImageY; }
void Orrery::CenterOnRect() { p_->viewer.centerOnRect(); }
int32_t Orrery::ZoomRect() {
    if (isRectDrawed()) fitted(p_->viewer.selection().GetRectValues());
    return p_->viewer.zoomRect();
}

}  // namespace orrery::control
