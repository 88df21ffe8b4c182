// The two control classes, Orrery and OrreryCnt: one implementation, told
// apart by the class an instance is made as. Each class has its identifiers,
// its dispatch interface (OrreryCnt's is Orrery's less GetnativePDF, built
// from the same rows, so a member added to a family reaches both) and its
// event interface (the same events under the class's own name).
#pragma once
#include "control/members/families.h"
#include "orrery/class_ids.h"

namespace orrery::control {

// The one member _OrreryCnt does not have.
inline constexpr automation::DISPID kGetnativePdfId = 0x6003014B;

struct ControlClass {
    const char* name;    // "Orrery"
    const char* progId;  // "OrreryCtl.Orrery"
    Guid clsid;
    Guid dispatchIid;
    Guid eventsIid;
    const OrreryTable& (*table)();
    const automation::TypeDescription& (*events)();
};

const ControlClass& orreryClass();
// orreryCntClass() is declared with OrreryCnt (orrery/orrery.h).

// The rows of every member built so far, the control's own and each
// family's, in interface order (orrery.cpp).
std::vector<OrreryTable::Row> memberRows();

}  // namespace orrery::control
