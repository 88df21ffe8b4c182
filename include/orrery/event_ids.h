// The dispatch identifiers of the control's events (__Orrery, and the same
// under __OrreryCnt), as a host's sink receives them.
#pragma once
#include <cstdint>

namespace orrery::control {

namespace EventId {
inline constexpr int32_t PdfPasswordRequest = 25;
inline constexpr int32_t PrintPage = 23;
inline constexpr int32_t DataReceived = 1;
inline constexpr int32_t ZoomChange = 2;
inline constexpr int32_t BeforeZoomChange = 22;
inline constexpr int32_t ScrollControl = 3;
inline constexpr int32_t Rotation = 4;
inline constexpr int32_t PageChange = 5;
inline constexpr int32_t FileDrop = 6;
inline constexpr int32_t FilesDrop = 7;
inline constexpr int32_t PictureChange = 8;
inline constexpr int32_t PictureChanged = 9;
inline constexpr int32_t Display = 10;
inline constexpr int32_t KeyPressControl = 11;
inline constexpr int32_t KeyUpControl = 12;
inline constexpr int32_t KeyDownControl = 13;
inline constexpr int32_t MouseMoveControl = 14;
inline constexpr int32_t ClickControl = 15;
inline constexpr int32_t ClickMenu = 21;
inline constexpr int32_t DblClickControl = 16;
inline constexpr int32_t MouseDownControl = 17;
inline constexpr int32_t MouseUpControl = 18;
inline constexpr int32_t MouseWheelControl = 24;
inline constexpr int32_t ResizeControl = 19;
inline constexpr int32_t PaintControl = 20;
}  // namespace EventId

}  // namespace orrery::control
