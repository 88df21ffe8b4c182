#include "platform/window/control_window.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <new>
#include <optional>

#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/surface_convert.h"
#include "platform/window/hand_cursor.h"

namespace orrery::window {

namespace {

// The window's own timer: auto-repeat of a held scroll-bar arrow or track,
// first after a pause, then at a steady rate.
constexpr uint32_t kRepeatTimer = kReservedTimerBase + 1;
constexpr uint32_t kRepeatFirstDelay = 200;
constexpr uint32_t kRepeatInterval = 50;
// The platform's smallest and largest timer intervals.
constexpr uint32_t kMinTimerInterval = 10;
constexpr uint32_t kMaxTimerInterval = 0x7FFFFFFF;

// System colours (COLOR_SCROLLBAR 0 .. COLOR_MENUBAR 30), 0x00RRGGBB.
constexpr std::array<uint32_t, 31> kSystemColors = {
    0xC8C8C8, 0x000000, 0x99B4D1, 0xBFCDDB, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xF4F7FC, 0xABABAB, 0x3399FF, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x434E54, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xFFFFE1, 0xB5B5B5, 0x0066CC, 0xB9D1EA, 0xD7E4F2, 0x3399FF, 0xF0F0F0};
constexpr uint32_t kColorWindowFrame = 0x80000006;
constexpr uint32_t kColorBtnFace = 0x8000000F;
constexpr uint32_t kColorBtnShadow = 0x80000010;
constexpr uint32_t kColorBtnHighlight = 0x80000014;
constexpr uint32_t kColor3DDkShadow = 0x80000015;
constexpr uint32_t kColor3DLight = 0x80000016;

std::atomic<int32_t> gNextHwnd{0x10000};
std::atomic<int32_t> gNextHdc{0x1000000};

std::vector<ControlWindow*>& liveWindows() {
    thread_local std::vector<ControlWindow*> windows;
    return windows;
}

int toPixel(float v) {
    if (std::isnan(v)) return 0;
    return static_cast<int>(std::floor(std::clamp(static_cast<double>(v), -1e9, 1e9)));
}

bool contains(const Rect& r, int x, int y) {
    return x >= r.x && y >= r.y && x < r.x + r.width && y < r.y + r.height;
}

uint32_t* rowOf(const gdiplus::Surface& s, int y) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(s.pixels) + y * s.stride);
}

// Premultiplied source over an opaque destination.
uint32_t over(uint32_t s, uint32_t d) {
    const uint32_t sa = s >> 24;
    if (sa == 255) return s;
    if (sa == 0) return d;
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
        const uint32_t c = std::min<uint32_t>(255, sc + (dc * (255 - sa) + 127) / 255);
        out |= c << shift;
    }
    return out;
}

// An image whose pixels can be read row by row.
bool drawable(const std::shared_ptr<const gdiplus::Image>& image) {
    return image && image->type() == gdiplus::ImageType::Bitmap && !image->pixels().empty();
}

std::optional<ScrollCode> keyScrollCode(int32_t key) {
    switch (key) {
        case VK_LEFT:
        case VK_UP: return SB_LINEUP;
        case VK_RIGHT:
        case VK_DOWN: return SB_LINEDOWN;
        case VK_PRIOR: return SB_PAGEUP;
        case VK_NEXT: return SB_PAGEDOWN;
        case VK_HOME: return SB_TOP;
        case VK_END: return SB_BOTTOM;
        default: return std::nullopt;
    }
}

ScrollCode partCode(ScrollPart part) {
    switch (part) {
        case ScrollPart::ArrowBack: return SB_LINEUP;
        case ScrollPart::ArrowForward: return SB_LINEDOWN;
        case ScrollPart::TrackBack: return SB_PAGEUP;
        default: return SB_PAGEDOWN;
    }
}

// Hot spot of a cursor file's entry of the given size (the decoder shows the
// richest entry); the centre for icons and unreadable directories.
void readHotspot(const std::string& path, int width, int height, int& hx, int& hy) {
    hx = width / 2;
    hy = height / 2;
    std::ifstream in(path, std::ios::binary);
    uint8_t head[6];
    if (!in.read(reinterpret_cast<char*>(head), 6)) return;
    const int type = head[2] | (head[3] << 8);
    const int count = head[4] | (head[5] << 8);
    if (type != 2) return;
    for (int i = 0; i < count; ++i) {
        uint8_t e[16];
        if (!in.read(reinterpret_cast<char*>(e), 16)) return;
        const int w = e[0] ? e[0] : 256, h = e[1] ? e[1] : 256;
        if (w != width || h != height) continue;
        hx = std::clamp(e[4] | (e[5] << 8), 0, std::max(width - 1, 0));
        hy = std::clamp(e[6] | (e[7] << 8), 0, std::max(height - 1, 0));
        return;
    }
}

}  // namespace

// --- Message boxes -----------------------------------------------------------

MessageBoxRequest MessageBoxRequest::fromStyle(std::string text, int32_t style, std::string title) {
    MessageBoxRequest r;
    r.text = std::move(text);
    r.title = std::move(title);
    r.buttons = style & 0xF;
    r.icon = style & 0xF0;
    const int32_t def = (style & 0xF00) >> 8;
    r.defaultButton = def < static_cast<int32_t>(buttonsOf(r.buttons).size()) ? def : 0;
    return r;
}

std::vector<int32_t> buttonsOf(int32_t buttonSet) {
    switch (buttonSet) {
        case vbOKCancel: return {vbOK, vbCancel};
        case vbAbortRetryIgnore: return {vbAbort, vbRetry, vbIgnore};
        case vbYesNoCancel: return {vbYes, vbNo, vbCancel};
        case vbYesNo: return {vbYes, vbNo};
        case vbRetryCancel: return {vbRetry, vbCancel};
        default: return {vbOK};
    }
}

bool isChoosable(const std::vector<MenuItem>& items, int32_t id) {
    if (id == 0) return false;
    for (const MenuItem& item : items) {
        if (!item.enabled || item.separator) continue;
        if (item.isSubmenu()) {
            if (isChoosable(item.items, id)) return true;
        } else if (item.id == id) {
            return true;
        }
    }
    return false;
}

int32_t defaultAnswer(const MessageBoxRequest& request) {
    const std::vector<int32_t> buttons = buttonsOf(request.buttons);
    const size_t i = static_cast<size_t>(std::max(request.defaultButton, 0));
    return i < buttons.size() ? buttons[i] : buttons[0];
}

uint32_t resolveOleColor(uint32_t c) {
    if (c & 0x80000000u) {
        const uint32_t index = c & 0xFFFFFFu;
        return index < kSystemColors.size() ? kSystemColors[index] : 0;
    }
    return bgrToRgb(c & 0xFFFFFFu);
}

// --- Life ----------------------------------------------------------------------

ControlWindow::ControlWindow(WindowBackend& backend)
    : backend_(backend), hwnd_(gNextHwnd.fetch_add(1)), hdc_(gNextHdc.fetch_add(1)) {
    liveWindows().push_back(this);
    backend_.attach(*this);
}

ControlWindow::~ControlWindow() {
    backend_.detach(*this);
    auto& windows = liveWindows();
    windows.erase(std::remove(windows.begin(), windows.end(), this), windows.end());
}

ControlWindow* ControlWindow::fromHwnd(Hwnd hwnd) {
    for (ControlWindow* w : liveWindows())
        if (w->hwnd_ == hwnd) return w;
    return nullptr;
}

ControlWindow* ControlWindow::fromHdc(int32_t hdc) {
    for (ControlWindow* w : liveWindows())
        if (w->hdc_ == hdc) return w;
    return nullptr;
}

// --- Size ----------------------------------------------------------------------

int ControlWindow::borderWidth() const {
    if (borderStyle_ == BorderStyle::None) return 0;
    return appearance_ == Appearance::Flat ? kFlatBorderWidth : k3DBorderWidth;
}

int ControlWindow::clientWidth() const { return std::max(0, width_ - 2 * borderWidth()); }
int ControlWindow::clientHeight() const { return std::max(0, height_ - 2 * borderWidth()); }

Status ControlWindow::resizeSurface(int cw, int ch) {
    if (cw == surface_.width && ch == surface_.height) return Status::Ok;
    ++surfaceEpoch_;
    if (cw <= 0 || ch <= 0) {
        pixels_.reset();
        surface_.pixels = nullptr;
        surface_.width = surface_.height = 0;
        surface_.stride = 0;
        return Status::Ok;
    }
    if (!gdiplus::fitsAllocationLimit(cw, ch, gdiplus::PixelFormat32bppPARGB))
        return Status::OutOfMemory;
    std::unique_ptr<uint32_t[]> next(new (std::nothrow) uint32_t[static_cast<size_t>(cw) * ch]);
    if (!next) return Status::OutOfMemory;
    std::fill_n(next.get(), static_cast<size_t>(cw) * ch, 0xFF000000u | resolveOleColor(backColor_));
    const int keepW = std::min(cw, surface_.width), keepH = std::min(ch, surface_.height);
    for (int y = 0; y < keepH; ++y)
        std::memcpy(next.get() + static_cast<size_t>(y) * cw, rowOf(surface_, y),
                    static_cast<size_t>(keepW) * 4);
    pixels_ = std::move(next);
    surface_.pixels = pixels_.get();
    surface_.width = cw;
    surface_.height = ch;
    surface_.stride = static_cast<ptrdiff_t>(cw) * 4;
    return Status::Ok;
}

void ControlWindow::clientSizeMaybeChanged(int oldW, int oldH) {
    // A failed resize keeps the old bitmap; composing clips it to the client.
    resizeSurface(clientWidth(), clientHeight());
    invalidate();
    if (clientWidth() == oldW && clientHeight() == oldH) return;
    placeScrollBars();
    if (owner_) owner_->onResize();
}

Status ControlWindow::setWindowSize(int width, int height) {
    if (width < 0 || height < 0) return Status::InvalidParameter;
    const int oldW = clientWidth(), oldH = clientHeight();
    const int b = borderWidth();
    const Status st = resizeSurface(std::max(0, width - 2 * b), std::max(0, height - 2 * b));
    if (st != Status::Ok) return st;
    width_ = width;
    height_ = height;
    clientSizeMaybeChanged(oldW, oldH);
    return Status::Ok;
}

// --- Appearance ----------------------------------------------------------------

void ControlWindow::setBorderStyle(BorderStyle s) {
    const int oldW = clientWidth(), oldH = clientHeight();
    borderStyle_ = s;
    clientSizeMaybeChanged(oldW, oldH);
}

void ControlWindow::setAppearance(Appearance a) {
    const int oldW = clientWidth(), oldH = clientHeight();
    appearance_ = a;
    clientSizeMaybeChanged(oldW, oldH);
}

void ControlWindow::setBackStyle(BackStyle s) {
    backStyle_ = s;
    invalidate();
}

void ControlWindow::setBackColor(uint32_t c) {
    backColor_ = c;
    invalidate();
}

void ControlWindow::setContainerBackColor(uint32_t c) {
    containerBackColor_ = c;
    invalidate();
}

void ControlWindow::setEnabled(bool on) {
    enabled_ = on;
    if (on) return;
    // A disabled window drops what input it was following.
    if (press_.active) releaseScrollBar();
    heldButtons_ = 0;
    pressTarget_ = Target::None;
    clickArmed_ = false;
    explicitCapture_ = false;
    backend_.releaseCapture(*this);
}

// --- Content -------------------------------------------------------------------

void ControlWindow::setPersistentDrawing(PersistentDrawing p) {
    persistent_ = p;
    invalidate();
}

void ControlWindow::clearSurface() {
    ++surfaceEpoch_;
    fillSurfaceRect(surface_, {0, 0, surface_.width, surface_.height}, resolveOleColor(backColor_));
    invalidate();
}

void ControlWindow::setPicture(std::shared_ptr<const gdiplus::Image> picture) {
    picture_ = std::move(picture);
    invalidate();
}

void ControlWindow::setMaskPicture(std::shared_ptr<const gdiplus::Image> mask) {
    mask_ = std::move(mask);
    invalidate();
}

void ControlWindow::invalidate() {
    backend_.invalidate(*this, {0, 0, width_, height_}, Repaint::Deferred);
}

void ControlWindow::refresh() { backend_.invalidate(*this, {0, 0, width_, height_}, Repaint::Immediate); }

// --- Scroll bars ---------------------------------------------------------------

void ControlWindow::afterValueSet(ScrollBarId id, bool changed, ScrollChange how) {
    if (!changed) return;
    invalidate();
    if (owner_) owner_->onScrollValueChanged(id, bar(id).value(), how);
}

void ControlWindow::setScrollValue(ScrollBarId id, int32_t v) {
    afterValueSet(id, bar(id).setValue(v), ScrollChange::Change);
}

void ControlWindow::setScrollMin(ScrollBarId id, int32_t v) {
    invalidate();
    afterValueSet(id, bar(id).setMin(v), ScrollChange::Change);
}

void ControlWindow::setScrollMax(ScrollBarId id, int32_t v) {
    invalidate();
    afterValueSet(id, bar(id).setMax(v), ScrollChange::Change);
}

void ControlWindow::setScrollSmallChange(ScrollBarId id, int32_t v) { bar(id).setSmallChange(v); }

void ControlWindow::setScrollLargeChange(ScrollBarId id, int32_t v) {
    bar(id).setLargeChange(v);
    invalidate();
}

void ControlWindow::setScrollEnabled(ScrollBarId id, bool on) {
    if (!on && press_.active && press_.bar == id) releaseScrollBar();
    bar(id).setEnabled(on);
    ensureFocusable();
    invalidate();
}

void ControlWindow::setScrollVisible(ScrollBarId id, bool on) {
    if (bar(id).visible() == on) return;
    if (!on && press_.active && press_.bar == id) releaseScrollBar();
    bar(id).setVisible(on);
    placeScrollBars();
    ensureFocusable();
    invalidate();
}

void ControlWindow::setScrollGeometry(ScrollBarId id, const Rect& r) {
    bar(id).setGeometry(r);
    invalidate();
}

void ControlWindow::placeScrollBars() {
    const int cw = clientWidth(), ch = clientHeight(), t = kScrollBarThickness;
    hScroll_.setGeometry({0, ch - t, vScroll_.visible() ? std::max(cw - t, 0) : cw, t});
    vScroll_.setGeometry({cw - t, 0, t, hScroll_.visible() ? std::max(ch - t, 0) : ch});
    invalidate();
}

Rect ControlWindow::cornerBox() const {
    return {vScroll_.geometry().x, hScroll_.geometry().y, vScroll_.geometry().width,
            hScroll_.geometry().height};
}

void ControlWindow::setRectShape(const RectShape& shape) {
    rect_ = shape;
    invalidate();
}

// --- Cursor --------------------------------------------------------------------

void ControlWindow::setMousePointer(int32_t pointer) {
    mousePointer_ = pointer;
    if (hover_ == Target::Client) pushCursor();
}

void ControlWindow::setMouseIcon(std::shared_ptr<const CursorImage> icon) {
    mouseIcon_ = std::move(icon);
    if (hover_ == Target::Client) pushCursor();
}

Status ControlWindow::loadMouseIcon(const std::string& path) {
    std::unique_ptr<gdiplus::Image> image;
    const Status st = gdiplus::loadImageFromFile(path, {}, image);
    if (st != Status::Ok) return st;
    if (image->rawFormat() != gdiplus::ImageFormat::Icon) return Status::UnknownImageFormat;
    auto icon = std::make_shared<CursorImage>();
    readHotspot(path, image->width(), image->height(), icon->hotspotX, icon->hotspotY);
    icon->image = std::move(image);
    setMouseIcon(std::move(icon));
    return Status::Ok;
}

Cursor ControlWindow::cursor() const {
    Cursor c;
    c.pointer = mousePointer_;
    if (mousePointer_ == MousePointerCustom) c.custom = mouseIcon_;
    else c.custom = handCursor(mousePointer_);
    return c;
}

void ControlWindow::pushCursor() {
    backend_.setCursor(*this, hover_ == Target::Client ? cursor() : Cursor{});
}

void ControlWindow::updateHover(Target t) {
    if (t == hover_) return;
    hover_ = t;
    pushCursor();
}

// --- Focus and capture ---------------------------------------------------------

bool ControlWindow::setFocus(FocusTarget target) {
    if (!enabled_) return false;
    switch (target) {
        case FocusTarget::Control: break;
        case FocusTarget::HScroll:
        case FocusTarget::VScroll: {
            const ScrollBar& b = scrollBar(target == FocusTarget::HScroll ? ScrollBarId::Horizontal
                                                                           : ScrollBarId::Vertical);
            if (!b.visible() || !b.enabled()) return false;
            break;
        }
        case FocusTarget::Corner:
            if (!cornerVisible()) return false;
            break;
        default: return false;
    }
    if (hostFocused_ && focus_ == target) return true;
    moveFocus(target);
    return true;
}

void ControlWindow::moveFocus(FocusTarget target) {
    const FocusTarget old = focus();
    focus_ = target;
    if (!hostFocused_) {
        hostFocused_ = true;
        backend_.requestFocus(*this);
    }
    keyScrolling_ = false;
    if (!owner_) return;
    if (old != FocusTarget::None) owner_->onFocus(old, FocusChange::Lost);
    owner_->onFocus(target, FocusChange::Gained);
}

void ControlWindow::ensureFocusable() {
    bool ok = true;
    if (focus_ == FocusTarget::HScroll) ok = hScroll_.visible() && hScroll_.enabled();
    if (focus_ == FocusTarget::VScroll) ok = vScroll_.visible() && vScroll_.enabled();
    if (focus_ == FocusTarget::Corner) ok = cornerVisible();
    if (ok) return;
    if (hostFocused_)
        moveFocus(FocusTarget::Control);
    else
        focus_ = FocusTarget::Control;
}

void ControlWindow::hostFocusIn() {
    if (hostFocused_) return;
    hostFocused_ = true;
    if (focus_ == FocusTarget::None) focus_ = FocusTarget::Control;
    if (owner_) owner_->onFocus(focus_, FocusChange::Gained);
}

void ControlWindow::hostFocusOut() {
    if (!hostFocused_) return;
    hostFocused_ = false;
    keyScrolling_ = false;
    if (owner_) owner_->onFocus(focus_, FocusChange::Lost);
}

void ControlWindow::setCapture() {
    explicitCapture_ = true;
    backend_.setCapture(*this);
}

void ControlWindow::releaseCapture() {
    if (!explicitCapture_) return;
    explicitCapture_ = false;
    if (heldButtons_ == 0) backend_.releaseCapture(*this);
}

// --- Timers and dialogs --------------------------------------------------------

bool ControlWindow::setTimer(uint32_t id, uint32_t intervalMs) {
    if (id >= kReservedTimerBase) return false;
    backend_.setTimer(*this, id, std::clamp(intervalMs, kMinTimerInterval, kMaxTimerInterval));
    return true;
}

void ControlWindow::killTimer(uint32_t id) {
    if (id < kReservedTimerBase) backend_.killTimer(*this, id);
}

void ControlWindow::deliverTimer(uint32_t id) {
    if (id == kRepeatTimer)
        repeatScroll();
    else if (id < kReservedTimerBase && owner_)
        owner_->onTimer(id);
}

int32_t ControlWindow::messageBox(const std::string& text, int32_t style, const std::string& title) {
    return backend_.messageBox(*this, MessageBoxRequest::fromStyle(text, style, title));
}

int32_t ControlWindow::popupMenu(const PopupMenuRequest& request) {
    // The menu takes the release of the buttons that are down, as desktop
    // menus do: the window will not see it.
    releaseTakenByMenu_ |= heldButtons_;
    heldButtons_ = 0;
    clickArmed_ = false;
    pressTarget_ = Target::None;
    if (!explicitCapture_) backend_.releaseCapture(*this);
    return backend_.popupMenu(*this, request);
}

std::string ControlWindow::openFileDialog(const OpenFileRequest& request) {
    return backend_.openFileDialog(*this, request);
}

std::string ControlWindow::inputBox(const InputBoxRequest& request) { return backend_.inputBox(*this, request); }

// --- Composition ---------------------------------------------------------------

void ControlWindow::composeContent(const gdiplus::Surface& target, const Rect& client) const {
    if (persistent_ == PersistentDrawing::On) {
        const int w = std::min(client.width, surface_.width);
        const int h = std::min(client.height, surface_.height);
        for (int y = 0; y < h; ++y) {
            const uint32_t* src = rowOf(surface_, y);
            uint32_t* dst = rowOf(target, client.y + y) + client.x;
            for (int x = 0; x < w; ++x) dst[x] = over(src[x], dst[x]);
        }
        return;
    }
    if (backStyle_ == BackStyle::Opaque)
        fillSurfaceRect(target, client, resolveOleColor(backColor_));
    if (!drawable(picture_)) return;
    const int w = std::min(client.width, picture_->width());
    const int h = std::min(client.height, picture_->height());
    const gdiplus::ColorAdjuster identity;
    gdiplus::PremulRowReader reader(*picture_, identity);
    for (int y = 0; y < h && w > 0; ++y) {
        const uint32_t* src = reader.read(y, 0, w);
        uint32_t* dst = rowOf(target, client.y + y) + client.x;
        for (int x = 0; x < w; ++x) dst[x] = over(src[x], dst[x]);
    }
}

void ControlWindow::applyMask(const gdiplus::Surface& target, const Rect& client) const {
    const uint32_t container = 0xFF000000u | resolveOleColor(containerBackColor_);
    const bool readable = drawable(mask_);
    const int mw = readable ? std::min(client.width, mask_->width()) : 0;
    const int mh = readable ? std::min(client.height, mask_->height()) : 0;
    const gdiplus::ColorAdjuster identity;
    std::unique_ptr<gdiplus::PremulRowReader> reader;
    if (readable) reader = std::make_unique<gdiplus::PremulRowReader>(*mask_, identity);
    for (int y = 0; y < client.height; ++y) {
        uint32_t* dst = rowOf(target, client.y + y) + client.x;
        const uint32_t* m = (y < mh && mw > 0) ? reader->read(y, 0, mw) : nullptr;
        for (int x = 0; x < client.width; ++x) {
            const bool inside = m && x < mw && (m[x] >> 24) != 0;
            if (!inside) dst[x] = container;
        }
    }
}

void ControlWindow::drawBorder(const gdiplus::Surface& t) const {
    const int b = borderWidth(), w = width_, h = height_;
    if (b == 0) return;
    auto frame = [&](int inset, uint32_t topLeft, uint32_t bottomRight) {
        const int x0 = inset, y0 = inset, x1 = w - 1 - inset, y1 = h - 1 - inset;
        if (x1 < x0 || y1 < y0) return;
        fillSurfaceRect(t, {x0, y1, x1 - x0 + 1, 1}, bottomRight);
        fillSurfaceRect(t, {x1, y0, 1, y1 - y0 + 1}, bottomRight);
        fillSurfaceRect(t, {x0, y0, x1 - x0 + 1, 1}, topLeft);
        fillSurfaceRect(t, {x0, y0, 1, y1 - y0 + 1}, topLeft);
    };
    if (appearance_ == Appearance::Flat) {
        const uint32_t c = resolveOleColor(kColorWindowFrame);
        frame(0, c, c);
        return;
    }
    // The sunken edge: shadow over highlight outside, dark shadow over light inside.
    frame(0, resolveOleColor(kColorBtnShadow), resolveOleColor(kColorBtnHighlight));
    frame(1, resolveOleColor(kColor3DDkShadow), resolveOleColor(kColor3DLight));
}

Status ControlWindow::compose(const gdiplus::Surface& target) const {
    if (!target.pixels || target.width != width_ || target.height != height_ || width_ <= 0 ||
        height_ <= 0)
        return Status::InvalidParameter;
    fillSurfaceRect(target, {0, 0, width_, height_}, resolveOleColor(containerBackColor_));
    const int b = borderWidth();
    const Rect client{b, b, clientWidth(), clientHeight()};
    composeContent(target, client);
    if (backStyle_ == BackStyle::Transparent && mask_) applyMask(target, client);
    rect_.draw(target, b, b, client);
    hScroll_.draw(target, b, b);
    vScroll_.draw(target, b, b);
    if (cornerVisible()) {
        Rect box = cornerBox();
        box.x += b;
        box.y += b;
        fillSurfaceRect(target, box, resolveOleColor(kColorBtnFace));
    }
    drawBorder(target);
    return Status::Ok;
}

Status ControlWindow::snapshot(std::unique_ptr<gdiplus::Image>& out) const {
    if (width_ <= 0 || height_ <= 0) return Status::InvalidParameter;
    if (!gdiplus::fitsAllocationLimit(width_, height_, gdiplus::PixelFormat32bppARGB))
        return Status::OutOfMemory;
    gdiplus::PixelData pixels;
    Status st = gdiplus::PixelData::allocate(width_, height_, gdiplus::PixelFormat32bppARGB, pixels);
    if (st != Status::Ok) return st;
    gdiplus::Surface s;
    s.pixels = reinterpret_cast<uint32_t*>(pixels.scan0());
    s.width = width_;
    s.height = height_;
    s.stride = pixels.stride();
    // Every composed pixel is opaque, so premultiplied and straight agree.
    st = compose(s);
    if (st != Status::Ok) return st;
    out = gdiplus::Image::fromPixels(std::move(pixels));
    return out ? Status::Ok : Status::OutOfMemory;
}

// --- Input ---------------------------------------------------------------------

ControlWindow::Target ControlWindow::hitTest(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return Target::None;
    const int b = borderWidth();
    const int cx = x - b, cy = y - b;
    if (cx < 0 || cy < 0 || cx >= clientWidth() || cy >= clientHeight()) return Target::None;
    if (hScroll_.visible() && contains(hScroll_.geometry(), cx, cy)) return Target::HScroll;
    if (vScroll_.visible() && contains(vScroll_.geometry(), cx, cy)) return Target::VScroll;
    if (cornerVisible() && contains(cornerBox(), cx, cy)) return Target::Corner;
    return Target::Client;
}

ControlWindow::Target ControlWindow::inputTarget(int x, int y) const {
    if (heldButtons_ != 0 && pressTarget_ != Target::None) return pressTarget_;
    if (explicitCapture_) return Target::Client;
    return hitTest(x, y);
}

MouseEvent ControlWindow::clientEvent(int32_t button, int32_t shift, float x, float y) const {
    const float b = static_cast<float>(borderWidth());
    return MouseEvent{button, shift, x - b, y - b};
}

ScrollPart ControlWindow::partUnder(ScrollBarId id, float x, float y) const {
    const ScrollBar& b = scrollBar(id);
    const int border = borderWidth();
    return b.hitTest(toPixel(x) - border - b.geometry().x, toPixel(y) - border - b.geometry().y);
}

void ControlWindow::mouseDown(int32_t button, int32_t shift, float x, float y) {
    if (!enabled_) return;
    releaseTakenByMenu_ &= ~button;
    const Target t = inputTarget(toPixel(x), toPixel(y));
    if (heldButtons_ == 0) {
        pressTarget_ = t;
        clickArmed_ = t == Target::Client;
        if (!explicitCapture_) backend_.setCapture(*this);
    }
    heldButtons_ |= button;
    switch (t) {
        case Target::Client:
            if (focus() != FocusTarget::Control) setFocus(FocusTarget::Control);
            if (owner_) owner_->onMouseDown(clientEvent(button, shift, x, y));
            break;
        case Target::HScroll:
        case Target::VScroll:
            setFocus(t == Target::HScroll ? FocusTarget::HScroll : FocusTarget::VScroll);
            if (button == vbLeftButton && !press_.active) pressScrollBar(barOf(t), button, x, y);
            break;
        case Target::Corner: setFocus(FocusTarget::Corner); break;
        case Target::None: break;
    }
}

void ControlWindow::mouseDoubleClick(int32_t button, int32_t shift, float x, float y) {
    if (!enabled_) return;
    if (inputTarget(toPixel(x), toPixel(y)) != Target::Client) {
        mouseDown(button, shift, x, y);
        return;
    }
    if (heldButtons_ == 0) {
        pressTarget_ = Target::Client;
        if (!explicitCapture_) backend_.setCapture(*this);
    }
    heldButtons_ |= button;
    clickArmed_ = false;
    if (owner_) owner_->onDoubleClick();
}

void ControlWindow::mouseMove(int32_t shift, float x, float y) {
    if (!enabled_) return;
    const Target t = inputTarget(toPixel(x), toPixel(y));
    updateHover(t);
    if (t == Target::Client) {
        if (owner_) owner_->onMouseMove(clientEvent(heldButtons_, shift, x, y));
        return;
    }
    if (!press_.active || (t != Target::HScroll && t != Target::VScroll)) return;
    press_.x = x;
    press_.y = y;
    if (press_.part == ScrollPart::Thumb) {
        dragThumb(x, y);
        return;
    }
    // A held arrow or track part shows pressed only while the pointer is on it.
    ScrollBar& b = bar(press_.bar);
    const ScrollPart shown = partUnder(press_.bar, x, y) == press_.part ? press_.part : ScrollPart::None;
    if (shown != b.pressedPart()) {
        b.setPressedPart(shown);
        invalidate();
    }
}

void ControlWindow::mouseUp(int32_t button, int32_t shift, float x, float y) {
    if (!enabled_) return;
    if (releaseTakenByMenu_ & button) {
        releaseTakenByMenu_ &= ~button;
        return;
    }
    const Target t = inputTarget(toPixel(x), toPixel(y));
    heldButtons_ &= ~button;
    if (t == Target::Client) {
        if (owner_) owner_->onMouseUp(clientEvent(button, shift, x, y));
        if (clickArmed_ && heldButtons_ == 0 && hitTest(toPixel(x), toPixel(y)) == Target::Client) {
            clickArmed_ = false;
            if (owner_) owner_->onClick();
        }
    } else if (press_.active && button == vbLeftButton) {
        releaseScrollBar();
    }
    if (heldButtons_ != 0) return;
    pressTarget_ = Target::None;
    clickArmed_ = false;
    if (!explicitCapture_) backend_.releaseCapture(*this);
    updateHover(hitTest(toPixel(x), toPixel(y)));
}

void ControlWindow::pressScrollBar(ScrollBarId id, int32_t, float x, float y) {
    ScrollBar& b = bar(id);
    if (!b.enabled()) return;
    const ScrollPart part = partUnder(id, x, y);
    if (part == ScrollPart::None) return;
    press_ = BarPress{};
    press_.active = true;
    press_.bar = id;
    press_.part = part;
    press_.startValue = b.value();
    press_.x = x;
    press_.y = y;
    b.setPressedPart(part);
    invalidate();
    if (part == ScrollPart::Thumb) {
        const int border = borderWidth();
        press_.grab = b.along(toPixel(x) - border - b.geometry().x, toPixel(y) - border - b.geometry().y) -
                      b.thumbStart();
        return;
    }
    scrollAction(id, partCode(part));
    if (press_.active) backend_.setTimer(*this, kRepeatTimer, kRepeatFirstDelay);
}

void ControlWindow::scrollAction(ScrollBarId id, ScrollCode code) {
    const int32_t next = bar(id).valueAfter(code);
    if (owner_) owner_->onScroll(ScrollEvent{id, code, next});
    afterValueSet(id, bar(id).setValue(next), ScrollChange::Change);
}

void ControlWindow::dragThumb(float x, float y) {
    ScrollBar& b = bar(press_.bar);
    const int border = borderWidth();
    const int pos = b.along(toPixel(x) - border - b.geometry().x, toPixel(y) - border - b.geometry().y);
    const int32_t next = b.valueForThumbStart(pos - press_.grab);
    if (next == b.value()) return;
    if (owner_) owner_->onScroll(ScrollEvent{press_.bar, SB_THUMBTRACK, next});
    afterValueSet(press_.bar, b.setValue(next), ScrollChange::Track);
}

void ControlWindow::releaseScrollBar() {
    const BarPress done = press_;
    press_.active = false;
    ScrollBar& b = bar(done.bar);
    b.setPressedPart(ScrollPart::None);
    invalidate();
    if (done.part == ScrollPart::Thumb) {
        if (owner_) owner_->onScroll(ScrollEvent{done.bar, SB_THUMBPOSITION, b.value()});
        if (b.value() != done.startValue && owner_)
            owner_->onScrollValueChanged(done.bar, b.value(), ScrollChange::Change);
    } else {
        backend_.killTimer(*this, kRepeatTimer);
    }
    if (owner_) owner_->onScroll(ScrollEvent{done.bar, SB_ENDSCROLL, b.value()});
}

void ControlWindow::repeatScroll() {
    if (!press_.active || press_.part == ScrollPart::Thumb) {
        backend_.killTimer(*this, kRepeatTimer);
        return;
    }
    if (!press_.repeating) {
        press_.repeating = true;
        backend_.setTimer(*this, kRepeatTimer, kRepeatInterval);
    }
    // A held track part stops repeating once the thumb has reached the pointer.
    if (partUnder(press_.bar, press_.x, press_.y) == press_.part)
        scrollAction(press_.bar, partCode(press_.part));
}

void ControlWindow::keyDown(int32_t keyCode, int32_t shift) {
    if (!enabled_) return;
    KeyEvent ev{keyCode, shift, focus() == FocusTarget::None ? FocusTarget::Control : focus()};
    if (owner_) owner_->onKeyDown(ev);
    if (ev.keyCode == 0) return;
    if (ev.target != FocusTarget::HScroll && ev.target != FocusTarget::VScroll) return;
    const ScrollBarId id =
        ev.target == FocusTarget::HScroll ? ScrollBarId::Horizontal : ScrollBarId::Vertical;
    const std::optional<ScrollCode> code = keyScrollCode(ev.keyCode);
    if (!code || !bar(id).enabled()) return;
    keyScrolling_ = true;
    scrollAction(id, *code);
}

void ControlWindow::keyPress(int32_t keyAscii) {
    if (!enabled_) return;
    KeyPressEvent ev{keyAscii, focus() == FocusTarget::None ? FocusTarget::Control : focus()};
    if (owner_) owner_->onKeyPress(ev);
}

void ControlWindow::keyUp(int32_t keyCode, int32_t shift) {
    if (!enabled_) return;
    KeyEvent ev{keyCode, shift, focus() == FocusTarget::None ? FocusTarget::Control : focus()};
    if (owner_) owner_->onKeyUp(ev);
    if (!keyScrolling_ || ev.keyCode == 0 || !keyScrollCode(ev.keyCode)) return;
    if (ev.target != FocusTarget::HScroll && ev.target != FocusTarget::VScroll) return;
    keyScrolling_ = false;
    const ScrollBarId id =
        ev.target == FocusTarget::HScroll ? ScrollBarId::Horizontal : ScrollBarId::Vertical;
    if (owner_) owner_->onScroll(ScrollEvent{id, SB_ENDSCROLL, bar(id).value()});
}

void ControlWindow::wheel(int32_t delta, int32_t shift, float x, float y, WheelAxis axis) {
    if (!enabled_ || axis != WheelAxis::Vertical || delta == 0) return;
    wheelSum_ += delta;
    if (wheelSum_ > -kWheelDelta && wheelSum_ < kWheelDelta) return;
    const int32_t notch = wheelSum_ > 0 ? kWheelDelta : -kWheelDelta;
    wheelSum_ = 0;
    const float b = static_cast<float>(borderWidth());
    if (owner_) owner_->onWheel(WheelEvent{notch, heldButtons_, shift, x - b, y - b});
}

void ControlWindow::drop(const DropData& data) {
    if (!enabled_ || dropMode_ != DropMode::Manual) return;
    if (owner_) owner_->onDrop(data);
}

void ControlWindow::expose() {
    if (owner_) owner_->onPaint();
}

}  // namespace orrery::window
