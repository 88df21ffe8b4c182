#include "support/metafile_builder.h"

#include "support/test_support.h"

namespace orrery::test {

std::vector<uint8_t> redRectangleWmf(uint16_t width, uint16_t height) {
    std::vector<uint8_t> records;
    auto record = [&](uint16_t function, std::vector<uint16_t> params) {
        put32(records, static_cast<uint32_t>(3 + params.size()));
        put16(records, function);
        for (uint16_t p : params) put16(records, p);
    };
    record(0x020B, {0, 0});                     // SetWindowOrg
    record(0x020C, {height, width});            // SetWindowExt (parameters last first)
    record(0x02FC, {0, 0x00FF, 0, 0});          // CreateBrushIndirect: solid, COLORREF red, no hatch
    record(0x012D, {0});                        // SelectObject
    record(0x041B, {height, width, 0, 0});      // Rectangle: bottom, right, top, left
    record(0x0000, {});                         // end of file
    std::vector<uint8_t> wmf;
    put16(wmf, 1);  // in memory
    put16(wmf, 9);  // header words
    put16(wmf, 0x0300);
    put32(wmf, static_cast<uint32_t>((18 + records.size()) / 2));
    put16(wmf, 1);  // objects
    put32(wmf, 7);  // largest record, in words
    put16(wmf, 0);
    wmf.insert(wmf.end(), records.begin(), records.end());
    return wmf;
}

}  // namespace orrery::test
