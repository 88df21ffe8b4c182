// Builds small metafiles byte by byte for the metafile tests.
#pragma once
#include <cstdint>
#include <vector>

namespace orrery::test {

// A plain WMF (no placeable header) with a window of width x height logical
// units in which a solid red rectangle covers (left, top)-(right, bottom).
std::vector<uint8_t> redRectangleWmf(uint16_t width, uint16_t height, uint16_t left, uint16_t top, uint16_t right,
                                     uint16_t bottom);
// The same with the rectangle filling the whole window.
std::vector<uint8_t> redRectangleWmf(uint16_t width, uint16_t height);

// An EMF of width x height reference-device pixels (at 96 dots per inch)
// with a solid red rectangle filling the whole picture.
std::vector<uint8_t> redRectangleEmf(int32_t width, int32_t height);

}  // namespace orrery::test
