// Builds small metafiles byte by byte for the metafile tests.
#pragma once
#include <cstdint>
#include <vector>

namespace orrery::test {

// A plain WMF (no placeable header) whose window of width x height logical
// units is filled by one rectangle in a solid red brush.
std::vector<uint8_t> redRectangleWmf(uint16_t width, uint16_t height);

}  // namespace orrery::test
