// The dispatch rows of _Orrery, one function a family of members; the
// control assembles its table from them. Each family's file holds its rows
// and the bodies of its members, each a translation of the arguments into
// one call of the viewing engine and of its result into a status.
//
// The family still to come takes its place beside these: printing
// (print_members.cpp).
#pragma once
#include <vector>

#include "control/orrery.h"

namespace orrery::control {

using OrreryTable = automation::DispatchTable<Orrery>;

// The shell: appearance, switches, the status, the pointer (shell_members.cpp).
std::vector<OrreryTable::Row> shellRows();
// Closing, clearing and terminating (life_cycle_members.cpp).
std::vector<OrreryTable::Row> lifeCycleRows();
// Zoom, placement and coordinates (zoom_members.cpp).
std::vector<OrreryTable::Row> zoomRows();
// Painting quality and effects (rendering_members.cpp).
std::vector<OrreryTable::Row> renderingRows();
// The scroll bars (scrolling_members.cpp).
std::vector<OrreryTable::Row> scrollingRows();
// The image store, files and image information (store_members.cpp).
std::vector<OrreryTable::Row> storeRows();
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
// EXIF and IPTC tags of the shown image (metadata_members.cpp).
std::vector<OrreryTable::Row> metadataRows();
// Pictures from HTTP and FTP servers (inet_members.cpp).
std::vector<OrreryTable::Row> internetRows();

}  // namespace orrery::control
