// The members of _Orrery that close the shown document, clear the window and
// end the control's work.
#include "control/members/families.h"

namespace orrery::control {

std::vector<OrreryTable::Row> lifeCycleRows() {
    using Table = OrreryTable;
    return {
        Table::method("Terminate", 0x60030032, &Orrery::Terminate),
        Table::method("CloseImage", 0x60030039, &Orrery::CloseImage),
        Table::method("CloseImageEx", 0x6003003A, &Orrery::CloseImageEx),
        Table::method("ImageClosed", 0x6003003B, &Orrery::ImageClosed),
        Table::method("Clear", 0x600300A8, &Orrery::Clear),
    };
}

void Orrery::Terminate() {
    // A transfer running under a host's handler ends as stopped and leaves
    // the terminated control alone.
    p_->internet.terminate();
    p_->viewer.terminate();
}

void Orrery::CloseImage() {
    CloseImageEx();
    Clear();
}

void Orrery::CloseImageEx() { p_->viewer.closeDocument(); }
void Orrery::ImageClosed() { p_->viewer.forgetDocument(); }
void Orrery::Clear() { p_->viewer.clearWindow(); }

}  // namespace orrery::control
