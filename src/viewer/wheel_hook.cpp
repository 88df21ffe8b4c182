#include "viewer/wheel_hook.h"

#include <algorithm>
#include <exception>

namespace orrery::viewer {

WheelHookTable& WheelHookTable::forThisThread() {
    thread_local WheelHookTable table;
    return table;
}

void WheelHookTable::install(int32_t hwnd) { records_.push_back(WheelHookRecord{hwnd, false, 0}); }

bool WheelHookTable::remove(int32_t hwnd) {
    WheelHookRecord* record = active(hwnd);
    if (!record) return false;
    record->removed = true;
    return true;
}

WheelHookRecord* WheelHookTable::active(int32_t hwnd) {
    auto it = std::find_if(records_.begin(), records_.end(),
                           [hwnd](const WheelHookRecord& r) { return r.hwnd == hwnd && !r.removed; });
    return it == records_.end() ? nullptr : &*it;
}

WheelHookResult deliverToWheelHook(int32_t hwnd, uint32_t message, int32_t delta, bool windowEnabled,
                        const std::function<void(int32_t keyCode)>& keyStroke) {
    WheelHookTable& table = WheelHookTable::forThisThread();
    WheelHookRecord* record = table.active(hwnd);
    if (!record) return WheelHookResult::NotHooked;
    record->lastMessage = message;
    if (message == kWmNcDestroy) {
        table.remove(hwnd);
        return WheelHookResult::Removed;
    }
    ThreadInputFlags& flags = threadInputFlags();
    if (!windowEnabled || message != kWmMouseWheel || flags.wheelBlocked()) return WheelHookResult::Delivered;
    try {
        FlagScope step(flags.wheelStep);
        keyStroke(delta > 0 ? kVkAdd : kVkSubtract);
    } catch (const std::exception&) {
        // The window falls back to its default wheel handling, which is none.
        table.remove(hwnd);
        return WheelHookResult::Removed;
    }
    return WheelHookResult::Delivered;
}

}  // namespace orrery::viewer
