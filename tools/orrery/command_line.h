#pragma once
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orrery::tool {

// An option a subcommand takes: "--json" alone, or "--size" followed by its
// value.
struct Option {
    std::string_view name;
    bool takesValue = false;
};

// The words after a subcommand, split into options and operands. Options may
// stand anywhere among the operands; "--" ends them, so every later word is
// an operand even when it starts with "-" (a file named "--json"). A lone
// "-" is an operand. When an option is given twice, the last one counts.
class Arguments {
public:
    // False, with error() saying why, for an unknown option or an option
    // whose value is missing.
    bool parse(const std::vector<std::string>& words, std::span<const Option> known);
    const std::string& error() const { return error_; }

    const std::vector<std::string>& operands() const { return operands_; }
    bool has(std::string_view option) const { return value(option) != nullptr; }
    // The value of the last occurrence; empty for an option without a value;
    // null when the option was not given.
    const std::string* value(std::string_view option) const;

private:
    std::vector<std::string> operands_;
    std::vector<std::pair<std::string, std::string>> options_;
    std::string error_;
};

// Prints "orrery: PROBLEM" (when there is one) and the usage of every
// subcommand to standard error; returns 2, the exit code for a wrong command
// line.
int usageError(const std::string& problem = {});

}  // namespace orrery::tool
