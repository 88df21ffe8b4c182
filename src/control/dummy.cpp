#include "control/dummy.h"

namespace orrery::control {

using namespace automation;

const DispatchTable<dummy>& dummy::dispatchTable() {
    static const DispatchTable<dummy> table("_dummy", {});
    return table;
}

HRESULT dummy::QueryInterface(const Guid& iid, void** object) {
    if (!object) return E_INVALIDARG;
    *object = nullptr;
    if (iid == IID_IUnknown) *object = static_cast<automation::IUnknown*>(this);
    else if (iid == IID_IDispatch || iid == IID__dummy) *object = static_cast<IDispatch*>(this);
    return *object ? S_OK : E_NOINTERFACE;
}

}  // namespace orrery::control
