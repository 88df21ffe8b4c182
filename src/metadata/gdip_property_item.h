// cGDIPPropertyItem: one property item of an image as the imaging layer
// hands it out (a 16-byte header, then the value bytes), with its raw value,
// its element size and count, and its tag name. Every read stays inside the
// value bytes and the caller's buffer, whatever the header's length claims.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orrery::metadata {

class cGDIPPropertyItem {
public:
    // The size of the item header that precedes the value bytes.
    static constexpr size_t kHeaderSize = 16;

    // The empty item: identifier, length and type 0, no value bytes.
    cGDIPPropertyItem() = default;

    uint32_t ID() const { return id_; }
    // The first value byte; null when Length is below 1 or there are none.
    const uint8_t* DataPtr() const { return length_ < 1 || value_.empty() ? nullptr : value_.data(); }
    uint16_t ItemType() const { return type_; }
    // The length in bytes as the item's header states it.
    uint32_t Length() const { return length_; }
    std::string name() const;
    // Number of values by type: Length for bytes and undefined values, 1 for
    // a text, Length divided by the element size (halves to even) for
    // numbers, 0 for types without an element size.
    uint32_t ValueCount() const;
    // The n-th 4-byte little-endian signed value, n from 1 to ValueCount; 0
    // outside that range or when the value lies beyond the value bytes.
    int32_t ParseLong(int32_t n) const;
    // Fills `buffer` from its start with the value bytes from the first on;
    // returns how many were copied (the smaller of the two sizes).
    size_t GetData(std::span<uint8_t> buffer) const;
    // Replaces `buffer` with a copy of all value bytes.
    void GetDataB(std::vector<uint8_t>& buffer) const;
    // The bytes the values take: ValueCount x ElementDataSize, and Length for
    // a text (whose one value is Length characters).
    uint32_t DataBufferSize() const;
    // Bytes of one value of the item's type; 0 for unknown types.
    uint32_t ElementDataSize() const;

    // Builds the item from the imaging layer's item buffer: `buffer` holds
    // `size` bytes, the header first, and the value bytes after it.
    void Initialise(uint32_t id, uint32_t length, uint16_t type, const uint8_t* buffer, size_t size);
    // The same from the value bytes alone (the bytes after the header).
    void InitialiseValue(uint32_t id, uint32_t length, uint16_t type, std::span<const uint8_t> value);

    // The value bytes (empty when Length is below 1).
    std::span<const uint8_t> value() const { return value_; }

private:
    uint32_t id_ = 0;
    uint32_t length_ = 0;
    uint16_t type_ = 0;
    std::vector<uint8_t> value_;
};

// The element size of a TagTypes value (1, 6, 7 and 2: 1; 3, 8: 2; 4, 9, 11:
// 4; 5, 10, 12: 8; others 0).
uint32_t ElementSizeOfType(uint16_t type);

// The value count an item of `type` and `length` bytes states (see
// cGDIPPropertyItem::ValueCount).
uint32_t ValueCountOf(uint16_t type, uint32_t length);

}  // namespace orrery::metadata
