#include "control/file_drop.h"

#include "platform/kernel/files.h"

namespace orrery::control {

std::vector<std::string> readableDroppedFiles(const std::vector<std::string>& paths) {
    std::vector<std::string> kept;
    for (const std::string& path : paths) {
        kernel::UniqueFd fd;
        if (kernel::openRegularFileNonBlocking(path, fd) == kernel::OpenError::None) kept.push_back(path);
    }
    return kept;
}

}  // namespace orrery::control
