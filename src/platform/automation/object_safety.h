// Object safety: both control classes claim to be safe for untrusted script
// (on IDispatch) and for untrusted persisted data (on the three persistence
// interfaces), as the thread's two safety flags say.
#pragma once
#include "orrery/automation/interfaces.h"

namespace orrery::automation {

// One pair a thread, shared by every object of the thread. The thread's
// start-up routine sets both the first time anything on the thread touches
// them (a control, the class factory or a safety call); nothing clears them.
struct SafetyFlags {
    bool safeForScripting = false;
    bool safeForInitialising = false;
};
const SafetyFlags& threadSafetyFlags();

// The claims, read from the calling thread's flags at each call. Neither call
// changes the flags: a host cannot switch safety off, and asking for both
// bits on one interface fails.
class ObjectSafety final : public IObjectSafety {
public:
    // `supported` is always 3. No `riid`: S_OK, `enabled` untouched.
    // IDispatch: enabled 1 when safe for scripting, else 0; a persistence
    // interface: 2 when safe for initialising, else 0; any other interface:
    // E_NOINTERFACE.
    HRESULT GetInterfaceSafetyOptions(const Guid* riid, uint32_t* supported, uint32_t* enabled) override;
    // No `riid`: S_OK. IDispatch: S_OK when (mask AND enabled) is exactly 1
    // and the thread is safe for scripting; a persistence interface: when it
    // is exactly 2 and the thread is safe for initialising; otherwise E_FAIL.
    // Any other interface: E_NOINTERFACE.
    HRESULT SetInterfaceSafetyOptions(const Guid* riid, uint32_t optionSetMask, uint32_t enabledOptions) override;
};

// The one instance every object of the library hands out.
ObjectSafety& objectSafety();

}  // namespace orrery::automation
