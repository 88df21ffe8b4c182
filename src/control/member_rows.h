// The dispatch rows of _Orrery, one function a family of members; the
// control assembles its table from them.
#pragma once
#include <vector>

#include "control/orrery.h"

namespace orrery::control {

using OrreryTable = automation::DispatchTable<Orrery>;

// Frames, pages and animation; rotation and flipping.
std::vector<OrreryTable::Row> frameAndRotationRows();
// Mouse modes, the selection rectangle and the wheel.
std::vector<OrreryTable::Row> mouseAndSelectionRows();
// The context menu, drops and focus.
std::vector<OrreryTable::Row> menuAndEventRows();
// Pictures from memory, handles and the clipboard, and back.
std::vector<OrreryTable::Row> memoryAndClipboardRows();
// PDF display: the document, its texts and its properties.
std::vector<OrreryTable::Row> pdfRows();

}  // namespace orrery::control
