// The public entry point of the library: the viewer control `Orrery`, its
// dispatch interface `_Orrery` (Orrery::Invoke, or the typed C++ members),
// its events `__Orrery`, its twin class `OrreryCnt`, the class factories and
// creation by program identifier, the class identifiers, QuillonStatus,
// RotateFlipType and the mouse and selection enumerations.
#pragma once
#include "control/class_factory.h"
#include "control/control_class.h"
#include "control/events.h"
#include "control/orrery.h"
#include "control/registration.h"
#include "orrery/class_ids.h"
#include "orrery/mouse_modes.h"
#include "orrery/quillon_status.h"
#include "orrery/rotate_flip_type.h"
