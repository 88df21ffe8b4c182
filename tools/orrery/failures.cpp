#include "tools/orrery/failures.h"

#include <cstdio>

#include "orrery/quillon_status.h"
#include "platform/kernel/files.h"

namespace orrery::tool {

std::string statusText(int32_t status) {
    return "status " + std::to_string(status) + " (" + statusName(static_cast<QuillonStatus>(status)) + ")";
}

int reportUnreadable(const char* action, const std::string& path, int32_t status) {
    // The loaders fold "missing", "a folder" and "unreadable" into one
    // status; opening the file again tells them apart.
    kernel::UniqueFd fd;
    const kernel::OpenError opened = kernel::openRegularFile(path, fd);
    std::string why;
    if (opened != kernel::OpenError::None) why = std::string(": ") + kernel::describe(opened);
    std::fprintf(stderr, "orrery: cannot %s %s: %s%s\n", action, path.c_str(), statusText(status).c_str(),
                 why.c_str());
    return 1;
}

}  // namespace orrery::tool
