// Which dropped files the control reports: in their order, those that open
// for reading and whose size can be read. Folders, devices, FIFOs (opened
// without blocking), vanished and unreadable paths are passed over.
#pragma once
#include <string>
#include <vector>

namespace orrery::control {

std::vector<std::string> readableDroppedFiles(const std::vector<std::string>& paths);

}  // namespace orrery::control
