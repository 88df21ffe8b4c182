// Rasterising metafiles: the record walk's refusals, sizes, and the corpus
// drawings against their reference renderings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/gdiplus/byte_source.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/graphics.h"
#include "platform/gdiplus/metafile_raster.h"
#include "platform/gdiplus/pixel_data.h"
#include "support/metafile_builder.h"
#include "support/test_support.h"

using namespace orrery;
using namespace orrery::gdiplus;

namespace {

// How a picture drawn on transparent, laid on white, differs from a
// reference drawn on white: the mean difference per colour channel, and the
// share of pixels off by more than 64 in some channel (edges drawn another way).
struct OverWhiteDiff {
    double mean = 0;
    double farOff = 0;
};
OverWhiteDiff differenceOverWhite(const Image& drawn, const Image& reference) {
    uint64_t total = 0, far = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x) {
            ARGB a = 0, b = 0;
            drawn.getPixel(x, y, a);
            reference.getPixel(x, y, b);
            const uint32_t alpha = a >> 24;
            int worst = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const int over = static_cast<int>((((a >> shift) & 0xFF) * alpha + 255 * (255 - alpha) + 127) / 255);
                const int d = std::abs(over - static_cast<int>((b >> shift) & 0xFF));
                total += static_cast<uint64_t>(d);
                worst = std::max(worst, d);
            }
            far += worst > 64;
        }
    const double pixels = static_cast<double>(drawn.width()) * drawn.height();
    return {static_cast<double>(total) / (3 * pixels), static_cast<double>(far) / pixels};
}

std::unique_ptr<Image> loadFile(const std::string& path) {
    std::unique_ptr<Image> image;
    EXPECT_EQ(createBitmapFromFile(path, {}, image), Status::Ok) << path;
    return image;
}

}  // namespace

TEST(MetafileRasterTest, APlainWmfFillsTheSizeAskedFor) {
    const std::vector<uint8_t> wmf = orrery::test::redRectangleWmf(100, 40);
    ASSERT_EQ(metafileKindOf(wmf), MetafileKind::Wmf);
    std::unique_ptr<Image> image;
    ASSERT_EQ(rasteriseMetafile(wmf, 250, 100, image), Status::Ok);
    ASSERT_EQ(image->width(), 250);
    ASSERT_EQ(image->height(), 100);
    EXPECT_EQ(image->pixelFormat(), PixelFormat32bppARGB);
    ARGB c = 0;
    image->getPixel(125, 50, c);
    EXPECT_EQ(c, 0xFFFF0000u);
    image->getPixel(240, 90, c);
    EXPECT_EQ(c, 0xFFFF0000u);
}

TEST(MetafileRasterTest, DamagedRecordsAndSizesAreRefusedBeforeDrawing) {
    std::vector<uint8_t> wmf = orrery::test::redRectangleWmf(100, 40);
    std::unique_ptr<Image> image;
    EXPECT_EQ(rasteriseMetafile(wmf, 0, 10, image), Status::InvalidParameter);
    EXPECT_EQ(rasteriseMetafile(wmf, 1 << 30, 1 << 30, image), Status::OutOfMemory);
    // No end record.
    std::vector<uint8_t> cut(wmf.begin(), wmf.end() - 6);
    EXPECT_EQ(walkMetafileRecords(cut, MetafileKind::Wmf), Status::InvalidParameter);
    EXPECT_EQ(rasteriseMetafile(cut, 10, 10, image), Status::InvalidParameter);
    // A record that claims more words than there are.
    std::vector<uint8_t> longRecord = wmf;
    longRecord[18] = 0xFF;
    EXPECT_EQ(walkMetafileRecords(longRecord, MetafileKind::Wmf), Status::InvalidParameter);
    // A record of fewer than three words.
    std::vector<uint8_t> shortRecord = wmf;
    shortRecord[18] = 2;
    EXPECT_EQ(walkMetafileRecords(shortRecord, MetafileKind::Wmf), Status::InvalidParameter);
    // A header whose largest record passes the whole file: the player would
    // size a buffer of gigabytes by it (found by fuzzing).
    std::vector<uint8_t> hugeLargest = wmf;
    hugeLargest[12] = hugeLargest[13] = hugeLargest[14] = 0xFF;
    EXPECT_EQ(walkMetafileRecords(hugeLargest, MetafileKind::Wmf), Status::InvalidParameter);
    std::vector<uint8_t> smallLargest = wmf;
    smallLargest[12] = 6;  // below the largest record (7 words)
    EXPECT_EQ(walkMetafileRecords(smallLargest, MetafileKind::Wmf), Status::InvalidParameter);
    EXPECT_EQ(walkMetafileRecords(wmf, MetafileKind::Wmf), Status::Ok);
    // An EMF header whose description or pixel format descriptor lies past
    // the header record: the converter read it out of bounds (found by fuzzing).
    const std::vector<uint8_t> emf = orrery::test::redRectangleEmf(20, 10);
    EXPECT_EQ(walkMetafileRecords(emf, MetafileKind::Emf), Status::Ok);
    struct HeaderField {
        size_t at;
        uint32_t value;
    };
    const std::vector<std::vector<HeaderField>> badHeaders = {
        {{60, 65536}, {64, 88}},  // description of 65536 characters
        {{60, 4}, {64, 104}},     // description ending 4 bytes past the header
        {{60, 1}, {64, 20}},      // description over the header's own fields
        {{60, 0}, {64, 106}},     // no length, read up to a zero that is not in the header
        {{88, 40}, {92, 88}},     // pixel format descriptor past the header
    };
    for (const auto& fields : badHeaders) {
        std::vector<uint8_t> bad = emf;
        for (const HeaderField& f : fields)
            for (int i = 0; i < 4; ++i) bad[f.at + i] = static_cast<uint8_t>(f.value >> (8 * i));
        EXPECT_EQ(walkMetafileRecords(bad, MetafileKind::Emf), Status::InvalidParameter) << fields[0].at;
        EXPECT_EQ(rasteriseMetafile(bad, 10, 10, image), Status::InvalidParameter);
    }
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(metafileKindOf(std::vector<uint8_t>{1, 2, 3}), MetafileKind::None);
}

// The WMF reference was drawn at 72 dots per inch and the metafile measures
// itself at 96, so three quarters of its size is the reference's size. Each
// drawing is compared at its reference's size, laid on white as those are.
TEST(MetafileRasterTest, CorpusDrawingsMatchTheirReferences) {
    ORRERY_REQUIRE_CORPUS();
    for (const char* name : {"wmf", "emf"}) {
        SCOPED_TRACE(name);
        const std::string path = orrery::test::corpusPath(std::string("pillow/drawing.") + name).string();
        auto natural = loadFile(path);
        auto reference = loadFile(orrery::test::corpusPath(std::string("pillow/drawing_") + name + "_ref.png").string());
        ASSERT_TRUE(natural && reference);
        EXPECT_EQ(natural->rawFormat(), std::string(name) == "wmf" ? ImageFormat::WMF : ImageFormat::EMF);
        EXPECT_EQ(natural->pixelFormat(), PixelFormat32bppARGB);
        if (std::string(name) == "wmf") {
            EXPECT_EQ(static_cast<int>(natural->width() * 0.75), reference->width());
            EXPECT_EQ(static_cast<int>(natural->height() * 0.75), reference->height());
        }
        std::unique_ptr<Image> drawn;
        ASSERT_EQ(rasteriseMetafile(orrery::test::readFile(path), reference->width(), reference->height(), drawn),
                  Status::Ok);
        const OverWhiteDiff diff = differenceOverWhite(*drawn, *reference);
        std::printf("%s: %d x %d, mean %.2f, %.3f%% of pixels off by more than 64\n", name, drawn->width(),
                    drawn->height(), diff.mean, 100 * diff.farOff);
        // Both references are drawn without smoothing and ours with it; on
        // the small WMF drawing (82 pixels across) the edges are a large part
        // of the picture, hence its wider bounds.
        const bool small = std::string(name) == "wmf";
        EXPECT_LT(diff.mean, small ? 10.0 : 1.0);
        EXPECT_LT(diff.farOff, small ? 0.08 : 0.01);
    }
}

TEST(MetafileRasterTest, DrawingAMetafileRasterisesItAtTheDestinationSize) {
    // The left half of a 10 x 10 window is red; the right half stays transparent.
    std::unique_ptr<Image> metafile;
    ASSERT_EQ(loadImageFromBytes(ByteSource::fromVector(test::redRectangleWmf(10, 10, 0, 0, 5, 10)), {}, metafile),
              Status::Ok);
    ASSERT_EQ(metafile->type(), ImageType::Metafile);
    std::unique_ptr<Image> canvas;
    ASSERT_EQ(createBitmapFromScan0(40, 20, 0, PixelFormat32bppARGB, nullptr, canvas), Status::Ok);
    std::unique_ptr<Graphics> graphics;
    ASSERT_EQ(Graphics::fromImage(*canvas, graphics), Status::Ok);
    ASSERT_EQ(graphics->clear(0xFF0000FF), Status::Ok);
    ASSERT_EQ(graphics->drawImageRect(*metafile, RectF{10, 0, 20, 20}), Status::Ok);
    graphics.reset();
    auto at = [&](int x, int y) {
        ARGB c = 0;
        canvas->getPixel(x, y, c);
        return c;
    };
    EXPECT_EQ(at(5, 10), 0xFF0000FFu);   // left of the destination
    EXPECT_EQ(at(15, 10), 0xFFFF0000u);  // the red half, stretched to ten pixels
    EXPECT_EQ(at(25, 10), 0xFF0000FFu);  // the transparent half shows what was there
    EXPECT_EQ(at(35, 10), 0xFF0000FFu);  // right of the destination

    ASSERT_EQ(Graphics::fromImage(*canvas, graphics), Status::Ok);
    EXPECT_EQ(graphics->drawImageRectRect(*metafile, RectF{0, 0, 20, 20}, RectF{0, 0, 5, 5}), Status::NotImplemented);
    EXPECT_EQ(graphics->drawImageRect(*metafile, RectF{0, 0, 3e9f, 10}), Status::OutOfMemory);
}

namespace {

test::MetafilePoints scatteredPoints(int count, int side, unsigned seed) {
    // A fixed linear congruential sequence: the same points on every run.
    test::MetafilePoints points;
    uint32_t state = seed;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return static_cast<int32_t>((state >> 8) % static_cast<uint32_t>(side));
    };
    for (int i = 0; i < count; ++i) {
        const int32_t x = next();
        points.emplace_back(x, next());
    }
    return points;
}

test::MetafilePoints circlePoints(int count, int centre, int radius) {
    test::MetafilePoints points;
    for (int i = 0; i < count; ++i) {
        const double angle = 2 * 3.14159265358979 * i / count;
        points.emplace_back(static_cast<int32_t>(std::lround(centre + radius * std::cos(angle))),
                            static_cast<int32_t>(std::lround(centre + radius * std::sin(angle))));
    }
    return points;
}

}  // namespace

// Tens of thousands of points thrown into a small box make a fill whose
// edges cross each other hundreds of millions of times: the renderer took
// 15 to 76 seconds over each of these. They are refused before drawing;
// as many points tracing a circle over a large picture still draw.
TEST(MetafileRasterTest, CostlyDrawingsAreRefusedBeforeDrawingAndCurvesOfManyPointsDraw) {
    constexpr uint32_t kEmrPolygon = 3, kEmrPolyline = 4;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int width, height;
        Status expected;
    };
    const Case cases[] = {
        {"EMF polygon of 60000 points in a 100 x 100 box",
         test::polyEmf(kEmrPolygon, scatteredPoints(60000, 100, 1), 100, 100), 100, 100, Status::OutOfMemory},
        {"WMF poly-polygon of 2 x 32000 points in a 100 x 100 box",
         test::polygonsWmf({scatteredPoints(32000, 100, 2), scatteredPoints(32000, 100, 3)}, 100, 100), 100, 100,
         Status::OutOfMemory},
        {"WMF polygon of 30000 points in a 100 x 100 box", test::polygonsWmf({scatteredPoints(30000, 100, 4)}, 100, 100),
         100, 100, Status::OutOfMemory},
        {"EMF polyline of 30000 points zig-zagging over 4000 x 4000",
         test::polyEmf(kEmrPolyline, scatteredPoints(30000, 4000, 5), 4000, 4000), 400, 400, Status::OutOfMemory},
        {"EMF polygon of 60000 points on a circle over 4000 x 4000",
         test::polyEmf(kEmrPolygon, circlePoints(60000, 2000, 1900), 4000, 4000), 400, 400, Status::Ok},
        {"WMF polygon of 30000 points on a circle over 4000 x 4000",
         test::polygonsWmf({circlePoints(30000, 2000, 1900)}, 4000, 4000), 400, 400, Status::Ok},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<Image> image;
        ASSERT_EQ(rasteriseMetafile(c.bytes, c.width, c.height, image), c.expected);
        if (c.expected != Status::Ok) {
            EXPECT_EQ(image, nullptr);
            continue;
        }
        ASSERT_EQ(image->width(), c.width);
        ARGB centre = 0, corner = 0, rim = 0;
        image->getPixel(c.width / 2, c.height / 2, centre);
        image->getPixel(2, 2, corner);
        image->getPixel(c.width / 2 + c.width * 18 / 40, c.height / 2, rim);  // inside the circle's edge
        EXPECT_EQ(centre, 0xFFFF0000u);
        EXPECT_EQ(rim, 0xFFFF0000u);
        EXPECT_EQ(corner >> 24, 0u);
    }
}
