// The subcommands that drive objects of the library: `run` and `members`
// (with --progid to create by program identifier), and `register` and
// `unregister`, which load the shared library and call its entry point.
#pragma once
#include <string>
#include <vector>

namespace orrery::tool {

int runCommand(const std::vector<std::string>& words);
int membersCommand(const std::vector<std::string>& words);
// `orrery register [LIBRARY]` and `orrery unregister [LIBRARY]`; LIBRARY
// defaults to the liborreryctl.so beside the tool.
int registrationCommand(const std::vector<std::string>& words, bool unregister);

}  // namespace orrery::tool
