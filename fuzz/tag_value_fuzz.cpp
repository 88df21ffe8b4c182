// Feeds arbitrary (identifier, type, length, count, bytes) to the tag names,
// the property-item class and the value-text formatter: whatever the header
// claims, nothing may be read outside the bytes given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "metadata/gdip_property_item.h"
#include "metadata/tag_names.h"
#include "metadata/value_text.h"

using namespace orrery::metadata;

namespace {

constexpr size_t kHeader = 14;  // identifier 4, type 2, length 4, count 4

uint32_t read32(const uint8_t* at) {
    uint32_t v;
    std::memcpy(&v, at, 4);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeader) return 0;
    const uint32_t id = read32(data);
    uint16_t type;
    std::memcpy(&type, data + 4, 2);
    const uint32_t length = read32(data + 6);
    const uint32_t count = read32(data + 10);
    // Copies of their own size, so that a sanitizer sees any read past them:
    // the value bytes after the fields, and the whole input as an item
    // buffer (its first 16 bytes the header).
    const std::vector<uint8_t> value(data + kHeader, data + size);
    const std::vector<uint8_t> buffer(data, data + size);

    if (TagName(id).empty()) std::abort();
    (void)FormatTagValue(id, type, length, count, value);

    cGDIPPropertyItem item;
    item.Initialise(id, length, type, buffer.data(), buffer.size());
    (void)FormatTagValue(item.ID(), item.ItemType(), item.Length(), item.ValueCount(), item.value());
    for (int32_t n : {-1, 0, 1, 2, static_cast<int32_t>(item.ValueCount()), static_cast<int32_t>(count)})
        (void)item.ParseLong(n);
    std::vector<uint8_t> copy(count % 64);
    if (item.GetData(copy) > copy.size()) std::abort();
    item.GetDataB(copy);
    if (copy.size() != item.value().size()) std::abort();
    (void)item.DataBufferSize();
    if (item.DataPtr() && item.Length() < 1) std::abort();
    return 0;
}
