// The event interface __Orrery: the 25 events (their identifiers are in
// orrery/event_ids.h) with their parameters, in the order the interface
// declares them.
#pragma once
#include "orrery/event_ids.h"
#include "platform/automation/type_description.h"

namespace orrery::control {


// The description of __Orrery, and the same events as __OrreryCnt.
const automation::TypeDescription& orreryEvents();
const automation::TypeDescription& orreryCntEvents();

}  // namespace orrery::control
