// dummy: the library's third creatable class. Its dispatch interface _dummy
// has no members; it has no window, no events and no object safety.
#pragma once
#include "control/class_factory.h"
#include "platform/automation/dispatch.h"

namespace orrery::control {

class dummy final : public automation::DispatchObject<dummy>, public automation::IUnknown {
public:
    static const automation::DispatchTable<dummy>& dispatchTable();
    // IUnknown, IDispatch and _dummy; nothing else.
    automation::HRESULT QueryInterface(const Guid& iid, void** object) override;

private:
    ServerObject live_;
};

}  // namespace orrery::control
