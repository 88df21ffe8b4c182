#include "metadata/gdip_property_item.h"

#include <algorithm>
#include <cstring>

#include "metadata/tag_names.h"

namespace orrery::metadata {

namespace {

constexpr uint16_t kTypeASCII = 2;

// length / divisor rounded to the nearest whole number, halves to even.
uint32_t divideToEven(uint32_t length, uint32_t divisor) {
    const uint32_t quotient = length / divisor;
    const uint32_t twiceRest = 2 * (length % divisor);
    if (twiceRest > divisor || (twiceRest == divisor && quotient % 2 == 1)) return quotient + 1;
    return quotient;
}

}  // namespace

uint32_t ElementSizeOfType(uint16_t type) {
    switch (type) {
        case 1: case 2: case 6: case 7: return 1;
        case 3: case 8: return 2;
        case 4: case 9: case 11: return 4;
        case 5: case 10: case 12: return 8;
        default: return 0;
    }
}

uint32_t ValueCountOf(uint16_t type, uint32_t length) {
    if (type == kTypeASCII) return 1;
    const uint32_t size = ElementSizeOfType(type);
    return size == 0 ? 0 : divideToEven(length, size);
}

std::string cGDIPPropertyItem::name() const { return TagName(id_); }

uint32_t cGDIPPropertyItem::ValueCount() const { return ValueCountOf(type_, length_); }

int32_t cGDIPPropertyItem::ParseLong(int32_t n) const {
    if (n < 1 || static_cast<uint32_t>(n) > ValueCount()) return 0;
    const size_t at = 4 * (static_cast<size_t>(n) - 1);
    if (at + 4 > value_.size()) return 0;
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(value_[at + i]) << (8 * i);
    return static_cast<int32_t>(v);
}

size_t cGDIPPropertyItem::GetData(std::span<uint8_t> buffer) const {
    const size_t n = std::min(buffer.size(), value_.size());
    if (n > 0) std::memcpy(buffer.data(), value_.data(), n);
    return n;
}

void cGDIPPropertyItem::GetDataB(std::vector<uint8_t>& buffer) const { buffer = value_; }

uint32_t cGDIPPropertyItem::DataBufferSize() const {
    if (type_ == kTypeASCII) return length_;
    const uint64_t bytes = static_cast<uint64_t>(ValueCount()) * ElementDataSize();
    return static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX));
}

uint32_t cGDIPPropertyItem::ElementDataSize() const { return ElementSizeOfType(type_); }

void cGDIPPropertyItem::Initialise(uint32_t id, uint32_t length, uint16_t type, const uint8_t* buffer, size_t size) {
    const bool hasValue = buffer && size > kHeaderSize;
    InitialiseValue(id, length, type,
                    hasValue ? std::span<const uint8_t>(buffer + kHeaderSize, size - kHeaderSize)
                             : std::span<const uint8_t>());
}

void cGDIPPropertyItem::InitialiseValue(uint32_t id, uint32_t length, uint16_t type, std::span<const uint8_t> value) {
    id_ = id;
    length_ = length;
    type_ = type;
    if (length < 1) value = {};
    value_.assign(value.begin(), value.end());
}

}  // namespace orrery::metadata
