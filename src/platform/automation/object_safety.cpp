#include "platform/automation/object_safety.h"

namespace orrery::automation {

namespace {

// The thread's start-up routine.
SafetyFlags startThread() {
    SafetyFlags flags;
    flags.safeForScripting = true;
    flags.safeForInitialising = true;
    return flags;
}

// The safety kind an interface is judged by.
enum class SafetyKind { None, Scripting, Initialising };

SafetyKind kindOf(const Guid& iid) {
    if (iid == IID_IDispatch) return SafetyKind::Scripting;
    if (iid == IID_IPersistStorage || iid == IID_IPersistStream || iid == IID_IPersistPropertyBag)
        return SafetyKind::Initialising;
    return SafetyKind::None;
}

constexpr uint32_t kBothOptions = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

}  // namespace

const SafetyFlags& threadSafetyFlags() {
    thread_local const SafetyFlags flags = startThread();
    return flags;
}

HRESULT ObjectSafety::GetInterfaceSafetyOptions(const Guid* riid, uint32_t* supported, uint32_t* enabled) {
    const SafetyFlags& flags = threadSafetyFlags();
    if (supported) *supported = kBothOptions;
    if (!riid) return S_OK;
    uint32_t options = 0;
    switch (kindOf(*riid)) {
    case SafetyKind::Scripting:
        options = flags.safeForScripting ? INTERFACESAFE_FOR_UNTRUSTED_CALLER : 0;
        break;
    case SafetyKind::Initialising:
        options = flags.safeForInitialising ? INTERFACESAFE_FOR_UNTRUSTED_DATA : 0;
        break;
    case SafetyKind::None:
        return E_NOINTERFACE;
    }
    if (enabled) *enabled = options;
    return S_OK;
}

HRESULT ObjectSafety::SetInterfaceSafetyOptions(const Guid* riid, uint32_t optionSetMask, uint32_t enabledOptions) {
    const SafetyFlags& flags = threadSafetyFlags();
    if (!riid) return S_OK;
    const uint32_t asked = optionSetMask & enabledOptions;
    switch (kindOf(*riid)) {
    case SafetyKind::Scripting:
        return asked == INTERFACESAFE_FOR_UNTRUSTED_CALLER && flags.safeForScripting ? S_OK : E_FAIL;
    case SafetyKind::Initialising:
        return asked == INTERFACESAFE_FOR_UNTRUSTED_DATA && flags.safeForInitialising ? S_OK : E_FAIL;
    case SafetyKind::None:
        break;
    }
    return E_NOINTERFACE;
}

ObjectSafety& objectSafety() {
    static ObjectSafety safety;
    return safety;
}

}  // namespace orrery::automation
