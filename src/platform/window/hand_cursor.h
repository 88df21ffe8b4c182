// The control's own cursors: an open hand over a picture that the pan mode
// can drag, a closed hand while it drags.
#pragma once
#include <memory>

#include "orrery/window/window.h"

namespace orrery::window {

// The cursor image of MousePointerOpenHand or MousePointerClosedHand; null
// for any other number. Made once per process and shared.
std::shared_ptr<const CursorImage> handCursor(int32_t pointer);

}  // namespace orrery::window
