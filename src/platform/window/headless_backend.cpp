#include "orrery/window/headless_backend.h"

#include "platform/window/clipboard.h"
#include "platform/window/control_window.h"
#include "platform/window/drop_data.h"

#include <algorithm>

namespace orrery::window {

HeadlessBackend::HeadlessBackend() : clipboard_(std::make_unique<InProcessClipboard>()) {}
HeadlessBackend::~HeadlessBackend() = default;

Clipboard& HeadlessBackend::clipboard() { return *clipboard_; }

void HeadlessBackend::mouseDown(ControlWindow& w, int32_t button, int32_t shift, float x, float y) {
    w.mouseDown(button, shift, x, y);
}

void HeadlessBackend::mouseMove(ControlWindow& w, int32_t shift, float x, float y) { w.mouseMove(shift, x, y); }

void HeadlessBackend::mouseUp(ControlWindow& w, int32_t button, int32_t shift, float x, float y) {
    w.mouseUp(button, shift, x, y);
}

void HeadlessBackend::wheel(ControlWindow& w, int32_t delta, int32_t shift, float x, float y, WheelAxis axis) {
    w.wheel(delta, shift, x, y, axis);
}

void HeadlessBackend::dropFiles(ControlWindow& w, const std::vector<std::string>& paths) {
    w.drop(dropDataFromPaths(paths));
}

void HeadlessBackend::dropText(ControlWindow& w, const std::string&) { w.drop(DropData{}); }
void HeadlessBackend::expose(ControlWindow& w) { w.expose(); }

bool HeadlessBackend::resize(ControlWindow& w, int width, int height) {
    return w.setWindowSize(width, height) == gdiplus::Status::Ok;
}

bool HeadlessBackend::compose(const ControlWindow& w, std::span<uint32_t> pixels, int width, int height) const {
    if (width < 1 || height < 1 || pixels.size() / static_cast<size_t>(width) < static_cast<size_t>(height))
        return false;
    const gdiplus::Surface surface{pixels.data(), width, height, static_cast<ptrdiff_t>(width) * 4};
    return w.compose(surface) == gdiplus::Status::Ok;
}

void HeadlessBackend::attach(ControlWindow& window) { windows_[&window]; }

void HeadlessBackend::detach(ControlWindow& window) {
    std::erase_if(timers_, [&](const auto& entry) { return entry.first.first == &window; });
    windows_.erase(&window);
    if (focused_ == &window) focused_ = nullptr;
    if (capture_ == &window) capture_ = nullptr;
}

// --- Timers --------------------------------------------------------------------

void HeadlessBackend::setTimer(ControlWindow& window, uint32_t id, uint32_t intervalMs) {
    const uint32_t interval = std::max<uint32_t>(intervalMs, 1);
    timers_[{&window, id}] = Timer{interval, now_ + interval, nextOrder_++};
}

void HeadlessBackend::killTimer(ControlWindow& window, uint32_t id) { timers_.erase({&window, id}); }

bool HeadlessBackend::hasTimer(const ControlWindow& window, uint32_t id) const {
    return timers_.count({const_cast<ControlWindow*>(&window), id}) != 0;
}

std::optional<uint32_t> HeadlessBackend::timerInterval(const ControlWindow& window, uint32_t id) const {
    const auto it = timers_.find({const_cast<ControlWindow*>(&window), id});
    if (it == timers_.end()) return std::nullopt;
    return it->second.interval;
}

HeadlessBackend::AdvanceResult HeadlessBackend::fireUntil(int64_t until) {
    AdvanceResult result;
    ++firingDepth_;
    for (;;) {
        // The next timer is looked up afresh each time: callbacks may have
        // set, reset or killed timers, or destroyed windows.
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (it->second.due > until) continue;
            if (next == timers_.end() || it->second.due < next->second.due ||
                (it->second.due == next->second.due && it->second.order < next->second.order))
                next = it;
        }
        if (next == timers_.end()) break;
        if (result.fired == kMaxFirings) {
            result.truncated = true;
            break;
        }
        ControlWindow* window = next->first.first;
        const uint32_t id = next->first.second;
        now_ = std::max(now_, next->second.due);
        next->second.due = now_ + next->second.interval;
        next->second.order = nextOrder_++;
        ++result.fired;
        window->deliverTimer(id);
    }
    --firingDepth_;
    return result;
}

HeadlessBackend::AdvanceResult HeadlessBackend::advance(int64_t ms) {
    if (firingDepth_ > 0 || ms <= 0) return fireUntil(now_);
    const int64_t target = now_ + std::min(ms, kClockLimit - now_);
    AdvanceResult result = fireUntil(target);
    now_ = target;
    return result;
}

void HeadlessBackend::processPendingEvents() { fireUntil(now_); }

// --- Dialogs -------------------------------------------------------------------

int32_t HeadlessBackend::messageBox(ControlWindow& window, const MessageBoxRequest& request) {
    int32_t answer = defaultAnswer(request);
    if (!boxAnswers_.empty()) {
        const int32_t scripted = boxAnswers_.front();
        boxAnswers_.pop_front();
        const std::vector<int32_t> buttons = buttonsOf(request.buttons);
        if (std::find(buttons.begin(), buttons.end(), scripted) != buttons.end()) answer = scripted;
    }
    boxes_.push_back({window.hwnd(), request, answer});
    return answer;
}

int32_t HeadlessBackend::popupMenu(ControlWindow& window, const PopupMenuRequest& request) {
    int32_t answer = 0;
    if (!menuAnswers_.empty()) {
        const int32_t scripted = menuAnswers_.front();
        menuAnswers_.pop_front();
        if (isChoosable(request.items, scripted)) answer = scripted;
    }
    menus_.push_back({window.hwnd(), request, answer});
    return answer;
}

std::string HeadlessBackend::openFileDialog(ControlWindow& window, const OpenFileRequest& request) {
    std::string answer;
    if (!fileAnswers_.empty()) {
        answer = std::move(fileAnswers_.front());
        fileAnswers_.pop_front();
    }
    files_.push_back({window.hwnd(), request, answer});
    return answer;
}

void HeadlessBackend::dropUris(ControlWindow& w, const std::vector<std::string>& uris) {
    std::string list;
    for (const std::string& uri : uris) list += uri + "\r\n";
    w.drop(dropDataFromUriList(list));
}

std::string HeadlessBackend::inputBox(ControlWindow& window, const InputBoxRequest& request) {
    std::optional<std::string> answer;
    if (!inputAnswers_.empty()) {
        answer = std::move(inputAnswers_.front());
        inputAnswers_.pop_front();
    }
    inputs_.push_back({window.hwnd(), request, answer});
    return answer.value_or(std::string());
}

void HeadlessBackend::clearRecords() {
    boxes_.clear();
    menus_.clear();
    files_.clear();
    inputs_.clear();
}

// --- Presenting, cursor, focus, capture ------------------------------------------

void HeadlessBackend::invalidate(ControlWindow& window, const Rect&, Repaint when) {
    WindowRecord& r = windows_[&window];
    ++r.invalidations;
    if (when == Repaint::Immediate) ++r.immediate;
}

size_t HeadlessBackend::invalidations(const ControlWindow& window) const {
    const auto it = windows_.find(&window);
    return it == windows_.end() ? 0 : it->second.invalidations;
}

size_t HeadlessBackend::immediateRepaints(const ControlWindow& window) const {
    const auto it = windows_.find(&window);
    return it == windows_.end() ? 0 : it->second.immediate;
}

void HeadlessBackend::setCursor(ControlWindow& window, const Cursor& cursor) {
    windows_[&window].cursor = cursor;
}

Cursor HeadlessBackend::cursorOf(const ControlWindow& window) const {
    const auto it = windows_.find(&window);
    return it == windows_.end() ? Cursor{} : it->second.cursor;
}

void HeadlessBackend::requestFocus(ControlWindow& window) {
    ControlWindow* previous = focused_;
    focused_ = &window;
    if (previous && previous != &window) previous->hostFocusOut();
}

void HeadlessBackend::focus(ControlWindow& window) {
    if (focused_ == &window) return;
    ControlWindow* previous = focused_;
    focused_ = &window;
    if (previous) previous->hostFocusOut();
    window.hostFocusIn();
}

void HeadlessBackend::blur() {
    ControlWindow* previous = focused_;
    focused_ = nullptr;
    if (previous) previous->hostFocusOut();
}

void HeadlessBackend::setCapture(ControlWindow& window) { capture_ = &window; }

void HeadlessBackend::releaseCapture(ControlWindow& window) {
    if (capture_ == &window) capture_ = nullptr;
}

// --- Input -----------------------------------------------------------------------

void HeadlessBackend::click(ControlWindow& w, int32_t button, int32_t shift, float x, float y) {
    w.mouseDown(button, shift, x, y);
    w.mouseUp(button, shift, x, y);
}

void HeadlessBackend::doubleClick(ControlWindow& w, int32_t button, int32_t shift, float x, float y) {
    click(w, button, shift, x, y);
    w.mouseDoubleClick(button, shift, x, y);
    w.mouseUp(button, shift, x, y);
}

void HeadlessBackend::keyDown(ControlWindow& w, int32_t keyCode, int32_t shift) {
    focus(w);
    w.keyDown(keyCode, shift);
}

void HeadlessBackend::keyPress(ControlWindow& w, int32_t keyAscii) {
    focus(w);
    w.keyPress(keyAscii);
}

void HeadlessBackend::keyUp(ControlWindow& w, int32_t keyCode, int32_t shift) {
    focus(w);
    w.keyUp(keyCode, shift);
}

void HeadlessBackend::keyStroke(ControlWindow& w, int32_t keyCode, int32_t shift, int32_t keyAscii) {
    keyDown(w, keyCode, shift);
    if (keyAscii != 0) keyPress(w, keyAscii);
    keyUp(w, keyCode, shift);
}

}  // namespace orrery::window
