#include "support/metafile_builder.h"

#include <algorithm>
#include <cmath>

#include "support/test_support.h"

namespace orrery::test {

namespace {

// A plain WMF with a window of width x height logical units and a solid red
// brush selected, then the records `draw` adds with `record`.
template <typename Draw>
std::vector<uint8_t> redBrushWmf(uint16_t width, uint16_t height, Draw draw) {
    std::vector<uint8_t> records;
    uint32_t largest = 3;
    auto record = [&](uint16_t function, const std::vector<uint16_t>& params) {
        const auto words = static_cast<uint32_t>(3 + params.size());
        largest = std::max(largest, words);
        put32(records, words);
        put16(records, function);
        for (uint16_t p : params) put16(records, p);
    };
    record(0x020B, {0, 0});             // SetWindowOrg
    record(0x020C, {height, width});    // SetWindowExt (parameters last first)
    record(0x02FC, {0, 0x00FF, 0, 0});  // CreateBrushIndirect: solid, COLORREF red, no hatch
    record(0x012D, {0});                // SelectObject
    draw(record);
    record(0x0000, {});  // end of file
    std::vector<uint8_t> wmf;
    put16(wmf, 1);  // in memory
    put16(wmf, 9);  // header words
    put16(wmf, 0x0300);
    put32(wmf, static_cast<uint32_t>((18 + records.size()) / 2));
    put16(wmf, 1);  // objects
    put32(wmf, largest);  // largest record, in words
    put16(wmf, 0);
    wmf.insert(wmf.end(), records.begin(), records.end());
    return wmf;
}

}  // namespace

std::vector<uint8_t> redRectangleWmf(uint16_t width, uint16_t height, uint16_t left, uint16_t top, uint16_t right,
                                     uint16_t bottom) {
    return redBrushWmf(width, height, [&](auto& record) {
        record(0x041B, {bottom, right, top, left});  // Rectangle (parameters last first)
    });
}

std::vector<uint8_t> polygonsWmf(const std::vector<MetafilePoints>& polygons, uint16_t width, uint16_t height) {
    return redBrushWmf(width, height, [&](auto& record) {
        std::vector<uint16_t> params;
        if (polygons.size() != 1) {
            params.push_back(static_cast<uint16_t>(polygons.size()));
            for (const MetafilePoints& polygon : polygons) params.push_back(static_cast<uint16_t>(polygon.size()));
        } else {
            params.push_back(static_cast<uint16_t>(polygons[0].size()));
        }
        for (const MetafilePoints& polygon : polygons)
            for (auto [x, y] : polygon) {
                params.push_back(static_cast<uint16_t>(x));
                params.push_back(static_cast<uint16_t>(y));
            }
        record(polygons.size() != 1 ? 0x0538 : 0x0324, params);  // META_POLYPOLYGON or META_POLYGON
    });
}

std::vector<uint8_t> redRectangleWmf(uint16_t width, uint16_t height) {
    return redRectangleWmf(width, height, 0, 0, width, height);
}

namespace {

void putRect(std::vector<uint8_t>& out, int32_t l, int32_t t, int32_t r, int32_t b) {
    for (int32_t v : {l, t, r, b}) put32(out, static_cast<uint32_t>(v));
}

// An EMF of width x height reference-device pixels with a solid red brush
// selected, then `drawing`, whole records.
std::vector<uint8_t> redBrushEmf(int32_t width, int32_t height, const std::vector<uint8_t>& drawing) {
    std::vector<uint8_t> records;
    put32(records, 39);  // EMR_CREATEBRUSHINDIRECT
    put32(records, 24);
    put32(records, 1);           // object index
    put32(records, 0);           // solid
    put32(records, 0x000000FF);  // COLORREF red
    put32(records, 0);
    put32(records, 37);  // EMR_SELECTOBJECT
    put32(records, 12);
    put32(records, 1);
    records.insert(records.end(), drawing.begin(), drawing.end());
    put32(records, 14);  // EMR_EOF
    put32(records, 20);
    put32(records, 0);
    put32(records, 0);
    put32(records, 20);

    // A reference device of 1920 x 1080 pixels at 96 dots per inch.
    const int32_t deviceW = 1920, deviceH = 1080;
    const int32_t mmW = static_cast<int32_t>(std::lround(deviceW * 25.4 / 96));
    const int32_t mmH = static_cast<int32_t>(std::lround(deviceH * 25.4 / 96));
    const auto himetric = [](int32_t pixels) { return static_cast<int32_t>(std::lround(pixels * 2540.0 / 96)); };
    std::vector<uint8_t> emf;
    const uint32_t headerSize = 108;
    put32(emf, 1);  // EMR_HEADER
    put32(emf, headerSize);
    putRect(emf, 0, 0, width - 1, height - 1);                    // bounds, inclusive device pixels
    putRect(emf, 0, 0, himetric(width) - 1, himetric(height) - 1); // frame, inclusive 0.01 mm
    put32(emf, 0x464D4520);                                      // " EMF"
    put32(emf, 0x10000);
    put32(emf, static_cast<uint32_t>(headerSize + records.size()));
    put32(emf, 5);  // records, the header included
    put16(emf, 2);  // handles
    put16(emf, 0);
    put32(emf, 0);  // no description
    put32(emf, 0);
    put32(emf, 0);  // no palette
    put32(emf, static_cast<uint32_t>(deviceW));
    put32(emf, static_cast<uint32_t>(deviceH));
    put32(emf, static_cast<uint32_t>(mmW));
    put32(emf, static_cast<uint32_t>(mmH));
    put32(emf, 0);  // no pixel format
    put32(emf, 0);
    put32(emf, 0);  // not OpenGL
    put32(emf, static_cast<uint32_t>(mmW * 1000));  // micrometres
    put32(emf, static_cast<uint32_t>(mmH * 1000));
    emf.insert(emf.end(), records.begin(), records.end());
    return emf;
}

}  // namespace

std::vector<uint8_t> redRectangleEmf(int32_t width, int32_t height) {
    std::vector<uint8_t> rectangle;
    put32(rectangle, 43);  // EMR_RECTANGLE
    put32(rectangle, 24);
    putRect(rectangle, 0, 0, width, height);
    return redBrushEmf(width, height, rectangle);
}

std::vector<uint8_t> polyEmf(uint32_t recordType, const MetafilePoints& points, int32_t width, int32_t height) {
    std::vector<uint8_t> record;
    put32(record, recordType);
    put32(record, static_cast<uint32_t>(28 + 8 * points.size()));
    putRect(record, 0, 0, width - 1, height - 1);  // bounds
    put32(record, static_cast<uint32_t>(points.size()));
    for (auto [x, y] : points) {
        put32(record, static_cast<uint32_t>(x));
        put32(record, static_cast<uint32_t>(y));
    }
    return redBrushEmf(width, height, record);
}

}  // namespace orrery::test
