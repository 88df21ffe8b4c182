// The members of _Orrery for the scroll bars: whether they show, their
// steps, their ranges and positions. Their work is the engine's
// (viewer/viewer, viewer/layout).
#include "control/members/families.h"

namespace orrery::control {

using automation::arg;
using window::ScrollBarId;

std::vector<OrreryTable::Row> scrollingRows() {
    using Table = OrreryTable;
    return {
        Table::property("ScrollBars", 0x6803002D, &Orrery::ScrollBars, &Orrery::setScrollBars),
        Table::property("ForceScrollBars", 0x6803002C, &Orrery::ForceScrollBars, &Orrery::setForceScrollBars),
        Table::property("HScrollVisible", 0x680300D9, &Orrery::HScrollVisible, &Orrery::setScrollVisibleIgnored),
        Table::property("VScrollVisible", 0x680300DA, &Orrery::VScrollVisible, &Orrery::setScrollVisibleIgnored),
        Table::property("ScrollSmallChange", 0x68030022, &Orrery::ScrollSmallChange, &Orrery::setScrollSmallChange),
        Table::property("ScrollLargeChange", 0x68030021, &Orrery::ScrollLargeChange, &Orrery::setScrollLargeChange),
        Table::method("GetHScrollBarMaxPosition", 0x60030073, &Orrery::GetHScrollBarMaxPosition),
        Table::method("GetVScrollBarMaxPosition", 0x60030074, &Orrery::GetVScrollBarMaxPosition),
        Table::method("GetHScrollBarPosition", 0x60030075, &Orrery::GetHScrollBarPosition),
        Table::method("GetVScrollBarPosition", 0x60030076, &Orrery::GetVScrollBarPosition),
        Table::method("SetHScrollBarPosition", 0x60030077, &Orrery::SetHScrollBarPosition, {arg("nNewHPosition")}),
        Table::method("SetVScrollBarPosition", 0x60030078, &Orrery::SetVScrollBarPosition, {arg("nNewVPosition")}),
        Table::method("SetHVScrollBarPosition", 0x60030079, &Orrery::SetHVScrollBarPosition,
                      {arg("nNewHPosition"), arg("nNewVPosition")}),
    };
}

bool Orrery::ScrollBars() const { return state().scrollBars; }

void Orrery::setScrollBars(bool value) {
    p_->viewer.setScrollBars(value);
    notify("ScrollBars");
}

bool Orrery::ForceScrollBars() const { return state().forceScrollBars; }

void Orrery::setForceScrollBars(bool value) {
    p_->viewer.setForceScrollBars(value);
    notify("ForceScrollBars");
}

bool Orrery::HScrollVisible() const { return state().hScroll.visible; }
bool Orrery::VScrollVisible() const { return state().vScroll.visible; }
void Orrery::setScrollVisibleIgnored(bool) {}

int16_t Orrery::ScrollSmallChange() const { return state().hScroll.smallChange; }

void Orrery::setScrollSmallChange(int16_t value) {
    p_->viewer.setScrollSmallChange(value);
    notify("ScrollSmallChange");
}

int16_t Orrery::ScrollLargeChange() const { return state().hScroll.largeChange; }

void Orrery::setScrollLargeChange(int16_t value) {
    p_->viewer.setScrollLargeChange(value);
    notify("ScrollLargeChange");
}

int32_t Orrery::GetHScrollBarMaxPosition() const { return state().hScroll.max; }
int32_t Orrery::GetVScrollBarMaxPosition() const { return state().vScroll.max; }
int32_t Orrery::GetHScrollBarPosition() const { return state().hScroll.value; }
int32_t Orrery::GetVScrollBarPosition() const { return state().vScroll.value; }
void Orrery::SetHScrollBarPosition(int32_t nNewHPosition) { p_->viewer.scrollTo(ScrollBarId::Horizontal, nNewHPosition); }
void Orrery::SetVScrollBarPosition(int32_t nNewVPosition) { p_->viewer.scrollTo(ScrollBarId::Vertical, nNewVPosition); }

void Orrery::SetHVScrollBarPosition(int32_t nNewHPosition, int32_t nNewVPosition) {
    p_->viewer.scrollToBoth(nNewHPosition, nNewVPosition);
}

}  // namespace orrery::control
