#include "viewer/scrolling.h"

#include <algorithm>

#include "viewer/wheel_hook.h"

namespace orrery::viewer {

WheelScroll wheelScrollStep(const ViewState& s, int32_t keyCode) {
    const ScrollBarState& bar = s.vScroll;
    if (keyCode == kVkAdd) {
        if (s.continuousViewMode && bar.value == 0)
            return s.currentPage > 1 ? WheelScroll{WheelScroll::Kind::PreviousPage} : WheelScroll{};
        return {WheelScroll::Kind::Scroll, std::max(bar.value - bar.largeChange, 0)};
    }
    if (s.continuousViewMode && bar.value == bar.max)
        return s.currentPage < s.pageCount ? WheelScroll{WheelScroll::Kind::NextPage} : WheelScroll{};
    return {WheelScroll::Kind::Scroll, std::min(bar.value + bar.largeChange, bar.max)};
}

}  // namespace orrery::viewer
