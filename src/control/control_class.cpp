#include "control/control_class.h"

#include <algorithm>

#include "control/events.h"
#include "platform/automation/object_safety.h"

namespace orrery::control {

using namespace automation;

namespace {

const OrreryTable& orreryTable() {
    static const OrreryTable table("_Orrery", memberRows());
    return table;
}

const OrreryTable& orreryCntTable() {
    static const OrreryTable table = [] {
        std::vector<OrreryTable::Row> rows = memberRows();
        std::erase_if(rows, [](const OrreryTable::Row& row) { return row.info.id == kGetnativePdfId; });
        return OrreryTable("_OrreryCnt", std::move(rows));
    }();
    return table;
}

}  // namespace

const ControlClass& orreryClass() {
    static const ControlClass c{"Orrery",     "OrreryCtl.Orrery", CLSID_Orrery, IID__Orrery, DIID___Orrery,
                                orreryTable, orreryEvents};
    return c;
}

const ControlClass& orreryCntClass() {
    static const ControlClass c{"OrreryCnt",     "OrreryCtl.OrreryCnt", CLSID_OrreryCnt, IID__OrreryCnt,
                                DIID___OrreryCnt, orreryCntTable,       orreryCntEvents};
    return c;
}

const TypeDescription& OrreryCnt::interfaceDescription() { return orreryCntTable().description(); }
std::vector<std::string> OrreryCnt::interfaceProblems() { return orreryCntTable().problems(); }

HRESULT Orrery::QueryInterface(const Guid& iid, void** object) {
    if (!object) return E_INVALIDARG;
    *object = nullptr;
    if (iid == IID_IUnknown) *object = static_cast<automation::IUnknown*>(this);
    else if (iid == IID_IDispatch || iid == class_->dispatchIid) *object = static_cast<IDispatch*>(this);
    else if (iid == IID_IObjectSafety) *object = static_cast<IObjectSafety*>(&objectSafety());
    else if (iid == IID_IPersistPropertyBag) *object = static_cast<IPersistPropertyBag*>(this);
    return *object ? S_OK : E_NOINTERFACE;
}

}  // namespace orrery::control
