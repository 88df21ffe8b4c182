// The vertical wheel step: how far one notch scrolls, and where continuous
// view turns the page instead.
#pragma once
#include <cstdint>

#include "viewer/view_state.h"

namespace orrery::viewer {

struct WheelScroll {
    enum class Kind { Nothing, PreviousPage, NextPage, Scroll } kind = Kind::Nothing;
    int32_t value = 0;  // the vertical bar's new value, for Scroll
};

// One notch of `keyCode` (numeric-pad plus scrolls up, minus down) by the
// large change, kept within 0..maximum; in continuous view a notch up at the
// top turns to the previous page and a notch down at the bottom to the next
// one, when there is one.
WheelScroll wheelScrollStep(const ViewState& state, int32_t keyCode);

}  // namespace orrery::viewer
