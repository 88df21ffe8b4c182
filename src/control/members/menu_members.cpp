// The members of _Orrery for the context menu, dropped files and the
// keyboard focus, and the menu's commands: each item calls the member a host
// would call, then the host hears ClickMenu with the item's number.
#include "control/members/families.h"
#include "control/events.h"
#include "viewer/input_flags.h"

namespace orrery::control {

using automation::arg;
using automation::Variant;

namespace {

int32_t menuNumberOf(FrameMenuItem item) {
    switch (item) {
        case FrameMenuItem::GotoFirst: return mnfirstframe;
        case FrameMenuItem::GotoPrevious: return mnpreviousframe;
        case FrameMenuItem::GotoNext: return mnnextframe;
        case FrameMenuItem::GotoLast: return mnlastframe;
        case FrameMenuItem::PlayGif: return mnplaygif;
        case FrameMenuItem::StopGifAnimation: return mnstopgif;
    }
    return 0;
}

}  // namespace

std::vector<OrreryTable::Row> menuAndEventRows() {
    using Table = OrreryTable;
    return {
        Table::property("EnableMenu", 0x6803002B, &Orrery::EnableMenu, &Orrery::setEnableMenu),
        Table::method("SetItemMenuCaption", 0x600300B3, &Orrery::SetItemMenuCaption,
                      {arg("nIdxMenu"), arg("sNewMenuCaption")}),
        Table::method("SetItemMenuEnabled", 0x600300B4, &Orrery::SetItemMenuEnabled,
                      {arg("nIdxMenu"), arg("bEnabled")}),
        Table::property("ViewerDrop", 0x68030002, &Orrery::ViewerDrop, &Orrery::setViewerDrop),
        Table::property("DisableAutoFocus", 0x68030001, &Orrery::DisableAutoFocus, &Orrery::setDisableAutoFocus),
    };
}

bool Orrery::EnableMenu() const { return enableMenu_; }

void Orrery::setEnableMenu(bool value) {
    enableMenu_ = value;
    notify("EnableMenu");
}

void Orrery::SetItemMenuCaption(int32_t nIdxMenu, const std::string& sNewMenuCaption) {
    menu_.SetItemMenuCaption(nIdxMenu, sNewMenuCaption);
}

void Orrery::SetItemMenuEnabled(int32_t nIdxMenu, bool bEnabled) { menu_.SetItemMenuEnabled(nIdxMenu, bEnabled); }
const ContextMenu& Orrery::contextMenu() const { return menu_; }
bool Orrery::ViewerDrop() const { return viewerDrop_; }

void Orrery::setViewerDrop(bool value) {
    viewerDrop_ = value;
    window().setDropMode(value ? window::DropMode::Manual : window::DropMode::None);
    notify("ViewerDrop");
}

bool Orrery::DisableAutoFocus() const { return state().disableAutoFocus; }

void Orrery::setDisableAutoFocus(bool value) {
    state().disableAutoFocus = value;
    notify("DisableAutoFocus");
}

int32_t Orrery::focusOwner() const { return viewer_.focusOwner(); }

bool Orrery::menuItemEnabled(FrameMenuItem item) const { return menu_.isEnabled(menuNumberOf(item)); }

void Orrery::frameItemEnabled(FrameMenuItem item, bool enabled) {
    menu_.SetItemMenuEnabled(menuNumberOf(item), enabled);
}

void Orrery::menuMarkChanged(viewer::MenuMark mark) {
    const viewer::ViewState& s = state();
    switch (mark) {
        case viewer::MenuMark::ZoomMode: menu_.showZoomMode(s.zoomMode); break;
        case viewer::MenuMark::MouseMode: menu_.showMouseMode(s.mouseMode); break;
        case viewer::MenuMark::Quality: menu_.showQuality(s.viewerQualityAuto, s.viewerQuality); break;
        case viewer::MenuMark::ScrollBars: menu_.showScrollBars(s.scrollBars); break;
    }
}

void Orrery::contextMenuRequested(float x, float y) {
    if (!enableMenu_ || state().currentImage == 0) return;
    const int32_t chosen = window().popupMenu(menu_.popup(viewer::roundEven(x), viewer::roundEven(y)));
    // The menu took the release of the button that opened it; without this
    // the thread's wheel would stay dead until some other release.
    viewer::threadInputFlags().mouseButtonHeld = false;
    if (chosen == 0 || viewer_.terminated()) return;
    runMenuCommand(chosen);
    Variant item(chosen);
    events_.raise(EventId::ClickMenu, std::span<Variant>(&item, 1));
}

void Orrery::runMenuCommand(int32_t number) {
    // The zoom modes act only when their item is not checked already.
    auto zoomModeItem = [this, number](int32_t (Orrery::*member)()) {
        if (!menu_.isChecked(number)) (this->*member)();
    };
    switch (number) {
        case mnfirstframe: DisplayFirstFrame(); break;
        case mnpreviousframe: DisplayPreviousFrame(); break;
        case mnnextframe: DisplayNextFrame(); break;
        case mnlastframe: DisplayLastFrame(); break;
        case mnplaygif: PlayGif(); break;
        case mnstopgif: StopGif(); break;
        case mn90: Rotate90(); break;
        case mn180: Rotate180(); break;
        case mn270: Rotate270(); break;
        case mnflipx: FlipX(); break;
        case mn90flipx: FlipX90(); break;
        case mn180Flipx: FlipX180(); break;
        case mn270FlipX: FlipX270(); break;
        case mnscroll: {
            const bool on = !menu_.isChecked(mnscroll);
            menu_.setChecked(mnscroll, on);
            setScrollBars(on);
            viewer_.updateScrollBars();
            break;
        }
        case mnclipboard:
            if (isRectDrawed()) {
                const viewer::AreaRect r = viewer_.selection().GetRectValues();
                CopyRegion2Clipboard(r.left, r.top, r.width, r.height);
            } else {
                Copy2Clipboard();
            }
            break;
        case mnZoomin: ZoomIN(); break;
        case mnzoomout: ZoomOUT(); break;
        case mnzoom100: zoomModeItem(&Orrery::SetZoom100); break;
        case mnzoomrect: ZoomRect(); break;
        case mnzoomfit: zoomModeItem(&Orrery::SetZoomFitControl); break;
        case mnzoomviewer: zoomModeItem(&Orrery::SetZoomControl); break;
        case mnZoomwidth: zoomModeItem(&Orrery::SetZoomWidthControl); break;
        case mnZoomheight: zoomModeItem(&Orrery::SetZoomHeightControl); break;
        case mnstandard: setMouseMode(viewer::MouseModeDefault); break;
        case mnhandcursor: setMouseMode(viewer::MouseModePan); break;
        case mnareaselection: setMouseMode(viewer::MouseModeAreaSelection); break;
        case mnautozoom: setMouseMode(viewer::MouseModeAutoZoom); break;
        case mnautomatic:
            // The field alone: no timer change and no change notification.
            state().viewerQualityAuto = !state().viewerQualityAuto;
            viewer_.layout().UpdateLayout(0);
            break;
        case mnqualitylow:
        case mnqualitybilinear:
        case mnqualitybicubic:
        case mnqualitybilinearhq:
        case mnqualitybicubichq:
            setViewerQualityAuto(false);
            setViewerQuality(number - mnqualitylow);
            break;
        default: break;  // submenu titles run nothing
    }
}

}  // namespace orrery::control
