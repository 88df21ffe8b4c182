// Builds small metafiles byte by byte for the metafile tests.
#pragma once
#include <cstdint>
#include <utility>
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

// Points of a polygon or polyline, in the metafile's logical units.
using MetafilePoints = std::vector<std::pair<int32_t, int32_t>>;

// An EMF of width x height reference-device pixels (as redRectangleEmf)
// whose one drawing record, of EMR type `recordType` with 32-bit points
// (EMR_POLYGON 3, EMR_POLYLINE 4, ...), draws `points` with a solid red brush.
std::vector<uint8_t> polyEmf(uint32_t recordType, const MetafilePoints& points, int32_t width, int32_t height);

// A plain WMF with a window of width x height logical units drawing the
// polygons with a solid red brush: one META_POLYGON record for one polygon,
// one META_POLYPOLYGON record for more.
std::vector<uint8_t> polygonsWmf(const std::vector<MetafilePoints>& polygons, uint16_t width, uint16_t height);

}  // namespace orrery::test
