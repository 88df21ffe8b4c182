#pragma once
#include <istream>
#include <ostream>
#include <string>

namespace orrery::tool {
// Runs a control script (see README, "Scripts") from `in`, writing the full
// record of calls, results, events and message boxes to `out`. Returns the
// exit code: 0, 1 when a line failed, 2 for a line that cannot be read.
int runScript(std::istream& in, std::ostream& out);
// `orrery members`: the dispatch interface and the event interface as text.
int printMembers(std::ostream& out);
}  // namespace orrery::tool
