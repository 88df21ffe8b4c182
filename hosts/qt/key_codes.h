// Qt's keys as the platform's virtual-key numbers, which the control and its
// Key... events use.
#pragma once
#include <cstdint>

#include <Qt>

namespace orrery::qt {

// The virtual-key number of a key; 0 for keys the platform does not number.
// `modifiers` tells keypad keys (Qt::KeypadModifier) from the main ones.
int32_t virtualKey(int qtKey, Qt::KeyboardModifiers modifiers);

// The platform's shift mask (shift 1, control 2, alt 4).
int32_t shiftMask(Qt::KeyboardModifiers modifiers);

}  // namespace orrery::qt
