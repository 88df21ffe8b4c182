#pragma once
#include <string>
#include <vector>

namespace orrery::tool {
// `orrery render FILE -o OUT.png [--size WxH] [--zoom-mode N] [--zoom Z]
// [--quality N] [--gamma G] [--back-color 0xBBGGRR]`; returns the exit code
// (2 for wrong arguments).
int render(const std::vector<std::string>& args);
}  // namespace orrery::tool
