// The headers of one HTTP response as the server sent them, and the
// platform's queries on them (HttpQueryInfoA).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orrery::inet {

class ResponseHeaders {
public:
    // Forgets everything: a new response begins.
    void clear();
    // One line as received, with or without its line end. The first line is
    // the status line.
    void addLine(std::string_view line);
    bool empty() const { return statusLine_.empty() && fields_.empty(); }

    // The value of field `name` (any case), blanks trimmed; the `index`-th
    // one when the field repeats.
    std::optional<std::string> field(std::string_view name, uint32_t index = 0) const;
    // The answer to query `level` (without the number flag) as text; the
    // error number when there is none.
    std::optional<std::string> queryText(uint32_t level, uint32_t index, uint32_t& error) const;
    // The same answer as a number: decimal digits only, saturated at
    // 0xFFFFFFFF.
    std::optional<uint32_t> queryNumber(uint32_t level, uint32_t index, uint32_t& error) const;

private:
    struct Field {
        std::string name;
        std::string value;
    };
    std::string statusLine_;
    std::vector<Field> fields_;
};

}  // namespace orrery::inet
