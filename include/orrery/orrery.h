// The public entry point of the library: the viewer control `Orrery`, its
// dispatch interface `_Orrery` (Orrery::Invoke, or the typed C++ members),
// its events `__Orrery`, QuillonStatus, RotateFlipType and the mouse and
// selection enumerations.
#pragma once
#include "control/events.h"
#include "control/orrery.h"
#include "orrery/mouse_modes.h"
#include "orrery/quillon_status.h"
#include "orrery/rotate_flip_type.h"
