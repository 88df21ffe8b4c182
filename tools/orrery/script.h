#pragma once
#include <istream>
#include <ostream>
#include <string>

namespace orrery::tool {
// Runs a control script (see README, "Scripts") from `in`, writing the full
// record of calls, results, events and message boxes to `out`. Returns the
// exit code: 0, 1 when a line failed (or the object cannot be made), 2 for a
// line that cannot be read. A `progId` makes the object through the class
// registry; without one the script drives an Orrery control.
int runScript(std::istream& in, std::ostream& out, const std::string& progId = {});
// `orrery members`: the dispatch interface and the event interface as text.
int printMembers(std::ostream& out, const std::string& progId = {});
}  // namespace orrery::tool
