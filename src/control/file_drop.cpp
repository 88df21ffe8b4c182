#include "control/file_drop.h"

#include <sys/stat.h>

#include "platform/kernel/files.h"

namespace orrery::control {

std::vector<std::string> readableDroppedFiles(const std::vector<std::string>& paths) {
    std::vector<std::string> kept;
    for (const std::string& path : paths) {
        kernel::UniqueFd fd;
        struct stat info {};
        if (kernel::openRegularFile(path, fd) == kernel::OpenError::None && ::fstat(fd.get(), &info) == 0)
            kept.push_back(path);
    }
    return kept;
}

}  // namespace orrery::control
