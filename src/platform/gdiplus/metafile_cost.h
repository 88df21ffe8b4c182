// What drawing a metafile's polygons and polylines would cost, read from
// the records before any library sees them.
//
// The renderer's scan conversion visits, on every pixel row an edge spans,
// every edge of the path that spans that row, and a self-intersecting path
// (thousands of points thrown into a small box) or a zig-zag of long edges
// makes it visit tens of millions of edge rows: a 480 KB file then holds the
// process for over a minute. The estimate is that work: the rows every edge
// of every polygon, polyline and Bezier record spans once the drawing is
// stretched over the size asked for. A curve of many short edges spans few
// rows per edge and stays cheap however many points it has. Crossings cost
// the renderer more than rows do (each reorders the edges it keeps sorted
// along a row), so a path whose edges cross each other thousands of times
// over is refused whatever size it is drawn at.
#pragma once
#include <cstdint>
#include <span>

#include "platform/gdiplus/metafile_raster.h"
#include "platform/gdiplus/status.h"

namespace orrery::gdiplus {

struct MetafileCost {
    uint64_t points = 0;   // vertices of every polygon, polyline and Bezier record
    double edgeRows = 0;   // pixel rows those edges span at the size asked for
    double crossings = 0;  // estimated crossings of edges of one path with one another
};

// Limits above which a metafile is refused before drawing. An edge row and
// a crossing each cost the renderer about half a microsecond to a
// microsecond (measured on zig-zags of long edges, spirals and polygons of
// random points), so the work limit is two to three seconds of drawing.
inline constexpr uint64_t kMetafileMaxPoints = 1'000'000;
inline constexpr double kMetafileMaxDrawingWork = 3'000'000;  // edge rows plus crossings

// The cost of drawing the records (already walked: every record inside the
// data) over a picture `height` rows tall. The drawing's extent is the rows
// from the lowest to the highest point read, which the converters stretch
// over the picture (or less, when the picture is larger than the drawing).
MetafileCost metafileDrawingCost(std::span<const uint8_t> bytes, MetafileKind kind, int height);

// Ok within both limits; OutOfMemory beyond either, as for a picture beyond
// the allocation limit.
Status checkMetafileDrawingCost(std::span<const uint8_t> bytes, MetafileKind kind, int height);

}  // namespace orrery::gdiplus
