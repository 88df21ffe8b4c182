#include "platform/gdiplus/property_item.h"

namespace orrery::gdiplus {

namespace {
void append(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
}  // namespace

PropertyItem PropertyItem::fromLongs(uint32_t id, const std::vector<uint32_t>& values) {
    PropertyItem item{id, PropertyTagTypeLong, {}};
    for (uint32_t v : values) append(item.value, v, 4);
    return item;
}

PropertyItem PropertyItem::fromShorts(uint32_t id, const std::vector<uint16_t>& values) {
    PropertyItem item{id, PropertyTagTypeShort, {}};
    for (uint16_t v : values) append(item.value, v, 2);
    return item;
}

PropertyItem PropertyItem::fromAscii(uint32_t id, const std::string& text) {
    PropertyItem item{id, PropertyTagTypeASCII, std::vector<uint8_t>(text.begin(), text.end())};
    item.value.push_back(0);
    return item;
}

PropertyItem PropertyItem::fromRational(uint32_t id, uint32_t num, uint32_t den) {
    PropertyItem item{id, PropertyTagTypeRational, {}};
    append(item.value, num, 4);
    append(item.value, den, 4);
    return item;
}

}  // namespace orrery::gdiplus
