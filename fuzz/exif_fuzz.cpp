// Reads arbitrary bytes as an EXIF block and as a TIFF directory, then
// writes the items back and reads the result again.
#include <cstddef>
#include <cstdint>
#include <vector>

#include <cstdlib>

#include "platform/gdiplus/exif_ifd.h"
#include "platform/gdiplus/pixel_data.h"

using namespace orrery::gdiplus;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool limited = (setPixelAllocationLimit(64 << 20), true);
    (void)limited;
    std::span<const uint8_t> input(data, size);
    std::vector<PropertyItem> items;
    readExifBlock(input, items);
    // The first byte picks the directory offset for the TIFF reading.
    if (size > 0) {
        uint64_t offset = data[0] < 0x80 ? 8 : data[0];
        readTiffDirectory(input.subspan(1), offset, items);
    }
    std::vector<uint8_t> block = writeExifBlock(items);
    std::vector<PropertyItem> back;
    // What the writer makes, the reader must take.
    if (readExifBlock(block, back) != Status::Ok) std::abort();
    return 0;
}
