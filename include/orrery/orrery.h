// The public entry point of the library: the viewer control `Orrery`, its
// dispatch interface `_Orrery` (Orrery::Invoke, or the typed C++ members),
// its events `__Orrery`, and QuillonStatus.
#pragma once
#include "control/events.h"
#include "control/orrery.h"
#include "orrery/quillon_status.h"
