// Reads arbitrary bytes as the text form of a property bag. Whatever the
// parser accepts must write back to a text that parses to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/automation/property_bag.h"
#include "platform/gdiplus/pixel_data.h"

using namespace orrery::automation;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool limited = (orrery::gdiplus::setPixelAllocationLimit(64 << 20), true);
    (void)limited;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    PropertyBag bag;
    BagTextError error;
    if (PropertyBag::fromText(text, bag, &error) != S_OK) {
        if (error.line == 0 || error.message.empty() || bag.size() != 0) std::abort();
        return 0;
    }
    for (const PropertyBag::Entry& e : bag.entries()) {
        // Every stored name is found again, whatever its case.
        if (!bag.contains(e.name)) std::abort();
    }
    std::string written = bag.toText();
    PropertyBag back;
    if (PropertyBag::fromText(written, back, nullptr) != S_OK) std::abort();
    if (back.size() != bag.size() || back.toText() != written) std::abort();
    return 0;
}
