// The headless backend: windows without a screen, for tests and the
// command-line host. Time is a virtual clock that only moves when told to;
// message boxes, pop-up menus and file dialogs are recorded and answered
// from scripted queues; presenting, cursor, focus and capture are recorded;
// and an input injector delivers mouse, key, wheel, focus and drop input to
// a window as a desktop host would.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "orrery/window/window.h"

namespace orrery::window {

class InProcessClipboard;

class HeadlessBackend final : public WindowBackend {
public:
    // A bound on timer firings per advance() or processPendingEvents(), so a
    // script that keeps a fast timer running cannot hang.
    static constexpr size_t kMaxFirings = 100000;
    // The clock stops here (about 73 million years), far from overflow.
    static constexpr int64_t kClockLimit = int64_t{1} << 61;

    HeadlessBackend();
    ~HeadlessBackend() override;

    // --- WindowBackend -----------------------------------------------------
    void attach(ControlWindow& window) override;
    void detach(ControlWindow& window) override;
    int64_t now() const override { return now_; }
    void setTimer(ControlWindow& window, uint32_t id, uint32_t intervalMs) override;
    void killTimer(ControlWindow& window, uint32_t id) override;
    // Fires the timers already due, without moving the clock.
    void processPendingEvents() override;
    int32_t messageBox(ControlWindow& window, const MessageBoxRequest& request) override;
    int32_t popupMenu(ControlWindow& window, const PopupMenuRequest& request) override;
    std::string openFileDialog(ControlWindow& window, const OpenFileRequest& request) override;
    std::string inputBox(ControlWindow& window, const InputBoxRequest& request) override;
    void invalidate(ControlWindow& window, const Rect& area, Repaint when) override;
    void setCursor(ControlWindow& window, const Cursor& cursor) override;
    void requestFocus(ControlWindow& window) override;
    void setCapture(ControlWindow& window) override;
    void releaseCapture(ControlWindow& window) override;
    // One in-process clipboard per backend.
    Clipboard& clipboard() override;

    // --- Virtual clock -----------------------------------------------------
    struct AdvanceResult {
        size_t fired = 0;
        bool truncated = false;  // kMaxFirings was reached; later timers did not fire
    };
    // Moves the clock forward by `ms`, firing every timer that falls due on
    // the way in order of due time (equal times in order of scheduling), with
    // now() reading each firing's due time. Timers set, reset or killed by a
    // callback take effect at once, so a timer set by a callback fires in the
    // same advance when it falls due. Called from inside a timer callback it
    // moves no time and fires only what is due.
    AdvanceResult advance(int64_t ms);
    bool hasTimer(const ControlWindow& window, uint32_t id) const;
    std::optional<uint32_t> timerInterval(const ControlWindow& window, uint32_t id) const;
    size_t timerCount() const { return timers_.size(); }

    // --- Dialogs -----------------------------------------------------------
    struct MessageBoxRecord {
        Hwnd hwnd = 0;
        MessageBoxRequest request;
        int32_t answer = 0;
    };
    struct PopupMenuRecord {
        Hwnd hwnd = 0;
        PopupMenuRequest request;
        int32_t answer = 0;
    };
    struct OpenFileRecord {
        Hwnd hwnd = 0;
        OpenFileRequest request;
        std::string answer;
    };
    struct InputBoxRecord {
        Hwnd hwnd = 0;
        InputBoxRequest request;
        std::optional<std::string> answer;  // empty when cancelled
    };
    // Answers are used in order, one per dialog. A message-box answer that is
    // not one of the box's buttons, or an empty queue, gives the default
    // button; a menu answer that names no selectable item, or an empty
    // queue, dismisses the menu (0); an empty file queue cancels ("").
    void queueMessageBoxAnswer(int32_t button) { boxAnswers_.push_back(button); }
    void queuePopupMenuAnswer(int32_t itemId) { menuAnswers_.push_back(itemId); }
    void queueOpenFileAnswer(std::string path) { fileAnswers_.push_back(std::move(path)); }
    // Input boxes take their text in order; an empty queue cancels.
    void queueInputBoxAnswer(std::string text) { inputAnswers_.emplace_back(std::move(text)); }
    void queueInputBoxCancel() { inputAnswers_.emplace_back(std::nullopt); }
    const std::vector<InputBoxRecord>& inputBoxes() const { return inputs_; }
    const std::vector<MessageBoxRecord>& messageBoxes() const { return boxes_; }
    const std::vector<PopupMenuRecord>& popupMenus() const { return menus_; }
    const std::vector<OpenFileRecord>& openFileDialogs() const { return files_; }
    void clearRecords();

    // --- Presenting, cursor, focus, capture ----------------------------------
    // How often a window asked to be shown again, and how often immediately.
    size_t invalidations(const ControlWindow& window) const;
    size_t immediateRepaints(const ControlWindow& window) const;
    Cursor cursorOf(const ControlWindow& window) const;
    ControlWindow* focusedWindow() const { return focused_; }
    ControlWindow* captureWindow() const { return capture_; }

    // --- Input injection (window coordinates, border included) -------------
    void mouseDown(ControlWindow& w, int32_t button, int32_t shift, float x, float y);
    void mouseMove(ControlWindow& w, int32_t shift, float x, float y);
    void mouseUp(ControlWindow& w, int32_t button, int32_t shift, float x, float y);
    // A press and release at one place.
    void click(ControlWindow& w, int32_t button, int32_t shift, float x, float y);
    // Press, release, the double-click press, release: the platform's order.
    void doubleClick(ControlWindow& w, int32_t button, int32_t shift, float x, float y);
    // Keys go to the focused window; the window is given the focus first.
    void keyDown(ControlWindow& w, int32_t keyCode, int32_t shift);
    void keyPress(ControlWindow& w, int32_t keyAscii);
    void keyUp(ControlWindow& w, int32_t keyCode, int32_t shift);
    // Down, press (when keyAscii is not 0), up.
    void keyStroke(ControlWindow& w, int32_t keyCode, int32_t shift, int32_t keyAscii = 0);
    void wheel(ControlWindow& w, int32_t delta, int32_t shift, float x, float y,
               WheelAxis axis = WheelAxis::Vertical);
    // The host gives its focus to the window (taking it from another one).
    void focus(ControlWindow& w);
    // The host's focus leaves every window.
    void blur();
    // Drops as a file manager makes them: files by path, a text/uri-list,
    // or data that holds no file list (text).
    void dropFiles(ControlWindow& w, const std::vector<std::string>& paths);
    void dropUris(ControlWindow& w, const std::vector<std::string>& uris);
    void dropText(ControlWindow& w, const std::string& text);
    // The window was uncovered.
    void expose(ControlWindow& w);
    // Resizes the window as its container would; false when the window
    // refuses the size.
    bool resize(ControlWindow& w, int width, int height);

    // --- What the window shows -----------------------------------------------
    // Composes the whole window into `pixels`, `width` x `height` 32-bit
    // pixels of 0xAARRGGBB, row after row, as a screen would show it; false
    // when the window cannot be composed or `pixels` is too small.
    bool compose(const ControlWindow& w, std::span<uint32_t> pixels, int width, int height) const;

private:
    using TimerKey = std::pair<ControlWindow*, uint32_t>;
    struct Timer {
        uint32_t interval = 0;
        int64_t due = 0;
        uint64_t order = 0;
    };
    struct WindowRecord {
        size_t invalidations = 0;
        size_t immediate = 0;
        Cursor cursor;
    };

    // Fires due timers up to `until`; returns the count and whether the
    // bound stopped it.
    AdvanceResult fireUntil(int64_t until);

    int64_t now_ = 0;
    uint64_t nextOrder_ = 0;
    int firingDepth_ = 0;
    std::map<TimerKey, Timer> timers_;
    std::map<const ControlWindow*, WindowRecord> windows_;
    std::deque<int32_t> boxAnswers_;
    std::deque<int32_t> menuAnswers_;
    std::deque<std::string> fileAnswers_;
    std::vector<MessageBoxRecord> boxes_;
    std::vector<PopupMenuRecord> menus_;
    std::vector<OpenFileRecord> files_;
    std::deque<std::optional<std::string>> inputAnswers_;
    std::vector<InputBoxRecord> inputs_;
    ControlWindow* focused_ = nullptr;
    ControlWindow* capture_ = nullptr;
    std::unique_ptr<InProcessClipboard> clipboard_;
};

}  // namespace orrery::window
