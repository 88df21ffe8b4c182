#include "control/context_menu.h"

#include <initializer_list>
#include <utility>

namespace orrery::control {

namespace {

// One entry of the tree: an item number, or 0 for the separator, with the
// numbers of a submenu's items.
struct Node {
    int32_t number;
    std::initializer_list<int32_t> children;
};

constexpr int32_t kSeparator = 0;

const std::initializer_list<Node>& tree() {
    static const std::initializer_list<Node> nodes = {
        {mnframes, {mnfirstframe, mnpreviousframe, mnnextframe, mnlastframe}},
        {mnplaygif, {}},
        {mnstopgif, {}},
        {mnRotation, {mn90, mn180, mn270, mnflipx, mn90flipx, mn180Flipx, mn270FlipX}},
        {mnscroll, {}},
        {mnclipboard, {}},
        {mnzoom, {mnZoomin, mnzoomout, mnzoom100, mnzoomrect, mnzoomfit, mnzoomviewer, mnZoomwidth, mnZoomheight}},
        {mnmousemode, {mnstandard, mnhandcursor, mnareaselection, mnautozoom}},
        {mnviewquality,
         {mnautomatic, kSeparator, mnqualitylow, mnqualitybilinear, mnqualitybicubic, mnqualitybilinearhq,
          mnqualitybicubichq}},
    };
    return nodes;
}

}  // namespace

ContextMenu::ContextMenu() {
    const std::pair<const char*, const char*> named[kItemCount + 1] = {
        {"menu", "menu"},
        {"mnframes", "Pages / Frames"},
        {"mnfirstframe", "Goto First"},
        {"mnpreviousframe", "Goto Previous"},
        {"mnnextframe", "Goto Next"},
        {"mnlastframe", "Goto Last"},
        {"mnplaygif", "Play Gif"},
        {"mnstopgif", "Stop GIF Animation"},
        {"mnRotation", "Rotations - Flips"},
        {"mn90", "Rotate 90\u00B0"},
        {"mn180", "Rotate 180\u00B0"},
        {"mn270", "Rotate 270\u00B0"},
        {"mnflipx", "Flip X"},
        {"mn90flipx", "RotateFlip 90\u00B0"},
        {"mn180Flipx", "RotateFlip 180\u00B0"},
        {"mn270FlipX", "RotateFlip 270\u00B0 "},
        {"mnscroll", "ScrollBars"},
        {"mnclipboard", "Copy to Clipboard"},
        {"mnzoom", "Zoom"},
        {"mnZoomin", "Zoom in"},
        {"mnzoomout", "Zoom out"},
        {"mnzoom100", "Zoom 100%"},
        {"mnzoomrect", "Zoom to selected area"},
        {"mnzoomfit", "Fit image to viewer (keep aspect ratio)"},
        {"mnzoomviewer", "Fit image to viewer (don't keep aspect ratio)"},
        {"mnZoomwidth", "Fit image to viewer width"},
        {"mnZoomheight", "Fit image to viewer height"},
        {"mnmousemode", "Left Click"},
        {"mnstandard", "Nothing"},
        {"mnhandcursor", "Hand Pan Tool"},
        {"mnareaselection", "Area Selection Tool"},
        {"mnautozoom", "Auto Zoom Tool"},
        {"mnviewquality", "Viewer Quality"},
        {"mnautomatic", "Automatic"},
        {"mnqualitylow", "Quality Low"},
        {"mnqualitybilinear", "Quality Bilinear"},
        {"mnqualitybicubic", "Quality Bicubic"},
        {"mnqualitybilinearhq", "Quality Bilinear HQ"},
        {"mnqualitybicubichq", "Quality Bicubic HQ"},
    };
    for (size_t i = 0; i < items_.size(); ++i) {
        items_[i].name = named[i].first;
        items_[i].caption = named[i].second;
    }
}

void ContextMenu::SetItemMenuCaption(int32_t number, const std::string& caption) {
    if (isItemNumber(number)) items_[static_cast<size_t>(number)].caption = caption;
}

void ContextMenu::SetItemMenuEnabled(int32_t number, bool enabled) {
    if (isItemNumber(number)) items_[static_cast<size_t>(number)].enabled = enabled;
}

void ContextMenu::setChecked(int32_t number, bool checked) {
    if (isItemNumber(number)) items_[static_cast<size_t>(number)].checked = checked;
}

void ContextMenu::showZoomMode(int32_t zoomMode) {
    setChecked(mnzoom100, zoomMode == 1);
    setChecked(mnzoomfit, zoomMode == 2);
    setChecked(mnZoomwidth, zoomMode == 3);
    setChecked(mnZoomheight, zoomMode == 5);
    setChecked(mnzoomviewer, zoomMode == 6);
}

void ContextMenu::showMouseMode(int32_t mouseMode) {
    if (mouseMode < 0 || mouseMode > 3) return;
    setChecked(mnstandard, mouseMode == 0);
    setChecked(mnareaselection, mouseMode == 1);
    setChecked(mnhandcursor, mouseMode == 2);
    setChecked(mnautozoom, mouseMode == 3);
}

void ContextMenu::showQuality(bool automatic, int32_t quality) {
    setChecked(mnautomatic, automatic);
    for (int32_t q = 0; q <= 4; ++q) {
        const int32_t number = mnqualitylow + q;
        SetItemMenuEnabled(number, !automatic);
        setChecked(number, quality == q);
    }
}

window::MenuItem ContextMenu::entry(int32_t number) const {
    if (number == kSeparator) return window::MenuItem{0, std::string(1, '-'), true, false, true, {}};
    window::MenuItem m;
    const Item& it = item(number);
    m.id = number;
    m.caption = it.caption;
    m.enabled = it.enabled;
    m.checked = it.checked;
    return m;
}

window::PopupMenuRequest ContextMenu::popup(int x, int y) const {
    window::PopupMenuRequest request;
    request.x = x;
    request.y = y;
    for (const Node& node : tree()) {
        window::MenuItem m = entry(node.number);
        for (int32_t child : node.children) m.items.push_back(entry(child));
        request.items.push_back(std::move(m));
    }
    return request;
}

}  // namespace orrery::control
