#pragma once
#include <cstdint>
#include <string>

namespace orrery::tool {

// "status 13 (UnknownImageFormat)": a status of the control or the imaging
// layer with its name.
std::string statusText(int32_t status);

// Prints "orrery: cannot ACTION PATH: status N (Name)" and, when the file
// cannot even be opened, why ("no such file", "not a regular file", ...).
// Returns 1, the exit code for a failed command.
int reportUnreadable(const char* action, const std::string& path, int32_t status);

}  // namespace orrery::tool
