// The control's context menu: a fixed tree of 38 numbered items (submenu
// titles included) and one separator, each with a caption, an enabled state
// and a check mark. The host renames and enables items by number; the
// control keeps the marks in step with its zoom mode, mouse mode, quality and
// scroll bars, and the page and animation items with the document.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "orrery/window/window.h"

namespace orrery::control {

enum MenuItemNumber : int32_t {
    mnframes = 1,
    mnfirstframe = 2,
    mnpreviousframe = 3,
    mnnextframe = 4,
    mnlastframe = 5,
    mnplaygif = 6,
    mnstopgif = 7,
    mnRotation = 8,
    mn90 = 9,
    mn180 = 10,
    mn270 = 11,
    mnflipx = 12,
    mn90flipx = 13,
    mn180Flipx = 14,
    mn270FlipX = 15,
    mnscroll = 16,
    mnclipboard = 17,
    mnzoom = 18,
    mnZoomin = 19,
    mnzoomout = 20,
    mnzoom100 = 21,
    mnzoomrect = 22,
    mnzoomfit = 23,
    mnzoomviewer = 24,
    mnZoomwidth = 25,
    mnZoomheight = 26,
    mnmousemode = 27,
    mnstandard = 28,
    mnhandcursor = 29,
    mnareaselection = 30,
    mnautozoom = 31,
    mnviewquality = 32,
    mnautomatic = 33,
    mnqualitylow = 34,
    mnqualitybilinear = 35,
    mnqualitybicubic = 36,
    mnqualitybilinearhq = 37,
    mnqualitybicubichq = 38,
};

class ContextMenu {
public:
    static constexpr int32_t kItemCount = 38;

    ContextMenu();

    // Numbers outside 1..38 change nothing.
    void SetItemMenuCaption(int32_t number, const std::string& caption);
    void SetItemMenuEnabled(int32_t number, bool enabled);

    static bool isItemNumber(int32_t number) { return number >= 1 && number <= kItemCount; }
    const std::string& caption(int32_t number) const { return item(number).caption; }
    const char* name(int32_t number) const { return item(number).name; }
    bool isEnabled(int32_t number) const { return item(number).enabled; }
    bool isChecked(int32_t number) const { return item(number).checked; }
    void setChecked(int32_t number, bool checked);

    // The marks, from the current property values.
    void showZoomMode(int32_t zoomMode);
    void showMouseMode(int32_t mouseMode);
    void showQuality(bool automatic, int32_t quality);
    void showScrollBars(bool scrollBars) { setChecked(mnscroll, scrollBars); }

    // The tree as a pop-up menu at (x, y).
    window::PopupMenuRequest popup(int x, int y) const;

private:
    struct Item {
        const char* name = "";
        std::string caption;
        bool enabled = true;
        bool checked = false;
    };
    const Item& item(int32_t number) const { return items_[static_cast<size_t>(isItemNumber(number) ? number : 0)]; }
    window::MenuItem entry(int32_t number) const;

    std::array<Item, kItemCount + 1> items_;  // [0] is the root, "menu"
};

}  // namespace orrery::control
