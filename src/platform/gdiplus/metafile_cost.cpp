#include "platform/gdiplus/metafile_cost.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/gdiplus/metafile_format.h"

namespace orrery::gdiplus {

namespace {

using namespace metafile;

struct Pt {
    double x, y;
};

// Sums what the edges of each path cover, in the metafile's own units: the
// vertical extent of every edge against the rows every point spans, and for
// each path (one record: a polygon, a polyline, or the polygons of one
// poly-polygon, filled together) how many of its edges a line across it
// meets, which estimates how often its edges cross one another.
class EdgeTally {
public:
    // One polygon or polyline of `count` points, each read by `point(i)`;
    // a polygon's closing edge is counted too.
    template <typename PointAt>
    void add(size_t count, bool closed, PointAt point) {
        if (count == 0) return;
        points_ += count;
        Pt first{}, last{};
        for (size_t i = 0; i < count; ++i) {
            const Pt p = point(i);
            path_.include(p);
            if (i == 0)
                first = p;
            else
                edge(last, p);
            last = p;
        }
        if (closed) edge(last, first);
    }

    // Ends the path the points added since the last end belong to.
    void endPath() {
        if (path_.empty()) return;
        // A line across a path of random edges meets run / width of them
        // going across and rise / height going down; their product is, up to
        // a constant, how many pairs of edges cross. A curve traced once
        // meets a line twice and crosses itself nowhere.
        crossings_ += (pathRun_ / std::max(1.0, path_.width())) * (pathRise_ / std::max(1.0, path_.height()));
        all_.include(path_);
        rise_ += pathRise_;
        path_ = Box{};
        pathRun_ = pathRise_ = 0;
    }

    // The cost once the rows of every point are stretched over `height`.
    MetafileCost cost(int height) {
        endPath();
        MetafileCost c;
        c.points = points_;
        c.crossings = crossings_;
        if (!all_.empty()) c.edgeRows = rise_ * height / std::max(1.0, all_.height());
        return c;
    }

private:
    struct Box {
        double minX = std::numeric_limits<double>::max(), maxX = std::numeric_limits<double>::lowest();
        double minY = std::numeric_limits<double>::max(), maxY = std::numeric_limits<double>::lowest();
        bool empty() const { return minX > maxX; }
        double width() const { return maxX - minX; }
        double height() const { return maxY - minY; }
        void include(Pt p) {
            minX = std::min(minX, p.x);
            maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y);
            maxY = std::max(maxY, p.y);
        }
        void include(const Box& b) {
            include(Pt{b.minX, b.minY});
            include(Pt{b.maxX, b.maxY});
        }
    };

    void edge(Pt a, Pt b) {
        pathRun_ += std::fabs(b.x - a.x);
        pathRise_ += std::fabs(b.y - a.y);
    }

    uint64_t points_ = 0;
    double rise_ = 0, crossings_ = 0;
    double pathRun_ = 0, pathRise_ = 0;
    Box path_, all_;
};

Pt point16(const uint8_t* p) { return {double(int16_t(le16(p))), double(int16_t(le16(p + 2)))}; }
Pt point32(const uint8_t* p) { return {double(int32_t(le32(p))), double(int32_t(le32(p + 4)))}; }

// A record's points, as many as lie inside the record: a count beyond its
// record is the converter's to refuse, and counting fewer is what keeps the
// tally inside the data.
size_t pointsInside(uint64_t count, size_t at, size_t end, size_t pointSize) {
    if (at >= end) return 0;
    return static_cast<size_t>(std::min<uint64_t>(count, (end - at) / pointSize));
}

void tallyWmf(std::span<const uint8_t> b, EdgeTally& tally) {
    constexpr uint16_t kPolygon = 0x0324, kPolyline = 0x0325, kPolyPolygon = 0x0538;
    size_t pos = (isPlaceableWmf(b) ? kPlaceableSize : 0) + kWmfHeaderSize;
    while (b.size() >= pos + 6) {
        const uint32_t words = le32(&b[pos]);
        const uint16_t function = le16(&b[pos + 4]);
        if (words < 3 || words > (b.size() - pos) / 2 || function == 0) return;
        const size_t end = pos + size_t{words} * 2;
        const size_t params = pos + 6;
        if ((function == kPolygon || function == kPolyline) && end >= params + 2) {
            const auto count = static_cast<uint16_t>(std::max<int16_t>(0, static_cast<int16_t>(le16(&b[params]))));
            const size_t first = params + 2;
            tally.add(pointsInside(count, first, end, 4), function == kPolygon,
                      [&](size_t i) { return point16(&b[first + 4 * i]); });
        } else if (function == kPolyPolygon && end >= params + 2) {
            const size_t polygons = std::min<size_t>(le16(&b[params]), (end - params - 2) / 2);
            size_t at = params + 2 + 2 * polygons;
            for (size_t k = 0; k < polygons && at < end; ++k) {
                const size_t n = pointsInside(le16(&b[params + 2 + 2 * k]), at, end, 4);
                const size_t first = at;
                tally.add(n, true, [&](size_t i) { return point16(&b[first + 4 * i]); });
                at += 4 * n;
            }
        }
        tally.endPath();
        pos = end;
    }
}

void tallyEmf(std::span<const uint8_t> b, EdgeTally& tally) {
    enum : uint32_t {
        kPolyBezier = 2, kPolygon = 3, kPolyline = 4, kPolyBezierTo = 5, kPolylineTo = 6,
        kPolyPolyline = 7, kPolyPolygon = 8, kPolyDraw = 56,
        kPolyBezier16 = 85, kPolygon16 = 86, kPolyline16 = 87, kPolyBezierTo16 = 88, kPolylineTo16 = 89,
        kPolyPolyline16 = 90, kPolyPolygon16 = 91, kPolyDraw16 = 92,
    };
    size_t pos = 0;
    while (b.size() - pos >= 8) {
        const uint32_t type = le32(&b[pos]);
        const uint32_t size = le32(&b[pos + 4]);
        if (size < 8 || size % 4 != 0 || size > b.size() - pos || type == kEmrEof) return;
        const size_t end = pos + size;
        // Every drawing record below starts with its bounds (16 bytes) after the type and size.
        const size_t counts = pos + 24;
        switch (type) {
            case kPolyBezier: case kPolygon: case kPolyline: case kPolyBezierTo: case kPolylineTo: case kPolyDraw:
            case kPolyBezier16: case kPolygon16: case kPolyline16: case kPolyBezierTo16: case kPolylineTo16:
            case kPolyDraw16: {
                if (end < counts + 4) break;
                const bool small = type >= kPolyBezier16;
                const size_t pointSize = small ? 4 : 8;
                const size_t first = counts + 4;
                const size_t n = pointsInside(le32(&b[counts]), first, end, pointSize);
                tally.add(n, type == kPolygon || type == kPolygon16, [&](size_t i) {
                    return small ? point16(&b[first + 4 * i]) : point32(&b[first + 8 * i]);
                });
                break;
            }
            case kPolyPolyline: case kPolyPolygon: case kPolyPolyline16: case kPolyPolygon16: {
                if (end < counts + 8) break;
                const bool small = type >= kPolyPolyline16;
                const size_t pointSize = small ? 4 : 8;
                const size_t polygons = std::min<size_t>(le32(&b[counts]), (end - counts - 8) / 4);
                size_t at = counts + 8 + 4 * polygons;
                for (size_t k = 0; k < polygons && at < end; ++k) {
                    const size_t n = pointsInside(le32(&b[counts + 8 + 4 * k]), at, end, pointSize);
                    const size_t first = at;
                    tally.add(n, type == kPolyPolygon || type == kPolyPolygon16, [&](size_t i) {
                        return small ? point16(&b[first + 4 * i]) : point32(&b[first + 8 * i]);
                    });
                    at += pointSize * n;
                }
                break;
            }
            default: break;
        }
        tally.endPath();
        pos = end;
    }
}

}  // namespace

MetafileCost metafileDrawingCost(std::span<const uint8_t> bytes, MetafileKind kind, int height) {
    EdgeTally tally;
    if (kind == MetafileKind::Wmf)
        tallyWmf(bytes, tally);
    else if (kind == MetafileKind::Emf)
        tallyEmf(bytes, tally);
    return tally.cost(height);
}

Status checkMetafileDrawingCost(std::span<const uint8_t> bytes, MetafileKind kind, int height) {
    const MetafileCost cost = metafileDrawingCost(bytes, kind, height);
    if (cost.points > kMetafileMaxPoints || !(cost.edgeRows + cost.crossings <= kMetafileMaxDrawingWork))
        return Status::OutOfMemory;
    return Status::Ok;
}

}  // namespace orrery::gdiplus
