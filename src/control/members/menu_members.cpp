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

bool Orrery::EnableMenu() const { return p_->enableMenu; }

void Orrery::setEnableMenu(bool value) {
    p_->enableMenu = value;
    notify("EnableMenu");
}

void Orrery::SetItemMenuCaption(int32_t nIdxMenu, const std::string& sNewMenuCaption) {
    p_->menu.SetItemMenuCaption(nIdxMenu, sNewMenuCaption);
}

void Orrery::SetItemMenuEnabled(int32_t nIdxMenu, bool bEnabled) { p_->menu.SetItemMenuEnabled(nIdxMenu, bEnabled); }
const ContextMenu& Orrery::contextMenu() const { return p_->menu; }
bool Orrery::ViewerDrop() const { return p_->viewerDrop; }

void Orrery::setViewerDrop(bool value) {
    p_->viewerDrop = value;
    window().setDropMode(value ? window::DropMode::Manual : window::DropMode::None);
    notify("ViewerDrop");
}

bool Orrery::DisableAutoFocus() const { return state().disableAutoFocus; }

void Orrery::setDisableAutoFocus(bool value) {
    state().disableAutoFocus = value;
    notify("DisableAutoFocus");
}

int32_t Orrery::focusOwner() const { return p_->viewer.focusOwner(); }

bool Orrery::menuItemEnabled(FrameMenuItem item) const { return p_->menu.isEnabled(menuNumberOf(item)); }

void Orrery::Parts::frameItemEnabled(FrameMenuItem item, bool enabled) {
    menu.SetItemMenuEnabled(menuNumberOf(item), enabled);
}

void Orrery::Parts::menuMarkChanged(viewer::MenuMark mark) {
    const viewer::ViewState& s = viewer.state();
    switch (mark) {
        case viewer::MenuMark::ZoomMode: menu.showZoomMode(s.zoomMode); break;
        case viewer::MenuMark::MouseMode: menu.showMouseMode(s.mouseMode); break;
        case viewer::MenuMark::Quality: menu.showQuality(s.viewerQualityAuto, s.viewerQuality); break;
        case viewer::MenuMark::ScrollBars: menu.showScrollBars(s.scrollBars); break;
    }
}

void Orrery::Parts::contextMenuRequested(float x, float y) {
    if (!enableMenu || viewer.state().currentImage == 0) return;
    const int32_t chosen = viewer.window().popupMenu(menu.popup(viewer::roundEven(x), viewer::roundEven(y)));
    // The menu took the release of the button that opened it; without this
    // the thread's wheel would stay dead until some other release.
    viewer::threadInputFlags().mouseButtonHeld = false;
    if (chosen == 0 || viewer.terminated()) return;
    control.runMenuCommand(chosen);
    Variant item(chosen);
    events.raise(EventId::ClickMenu, std::span<Variant>(&item, 1));
}

void Orrery::runMenuCommand(int32_t number) {
    // The zoom modes act only when their item is not checked already.
    auto zoomModeItem = [this, number](int32_t (Orrery::*member)()) {
        if (!p_->menu.isChecked(number)) (this->*member)();
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
            const bool on = !p_->menu.isChecked(mnscroll);
            p_->menu.setChecked(mnscroll, on);
            setScrollBars(on);
            p_->viewer.updateScrollBars();
            break;
        }
        case mnclipboard:
            if (isRectDrawed()) {
                // A rectangle whose place does not fit a Long copies nothing.
                if (const std::optional<viewer::AreaRect> r = p_->viewer.selection().GetRectValues())
                    CopyRegion2Clipboard(r->left, r->top, r->width, r->height);
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
            p_->viewer.layout().UpdateLayout(0);
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
