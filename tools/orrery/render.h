#pragma once
#include <string>
#include <vector>

namespace orrery::tool {
// `orrery render -o OUT [--size WxH] [--zoom-mode N] [--zoom Z] [--quality N]
// [--gamma G] [--back-color 0xBBGGRR] FILE`: saves what a control of that
// size shows, with the encoder OUT's extension names. Returns the exit code
// (2 for a wrong command line or an extension no encoder writes).
int render(const std::vector<std::string>& words);
}  // namespace orrery::tool
