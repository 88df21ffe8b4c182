#include "metadata/tag_names.h"

#include <algorithm>

namespace orrery::metadata {

namespace {

constexpr TagNameRow kRows[] = {
#define ORRERY_TAG_ROW(id, member, name) {id, name},
    ORRERY_TAG_TABLE(ORRERY_TAG_ROW)
#undef ORRERY_TAG_ROW
};

std::string hexDigits(uint32_t id) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[id & 0xF]);
        id >>= 4;
    } while (id != 0);
    return text;
}

}  // namespace

std::span<const TagNameRow> TagNameTable() { return kRows; }

std::string TagName(uint32_t id) {
    const auto* row = std::lower_bound(std::begin(kRows), std::end(kRows), id,
                                       [](const TagNameRow& r, uint32_t wanted) { return r.id < wanted; });
    if (row != std::end(kRows) && row->id == id) return row->name;
    return hexDigits(id);
}

}  // namespace orrery::metadata
