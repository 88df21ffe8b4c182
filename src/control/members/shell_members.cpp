// The members of _Orrery for the control's shell: its window's appearance,
// the host's switches, the last status, the version and the mouse pointer.
#include "control/members/families.h"
#include "viewer/input_flags.h"

namespace orrery::control {

using automation::arg;

std::vector<OrreryTable::Row> shellRows() {
    using Table = OrreryTable;
    using automation::Call;
    return {
        Table::property("MousePointer", 0x68030031, &Orrery::MousePointer, &Orrery::setMousePointer),
        Table::property("BorderStyle", 0x68030030, &Orrery::BorderStyle, &Orrery::setBorderStyle),
        Table::property("BackColor", 0x6803002F, &Orrery::BackColor, &Orrery::setBackColor),
        Table::method("SetBackGroundColor", 0x60030070, &Orrery::SetBackGroundColor, {arg("nRGBColor")}),
        Table::property("Appearance", 0x6803000C, &Orrery::Appearance, &Orrery::setAppearance),
        Table::property("BackStyle", 0x6803000B, &Orrery::BackStyle, &Orrery::setBackStyle),
        Table::property("ClipControls", 0x68030023, &Orrery::ClipControls, &Orrery::setClipControls),
        Table::property("Enabled", 0x68030011, &Orrery::Enabled, &Orrery::setEnabled),
        Table::property("LockControl", 0x68030016, &Orrery::LockControl, &Orrery::setLockControl),
        Table::property("SilentMode", 0x6803001C, &Orrery::SilentMode, &Orrery::setSilentMode),
        Table::method("GetStat", 0x600300B9, &Orrery::GetStat),
        Table::method("GetVersion", 0x600300A7, &Orrery::GetVersion),
        Table::readOnly("hwnd", 0x68030017, &Orrery::hwnd),
        Table::readOnly("hdc", 0x6803002E, &Orrery::hdc),
        Table::method("Refresh", 0x600300B2, &Orrery::Refresh),
        Table::method("SetMouseIcon", 0x600300BA, {arg("sIconPath", automation::VT_BSTR)}, automation::VT_EMPTY,
                      [](Orrery& o, Call& c) {
                          if (!o.SetMouseIcon(c.str(0)))
                              c.fail(automation::E_FAIL, "Cannot load the cursor file " + c.str(0));
                      }),
    };
}

int32_t Orrery::MousePointer() const { return state().mousePointer; }

void Orrery::setMousePointer(int32_t value) {
    p_->viewer.setMousePointer(value);
    notify("MousePointer");
}

int32_t Orrery::BorderStyle() const { return static_cast<int32_t>(window().borderStyle()); }

void Orrery::setBorderStyle(int32_t value) {
    window().setBorderStyle(static_cast<window::BorderStyle>(value != 0));
    notify("BorderStyle");
}

int32_t Orrery::Appearance() const { return static_cast<int32_t>(window().appearance()); }

void Orrery::setAppearance(int32_t value) {
    window().setAppearance(static_cast<window::Appearance>(value != 0));
    notify("Appearance");
}

int32_t Orrery::BackStyle() const { return static_cast<int32_t>(window().backStyle()); }

void Orrery::setBackStyle(int32_t value) {
    window().setBackStyle(static_cast<window::BackStyle>(value != 0));
    notify("BackStyle");
}

int32_t Orrery::BackColor() const { return static_cast<int32_t>(window().backColor()); }

void Orrery::setBackColor(int32_t value) {
    window().setBackColor(static_cast<uint32_t>(value));
    notify("BackColor");
}

void Orrery::SetBackGroundColor(int32_t nRGBColor) { window().setBackColor(static_cast<uint32_t>(nRGBColor)); }

bool Orrery::ClipControls() const { return window().clipControls(); }

void Orrery::setClipControls(bool value) {
    window().setClipControls(value);
    notify("ClipControls");
}

bool Orrery::Enabled() const { return p_->enabled; }

void Orrery::setEnabled(bool value) {
    p_->enabled = value;
    window().setEnabled(value);
    notify("Enabled");
}

bool Orrery::LockControl() const { return state().lockControl; }

void Orrery::setLockControl(bool value) {
    state().lockControl = value;
    notify("LockControl");
}

bool Orrery::SilentMode() const { return state().silentMode; }

void Orrery::setSilentMode(bool value) {
    state().silentMode = value;
    notify("SilentMode");
}

int32_t Orrery::GetStat() const { return state().status; }
double Orrery::GetVersion() const { return 5.9901307; }
int32_t Orrery::hwnd() const { return window().hwnd(); }
int32_t Orrery::hdc() const { return window().hdc(); }
void Orrery::Refresh() { p_->viewer.refresh(); }
bool Orrery::SetMouseIcon(const std::string& sIconPath) { return p_->viewer.loadMouseIcon(sIconPath); }
void Orrery::Show() { p_->viewer.show(); }

}  // namespace orrery::control
