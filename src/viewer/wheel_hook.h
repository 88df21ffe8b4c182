// The wheel hook: the controls of a thread take the wheel messages of their
// windows through one subclass table. Each hooked window has a record
// (window handle, removed flag, last message seen); records are appended and
// only ever flagged removed, so the table never shrinks and a window hooked
// again gets a new record.
//
// The hooked entry turns a wheel notch into the control's own key-down and
// key-up of numeric-pad plus (a turn away from the user) or minus, which the
// key-up handling reads as a wheel step.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "viewer/input_flags.h"

namespace orrery::viewer {

// Window message numbers the hook records.
inline constexpr uint32_t kWmNcDestroy = 0x0082;
inline constexpr uint32_t kWmMouseWheel = 0x020A;
// Numeric-pad plus and minus: the keys a wheel notch becomes.
inline constexpr int32_t kVkAdd = 0x6B;
inline constexpr int32_t kVkSubtract = 0x6D;

struct WheelHookRecord {
    int32_t hwnd = 0;
    bool removed = false;
    uint32_t lastMessage = 0;
};

class WheelHookTable {
public:
    // The table of the calling thread.
    static WheelHookTable& forThisThread();

    // Appends a record for the window.
    void install(int32_t hwnd);
    // Flags the window's active record removed; false when it had none.
    bool remove(int32_t hwnd);
    // The first record of the window that is not flagged removed, or null.
    WheelHookRecord* active(int32_t hwnd);
    const std::vector<WheelHookRecord>& records() const { return records_; }

private:
    std::vector<WheelHookRecord> records_;
};

// The hooked window's entry for one message. A wheel notch (delta > 0 away
// from the user) on an enabled window, while no other input of the thread is
// being handled, becomes keyStroke(kVkAdd) or keyStroke(kVkSubtract) under
// the wheel-step mark. Destroying the window, or a fault in the stroke,
// removes the hook; the fault goes no further.
enum class WheelHookResult { NotHooked, Delivered, Removed };
WheelHookResult deliverToWheelHook(int32_t hwnd, uint32_t message, int32_t delta, bool windowEnabled,
                        const std::function<void(int32_t keyCode)>& keyStroke);

}  // namespace orrery::viewer
