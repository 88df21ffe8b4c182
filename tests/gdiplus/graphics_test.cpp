#include "platform/gdiplus/graphics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "platform/gdiplus/resample.h"

using namespace orrery::gdiplus;

namespace {

// Pixels of `format` made from non-premultiplied colours, through the row
// converter (indexed formats take their default palette's nearest entries).
std::unique_ptr<Image> makeImage(int w, int h, PixelFormat format, const std::vector<ARGB>& argb) {
    PixelData px;
    EXPECT_EQ(PixelData::allocate(w, h, format, px), Status::Ok);
    Palette palette = isIndexed(format) ? defaultPalette(format) : Palette{};
    for (int y = 0; y < h; ++y)
        rowFromArgb32(format, argb.data() + y * w, w, isIndexed(format) ? &palette : nullptr, px.row(y));
    return Image::fromPixels(std::move(px), palette);
}

std::unique_ptr<Image> solidImage(int w, int h, ARGB c, PixelFormat f = PixelFormat32bppARGB) {
    return makeImage(w, h, f, std::vector<ARGB>(static_cast<size_t>(w * h), c));
}

// Distinct opaque colours, a function of the position.
std::vector<ARGB> patternColors(int w, int h) {
    std::vector<ARGB> out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out.push_back(0xFF000000u | static_cast<uint32_t>((x * 37 + y * 11) & 0xff) << 16 |
                          static_cast<uint32_t>((x * 5 + y * 71) & 0xff) << 8 |
                          static_cast<uint32_t>((x * 113 + y * 29 + 7) & 0xff));
    return out;
}

// A premultiplied surface in its own memory.
struct TestSurface {
    TestSurface(int w, int h, uint32_t fill = 0, float dpi = kDefaultDpi)
        : pixels(static_cast<size_t>(w * h), fill) {
        surface.pixels = pixels.data();
        surface.width = w;
        surface.height = h;
        surface.stride = w * 4;
        surface.dpiX = surface.dpiY = dpi;
    }
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y * surface.width + x)]; }
    std::unique_ptr<Graphics> graphics() {
        std::unique_ptr<Graphics> g;
        EXPECT_EQ(Graphics::fromSurface(surface, g), Status::Ok);
        return g;
    }
    std::vector<uint32_t> pixels;
    Surface surface;
};

std::unique_ptr<Graphics> viewerGraphics(TestSurface& s, InterpolationMode mode,
                                         PixelOffsetMode offset = PixelOffsetModeHalf) {
    auto g = s.graphics();
    g->setSmoothingMode(SmoothingModeNone);
    g->setPixelOffsetMode(offset);
    g->setCompositingQuality(CompositingQualityHighSpeed);
    g->setInterpolationMode(mode);
    g->setPageUnit(UnitPixel);
    return g;
}

int channel(uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xff); }

// Largest per-channel difference.
int distance(uint32_t a, uint32_t b) {
    int d = 0;
    for (int s = 0; s < 32; s += 8) d = std::max(d, std::abs(channel(a, s) - channel(b, s)));
    return d;
}

RectF whole(const Image& image) {
    return RectF{0, 0, static_cast<float>(image.width()), static_cast<float>(image.height())};
}

}  // namespace

TEST(GraphicsNearest, IntegerUpscaleWithHalfOffsetReplicatesPixels) {
    auto colors = patternColors(4, 3);
    auto image = makeImage(4, 3, PixelFormat32bppARGB, colors);
    TestSurface s(8, 6);
    auto g = viewerGraphics(s, InterpolationModeNearestNeighbor);
    ASSERT_EQ(g->drawImageRectRect(*image, RectF{0, 0, 8, 6}, whole(*image)), Status::Ok);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(s.at(x, y), colors[static_cast<size_t>((y / 2) * 4 + x / 2)]) << x << "," << y;
}

TEST(GraphicsNearest, HalvingPicksOnePixelOfEachBlock) {
    auto colors = patternColors(8, 6);
    auto image = makeImage(8, 6, PixelFormat32bppPARGB, colors);
    // Half offset: the target centre falls on the corner shared by a 2x2
    // block; the tie goes to the block's upper-left pixel.
    TestSurface half(4, 3);
    auto g = viewerGraphics(half, InterpolationModeNearestNeighbor);
    ASSERT_EQ(g->drawImageRectRect(*image, RectF{0, 0, 4, 3}, whole(*image)), Status::Ok);
    // Default offset: target centres at integers land inside the upper-left
    // pixel of each block, no tie.
    TestSurface shifted(4, 3);
    auto g2 = viewerGraphics(shifted, InterpolationModeNearestNeighbor, PixelOffsetModeNone);
    ASSERT_EQ(g2->drawImageRectRect(*image, RectF{0, 0, 4, 3}, whole(*image)), Status::Ok);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(half.at(x, y), colors[static_cast<size_t>(2 * y * 8 + 2 * x)]);
            EXPECT_EQ(shifted.at(x, y), colors[static_cast<size_t>(2 * y * 8 + 2 * x)]);
        }
}

TEST(GraphicsBilinear, TwoColourEdgeBlendsAtThePixelOffset) {
    auto image = makeImage(2, 1, PixelFormat32bppARGB, {0xFF000000, 0xFFFFFFFF});
    // Half: target centres 0.5..3.5 map to source 0.25, 0.75, 1.25, 1.75.
    TestSurface half(4, 1);
    auto g = viewerGraphics(half, InterpolationModeBilinear);
    ASSERT_EQ(g->drawImageRectRect(*image, RectF{0, 0, 4, 1}, whole(*image)), Status::Ok);
    const int expectHalf[4] = {0, 64, 191, 255};
    // Default: target centres 0..3 map to source 0, 0.5, 1, 1.5 (centres at
    // integers): the second target pixel lies halfway between the colours.
    TestSurface shifted(4, 1);
    auto g2 = viewerGraphics(shifted, InterpolationModeBilinear, PixelOffsetModeDefault);
    ASSERT_EQ(g2->drawImageRectRect(*image, RectF{0, 0, 4, 1}, whole(*image)), Status::Ok);
    const int expectShifted[4] = {0, 128, 255, 255};
    for (int x = 0; x < 4; ++x) {
        EXPECT_NEAR(channel(half.at(x, 0), 8), expectHalf[x], 1) << x;
        EXPECT_EQ(channel(half.at(x, 0), 24), 255);
        EXPECT_NEAR(channel(shifted.at(x, 0), 8), expectShifted[x], 1) << x;
    }
}

TEST(GraphicsGeometry, SourcePartlyOutsideDrawsOnlyTheInsidePart) {
    auto colors = patternColors(4, 4);
    auto image = makeImage(4, 4, PixelFormat32bppARGB, colors);
    const uint32_t background = 0xFF0000FF;
    TestSurface s(8, 8, background);
    auto g = viewerGraphics(s, InterpolationModeNearestNeighbor);
    // Source x -2..2: its left half lies outside, so the left half of the
    // destination stays untouched and columns 0..1 fill the right half.
    ASSERT_EQ(g->drawImageRectRect(*image, RectF{0, 0, 8, 8}, RectF{-2, 0, 4, 4}), Status::Ok);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            uint32_t want = x < 4 ? background : colors[static_cast<size_t>((y / 2) * 4 + (x - 4) / 2)];
            ASSERT_EQ(s.at(x, y), want) << x << "," << y;
        }
    // Beyond the bottom-right corner, in a high-quality mode.
    TestSurface s2(8, 8, background);
    auto g2 = viewerGraphics(s2, InterpolationModeHighQualityBicubic);
    ASSERT_EQ(g2->drawImageRectRect(*image, RectF{0, 0, 8, 8}, RectF{2, 2, 4, 4}), Status::Ok);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if (x >= 4 || y >= 4) {
                ASSERT_EQ(s2.at(x, y), background) << x << "," << y;
            }
    EXPECT_NE(s2.at(3, 3), background);
    // Entirely outside: nothing drawn, no failure.
    TestSurface s3(8, 8, background);
    auto g3 = viewerGraphics(s3, InterpolationModeBilinear);
    ASSERT_EQ(g3->drawImageRectRect(*image, RectF{0, 0, 8, 8}, RectF{10, 10, 4, 4}), Status::Ok);
    for (uint32_t p : s3.pixels) ASSERT_EQ(p, background);
}

TEST(GraphicsFormats, EverySourceFormatDrawsLikeItsArgbConversion) {
    const int w = 13, h = 7;
    std::vector<ARGB> colors = patternColors(w, h);
    colors[3] = 0x80406080;  // translucent pixels for formats with alpha
    colors[20] = 0x00000000;
    const InterpolationMode modes[] = {InterpolationModeNearestNeighbor, InterpolationModeBilinear,
                                       InterpolationModeBicubic, InterpolationModeHighQualityBicubic};
    const RectF targets[] = {{0, 0, 13, 7}, {1.5f, 0.5f, 30, 17}, {0, 0, 6, 3}};
    for (PixelFormat f : allPixelFormats()) {
        auto image = makeImage(w, h, f, colors);
        // The reference: the same pixels converted to 32bppARGB.
        std::vector<ARGB> converted(static_cast<size_t>(w * h));
        for (int y = 0; y < h; ++y)
            rowToArgb32(f, image->pixels().row(y), 0, w, &image->palette(), converted.data() + y * w);
        auto reference = makeImage(w, h, PixelFormat32bppARGB, converted);
        for (InterpolationMode mode : modes)
            for (const RectF& dst : targets) {
                TestSurface got(32, 18, 0xFF102030), want(32, 18, 0xFF102030);
                ASSERT_EQ(viewerGraphics(got, mode)->drawImageRectRect(*image, dst, whole(*image)),
                          Status::Ok);
                ASSERT_EQ(viewerGraphics(want, mode)->drawImageRectRect(*reference, dst, whole(*image)),
                          Status::Ok);
                ASSERT_EQ(got.pixels, want.pixels) << pixelFormatName(f) << " mode " << mode;
            }
    }
}

TEST(GraphicsTargets, IndexedBitmapIsRefused) {
    for (PixelFormat f : {PixelFormat1bppIndexed, PixelFormat4bppIndexed, PixelFormat8bppIndexed}) {
        auto image = solidImage(4, 4, 0xFF000000, f);
        std::unique_ptr<Graphics> g;
        EXPECT_EQ(Graphics::fromImage(*image, g), Status::OutOfMemory) << pixelFormatName(f);
        EXPECT_EQ(g, nullptr);
    }
}

TEST(GraphicsTargets, DrawsIntoBitmapsOfEveryDrawableFormat) {
    auto red = solidImage(2, 2, 0xFFFF0000);
    for (PixelFormat f : allPixelFormats()) {
        if (isIndexed(f)) continue;
        auto target = solidImage(6, 4, 0xFF0000FF, f);
        const uint64_t before = target->generation();
        std::unique_ptr<Graphics> g;
        ASSERT_EQ(Graphics::fromImage(*target, g), Status::Ok) << pixelFormatName(f);
        g->setInterpolationMode(InterpolationModeNearestNeighbor);
        g->setPixelOffsetMode(PixelOffsetModeHalf);
        ASSERT_EQ(g->drawImageRectRect(*red, RectF{2, 1, 2, 2}, whole(*red)), Status::Ok);
        EXPECT_NE(target->generation(), before);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                ARGB c = 0;
                ASSERT_EQ(target->getPixel(x, y, c), Status::Ok);
                bool inside = x >= 2 && x < 4 && y >= 1 && y < 3;
                if (f == PixelFormat16bppGrayScale) continue;  // grey keeps no hue
                EXPECT_EQ(c | (hasAlpha(f) ? 0u : 0xFF000000u), inside ? 0xFFFF0000u : 0xFF0000FFu)
                    << pixelFormatName(f) << " " << x << "," << y;
            }
        // clear() writes the colour in the bitmap's own format.
        ASSERT_EQ(g->clear(0xFF00FF00), Status::Ok);
        ARGB c = 0;
        target->getPixel(5, 3, c);
        if (f != PixelFormat16bppGrayScale) {
            EXPECT_EQ(c, 0xFF00FF00u) << pixelFormatName(f);
        }
    }
}

TEST(GraphicsTargets, TranslucentBitmapKeepsStraightAlpha) {
    // The viewer renders into a transparent 32bppARGB bitmap.
    auto target = solidImage(4, 4, 0x00000000);
    auto half = solidImage(1, 1, 0x80FF0000);
    std::unique_ptr<Graphics> g;
    ASSERT_EQ(Graphics::fromImage(*target, g), Status::Ok);
    ASSERT_EQ(g->drawImageRect(*half, RectF{0, 0, 4, 4}), Status::Ok);
    ARGB c = 0;
    target->getPixel(2, 2, c);
    EXPECT_EQ(c, 0x80FF0000u);
}

TEST(GraphicsCompositing, SourceCopyReplacesAndSourceOverBlends) {
    auto half = solidImage(1, 1, 0x80FF0000);
    TestSurface over(2, 2, 0xFF0000FF), copy(2, 2, 0xFF0000FF);
    auto g = viewerGraphics(over, InterpolationModeNearestNeighbor);
    ASSERT_EQ(g->drawImageRect(*half, RectF{0, 0, 2, 2}), Status::Ok);
    auto g2 = viewerGraphics(copy, InterpolationModeNearestNeighbor);
    ASSERT_EQ(g2->setCompositingMode(CompositingModeSourceCopy), Status::Ok);
    ASSERT_EQ(g2->drawImageRect(*half, RectF{0, 0, 2, 2}), Status::Ok);
    // Premultiplied red at alpha 128 over opaque blue.
    EXPECT_LE(distance(over.at(1, 1), 0xFF80007F), 1);
    EXPECT_EQ(copy.at(1, 1), premultiply(0x80FF0000));
}

TEST(GraphicsAttributes, GammaTableMapsKnownValues) {
    ImageAttributes a;
    EXPECT_EQ(a.setGamma(0.0f), Status::InvalidParameter);
    EXPECT_EQ(a.setGamma(-1.0f), Status::InvalidParameter);
    ASSERT_EQ(a.setGamma(0.5f), Status::Ok);
    // 255 * (64 / 255)^0.5 = 127.75; alpha is left alone.
    EXPECT_EQ(a.apply(0x80404040), 0x80808080u);
    ASSERT_EQ(a.setGamma(2.0f), Status::Ok);
    // 255 * (128 / 255)^2 = 64.25.
    EXPECT_EQ(a.apply(0xFF80FF00), 0xFF40FF00u);

    auto image = makeImage(2, 1, PixelFormat24bppRGB, {0xFF404040, 0xFF808080});
    for (InterpolationMode mode : {InterpolationModeNearestNeighbor, InterpolationModeHighQualityBicubic}) {
        TestSurface s(2, 1);
        ImageAttributes g05;
        g05.setGamma(0.5f);
        ASSERT_EQ(viewerGraphics(s, mode)->drawImageRectRect(*image, RectF{0, 0, 2, 1}, whole(*image),
                                                             UnitPixel, &g05),
                  Status::Ok);
        EXPECT_EQ(s.at(0, 0), 0xFF808080u);
        EXPECT_EQ(s.at(1, 0), 0xFFB5B5B5u);  // 255 * (128 / 255)^0.5 = 180.66
    }
}

TEST(GraphicsAttributes, RemapMakesOneColourTransparent) {
    ImageAttributes keyed;
    ASSERT_EQ(keyed.setRemapTable({{0xFFFF0000, 0x00000000}}), Status::Ok);
    auto image = makeImage(3, 1, PixelFormat24bppRGB, {0xFFFF0000, 0xFF00FF00, 0xFFFE0000});
    for (InterpolationMode mode :
         {InterpolationModeNearestNeighbor, InterpolationModeBilinear, InterpolationModeHighQualityBicubic}) {
        TestSurface s(3, 1, 0xFFFFFFFF);
        ASSERT_EQ(viewerGraphics(s, mode)->drawImageRectRect(*image, RectF{0, 0, 3, 1}, whole(*image),
                                                             UnitPixel, &keyed),
                  Status::Ok);
        EXPECT_EQ(s.at(0, 0), 0xFFFFFFFFu) << mode;  // the background shows
        EXPECT_EQ(s.at(1, 0), 0xFF00FF00u) << mode;
        EXPECT_EQ(s.at(2, 0), 0xFFFE0000u) << mode;  // only the exact colour
    }
    // Remap comes before gamma: a remapped colour is then gamma-corrected.
    ImageAttributes both;
    both.setRemapTable({{0xFF404040, 0xFF808080}});
    both.setGamma(2.0f);
    EXPECT_EQ(both.apply(0xFF404040), 0xFF404040u);
}

TEST(GraphicsUnits, MillimetresUseTheTargetResolution) {
    auto red = solidImage(1, 1, 0xFFFF0000);
    TestSurface s(40, 40, 0xFF000000, 254.0f);
    auto g = viewerGraphics(s, InterpolationModeNearestNeighbor);
    ASSERT_EQ(g->setPageUnit(UnitMillimeter), Status::Ok);
    // 254 dpi is 10 pixels a millimetre: 1..3 mm covers pixels 10..29.
    ASSERT_EQ(g->drawImageRect(*red, RectF{1, 1, 2, 2}), Status::Ok);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            bool inside = x >= 10 && x < 30 && y >= 10 && y < 30;
            ASSERT_EQ(s.at(x, y), inside ? 0xFFFF0000u : 0xFF000000u) << x << "," << y;
        }
    EXPECT_EQ(g->setPageUnit(UnitInch), Status::NotImplemented);
    EXPECT_EQ(g->setPageUnit(UnitWorld), Status::InvalidParameter);
    EXPECT_EQ(g->pageUnit(), UnitMillimeter);
}

TEST(GraphicsSettings, ModesAreCheckedAndGenericOnesResolved) {
    TestSurface s(2, 2);
    auto g = s.graphics();
    EXPECT_EQ(g->interpolationMode(), InterpolationModeBilinear);
    EXPECT_EQ(g->setInterpolationMode(InterpolationModeInvalid), Status::InvalidParameter);
    EXPECT_EQ(g->setInterpolationMode(static_cast<InterpolationMode>(8)), Status::InvalidParameter);
    ASSERT_EQ(g->setInterpolationMode(InterpolationModeHighQuality), Status::Ok);
    EXPECT_EQ(g->interpolationMode(), InterpolationModeHighQualityBicubic);
    ASSERT_EQ(g->setInterpolationMode(InterpolationModeLowQuality), Status::Ok);
    EXPECT_EQ(g->interpolationMode(), InterpolationModeBilinear);
    EXPECT_EQ(g->setSmoothingMode(SmoothingModeInvalid), Status::InvalidParameter);
    EXPECT_EQ(g->setPixelOffsetMode(static_cast<PixelOffsetMode>(5)), Status::InvalidParameter);
    EXPECT_EQ(g->setCompositingMode(static_cast<CompositingMode>(2)), Status::InvalidParameter);
    EXPECT_EQ(g->setCompositingQuality(CompositingQualityInvalid), Status::InvalidParameter);
    ASSERT_EQ(g->setPixelOffsetMode(PixelOffsetModeHalf), Status::Ok);
    EXPECT_EQ(g->pixelOffsetMode(), PixelOffsetModeHalf);

    auto image = solidImage(2, 2, 0xFFFFFFFF);
    EXPECT_EQ(g->drawImageRectRect(*image, RectF{0, 0, 2, 2}, whole(*image), UnitInch),
              Status::NotImplemented);
    EXPECT_EQ(g->drawImageRect(*image, RectF{0, 0, -2, 2}), Status::InvalidParameter);
    Surface bad;
    std::unique_ptr<Graphics> none;
    EXPECT_EQ(Graphics::fromSurface(bad, none), Status::InvalidParameter);
}

TEST(GraphicsHighQuality, ConstantImageStaysConstant) {
    const ARGB c = 0xFF336699;
    auto image = solidImage(100, 80, c, PixelFormat24bppRGB);
    for (InterpolationMode mode : {InterpolationModeBicubic, InterpolationModeHighQualityBilinear,
                                   InterpolationModeHighQualityBicubic})
        for (RectF dst : {RectF{0, 0, 37, 29}, RectF{0.3f, 0.7f, 250, 190}, RectF{0, 0, 9, 150}}) {
            TestSurface s(250, 191, 0);
            ASSERT_EQ(viewerGraphics(s, mode)->drawImageRect(*image, dst), Status::Ok);
            for (int y = 1; y < static_cast<int>(dst.height) - 1; ++y)
                for (int x = 1; x < static_cast<int>(dst.width) - 1; ++x)
                    ASSERT_EQ(s.at(x, y), c) << mode << " " << x << "," << y;
        }
}

TEST(GraphicsHighQuality, ShrunkenCheckerboardIsGrey) {
    std::vector<ARGB> board;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x) board.push_back(((x + y) & 1) ? 0xFFFFFFFF : 0xFF000000);
    auto image = makeImage(96, 96, PixelFormat32bppARGB, board);
    for (InterpolationMode mode : {InterpolationModeHighQualityBilinear, InterpolationModeHighQualityBicubic})
        for (float size : {29.0f, 48.0f, 67.0f}) {
            TestSurface s(67, 67);
            ASSERT_EQ(viewerGraphics(s, mode)->drawImageRect(*image, RectF{0, 0, size, size}), Status::Ok);
            const int n = static_cast<int>(size);
            // The outermost pixels pad the board's edge, which shifts their
            // mean; inside, every output pixel averages both colours.
            for (int y = 1; y < n - 1; ++y)
                for (int x = 1; x < n - 1; ++x)
                    ASSERT_NEAR(channel(s.at(x, y), 8), 128, 12) << mode << " " << size << " " << x << "," << y;
        }
    // Plain nearest sampling aliases: the check above can tell the two apart.
    TestSurface nearest(48, 48);
    viewerGraphics(nearest, InterpolationModeNearestNeighbor)->drawImageRect(*image, RectF{0, 0, 48, 48});
    EXPECT_GT(std::abs(channel(nearest.at(5, 5), 8) - 128), 100);
}

TEST(GraphicsHighQuality, LevelsAreRebuiltWhenPixelsChange) {
    auto image = solidImage(64, 64, 0xFFFFFFFF);
    TestSurface s(16, 16);
    auto g = viewerGraphics(s, InterpolationModeHighQualityBicubic);
    ASSERT_EQ(g->drawImageRect(*image, RectF{0, 0, 16, 16}), Status::Ok);
    EXPECT_EQ(s.at(8, 8), 0xFFFFFFFFu);
    ASSERT_EQ(DrawCache::of(*image).levelsMade(), 2);

    // A write lock changes the generation: the levels are made again.
    BitmapData data;
    ASSERT_EQ(image->lockBits(nullptr, ImageLockModeWrite, PixelFormat32bppARGB, data), Status::Ok);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            reinterpret_cast<uint32_t*>(data.scan0 + y * data.stride)[x] = x < 32 ? 0xFF000000 : 0xFFFFFFFF;
    ASSERT_EQ(image->unlockBits(data), Status::Ok);
    ASSERT_EQ(g->drawImageRect(*image, RectF{0, 0, 16, 16}), Status::Ok);
    EXPECT_EQ(s.at(2, 8), 0xFF000000u);
    EXPECT_EQ(s.at(13, 8), 0xFFFFFFFFu);

    // So does rotating.
    ASSERT_EQ(image->rotateFlip(RotateNoneFlipX), Status::Ok);
    ASSERT_EQ(g->drawImageRect(*image, RectF{0, 0, 16, 16}), Status::Ok);
    EXPECT_EQ(s.at(2, 8), 0xFFFFFFFFu);
    EXPECT_EQ(s.at(13, 8), 0xFF000000u);
}

TEST(GraphicsHighQuality, OpaqueArgbCacheFollowsAlphaChanges) {
    // An opaque 32bppARGB image is drawn as x8r8g8b8; once a pixel turns
    // translucent it must blend again.
    auto image = solidImage(2, 2, 0xFFFF0000);
    TestSurface s(2, 2, 0xFF0000FF);
    auto g = viewerGraphics(s, InterpolationModeNearestNeighbor);
    ASSERT_EQ(g->drawImageRect(*image, RectF{0, 0, 2, 2}), Status::Ok);
    EXPECT_EQ(s.at(0, 0), 0xFFFF0000u);
    ASSERT_EQ(image->setPixel(0, 0, 0x00FF0000), Status::Ok);
    g->clear(0xFF0000FF);
    ASSERT_EQ(g->drawImageRect(*image, RectF{0, 0, 2, 2}), Status::Ok);
    EXPECT_EQ(s.at(0, 0), 0xFF0000FFu);
    EXPECT_EQ(s.at(1, 1), 0xFFFF0000u);
}

namespace {

// The image's pixels in a 32-bit format pixman reads in place: 32bppRGB when
// the format has no alpha, premultiplied 32bppPARGB otherwise. The reference
// for formats that are converted before drawing.
std::unique_ptr<Image> inPlaceReference(const Image& image) {
    const PixelData& px = image.pixels();
    const PixelFormat f = hasAlpha(px.format()) ? PixelFormat32bppPARGB : PixelFormat32bppRGB;
    PixelData out;
    EXPECT_EQ(PixelData::allocate(px.width(), px.height(), f, out), Status::Ok);
    for (int y = 0; y < px.height(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(out.row(y));
        rowToArgb32(px.format(), px.row(y), 0, px.width(), &image.palette(), row);
        premultiplyRow(row, px.width());
    }
    return Image::fromPixels(std::move(out));
}

struct PointDraw {
    InterpolationMode mode;
    PixelOffsetMode offset;
    RectF dst;
    RectF src;
};

std::vector<uint32_t> drawn(const Image& image, const PointDraw& d, int w, int h) {
    TestSurface s(w, h, 0xFF102030);
    EXPECT_EQ(viewerGraphics(s, d.mode, d.offset)->drawImageRectRect(image, d.dst, d.src), Status::Ok);
    return s.pixels;
}

// Opaque pattern with translucent and transparent spots.
std::vector<ARGB> spottedColors(int w, int h) {
    std::vector<ARGB> colors = patternColors(w, h);
    for (size_t i = 3; i < colors.size(); i += 97) colors[i] = 0x80406080;
    for (size_t i = 50; i < colors.size(); i += 131) colors[i] = 0;
    return colors;
}

// Formats that pixman cannot read in place (a 32bppARGB picture with
// translucent spots included), drawn through a conversion.
constexpr PixelFormat kConvertedFormats[] = {PixelFormat24bppRGB,  PixelFormat16bppRGB565, PixelFormat16bppARGB1555,
                                             PixelFormat48bppRGB,  PixelFormat64bppARGB,   PixelFormat32bppARGB};

struct LimitGuard {
    explicit LimitGuard(size_t bytes) : saved(pixelAllocationLimit()) { setPixelAllocationLimit(bytes); }
    ~LimitGuard() { setPixelAllocationLimit(saved); }
    size_t saved;
};

}  // namespace

TEST(GraphicsConvertedCopy, RepeatedDrawsMatchThe32BitImage) {
    const int w = 600, h = 400;
    const std::vector<ARGB> colors = spottedColors(w, h);
    const RectF all{0, 0, w, h};
    // The bilinear drawing comes first: a shrinking nearest-neighbour one
    // made before any copy samples its pixels without one.
    const PointDraw draws[] = {
        {InterpolationModeBilinear, PixelOffsetModeHalf, {10, 5, 300, 200}, all},
        {InterpolationModeNearestNeighbor, PixelOffsetModeHalf, {10, 5, 300, 200}, all},
        {InterpolationModeNearestNeighbor, PixelOffsetModeNone, {0, 0, 320, 240}, {37.5f, 21.25f, 350, 260}},
        {InterpolationModeBilinear, PixelOffsetModeNone, {0, 0, 320, 240}, {37.5f, 21.25f, 350, 260}},
        {InterpolationModeBilinear, PixelOffsetModeHalf, {3, 2, 77, 51}, all},
        {InterpolationModeNearestNeighbor, PixelOffsetModeHalf, {-40, -30, 1500, 1000}, all},
    };
    for (PixelFormat f : kConvertedFormats) {
        auto image = makeImage(w, h, f, colors);
        auto reference = inPlaceReference(*image);
        for (const PointDraw& d : draws) {
            const auto want = drawn(*reference, d, 320, 240);
            const auto first = drawn(*image, d, 320, 240);
            ASSERT_TRUE(DrawCache::of(*image).hasConvertedCopy()) << pixelFormatName(f);
            const auto second = drawn(*image, d, 320, 240);
            ASSERT_EQ(first, want) << pixelFormatName(f) << " mode " << d.mode;
            ASSERT_EQ(second, want) << pixelFormatName(f) << " mode " << d.mode;
        }
    }
}

TEST(GraphicsConvertedCopy, SmallPartOfALargeImageIsConvertedAlone) {
    // 1.2 megapixels; the 490 x 420 part is under a quarter of it and under
    // a megapixel. Drawn 7 times smaller, so the part's corner lies several
    // pixels to the right of where the first sample is taken from.
    const int w = 1200, h = 1000;
    auto image = makeImage(w, h, PixelFormat24bppRGB, patternColors(w, h));
    auto reference = inPlaceReference(*image);
    for (InterpolationMode mode : {InterpolationModeNearestNeighbor, InterpolationModeBilinear})
        for (PixelOffsetMode offset : {PixelOffsetModeHalf, PixelOffsetModeNone}) {
            const PointDraw d{mode, offset, {1.25f, 0.5f, 70, 60}, {101.3f, 77.7f, 490, 420}};
            ASSERT_EQ(drawn(*image, d, 72, 62), drawn(*reference, d, 72, 62)) << mode << " " << offset;
            EXPECT_FALSE(DrawCache::of(*image).hasConvertedCopy());
        }
    // A part whose corner lies right of the sampling origin: shrunk 8 times
    // from just past 100, the first sample falls exactly on the edge between
    // pixels 103 and 104 in fixed point. The part must sample it there too,
    // not one fixed-point step further.
    const float x = std::nextafter(100.0f, 101.0f);
    const PointDraw d{InterpolationModeNearestNeighbor, PixelOffsetModeHalf, {0, 0, 60, 2}, {x, x, 480, 16}};
    ASSERT_EQ(drawn(*image, d, 60, 2), drawn(*reference, d, 60, 2));
}

TEST(GraphicsConvertedCopy, IsMadeAgainWhenThePixelsChange) {
    const int w = 64, h = 48;
    auto image = makeImage(w, h, PixelFormat24bppRGB, patternColors(w, h));
    const PointDraw d{InterpolationModeNearestNeighbor, PixelOffsetModeHalf, {0, 0, w, h}, {0, 0, w, h}};
    auto expectLikeReference = [&](const char* step) {
        const auto got = drawn(*image, d, w, h);
        EXPECT_TRUE(DrawCache::of(*image).hasConvertedCopy()) << step;
        EXPECT_EQ(DrawCache::of(*image).generation(), image->generation()) << step;
        EXPECT_EQ(got, drawn(*inPlaceReference(*image), d, w, h)) << step;
        return got;
    };
    expectLikeReference("first");

    ASSERT_EQ(image->setPixel(5, 7, 0xFFFF0000), Status::Ok);
    EXPECT_EQ(expectLikeReference("setPixel")[7 * w + 5], 0xFFFF0000u);

    BitmapData data;
    const Rect r{10, 20, 4, 3};
    ASSERT_EQ(image->lockBits(&r, ImageLockModeWrite, PixelFormat32bppARGB, data), Status::Ok);
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x)
            reinterpret_cast<uint32_t*>(data.scan0 + y * data.stride)[x] = 0xFF0000FF;
    ASSERT_EQ(image->unlockBits(data), Status::Ok);
    EXPECT_EQ(expectLikeReference("lockBits")[21 * w + 12], 0xFF0000FFu);

    ASSERT_EQ(image->rotateFlip(RotateNoneFlipX), Status::Ok);
    const auto flipped = expectLikeReference("rotateFlip");
    EXPECT_EQ(flipped[7 * w + (w - 1 - 5)], 0xFFFF0000u);
    EXPECT_EQ(flipped[21 * w + (w - 1 - 12)], 0xFF0000FFu);
}

TEST(GraphicsConvertedCopy, IndexedAdjustedAndCallerPixelsKeepNoCopy) {
    const int w = 40, h = 30;
    const std::vector<ARGB> colors = patternColors(w, h);
    const PointDraw d{InterpolationModeNearestNeighbor, PixelOffsetModeHalf, {0, 0, w, h}, {0, 0, w, h}};
    for (PixelFormat f : {PixelFormat1bppIndexed, PixelFormat8bppIndexed}) {
        auto image = makeImage(w, h, f, colors);
        EXPECT_EQ(drawn(*image, d, w, h), drawn(*inPlaceReference(*image), d, w, h));
        EXPECT_FALSE(DrawCache::of(*image).hasConvertedCopy()) << pixelFormatName(f);
    }

    // Colour adjustments are applied to the converted part on each drawing.
    auto image = makeImage(w, h, PixelFormat24bppRGB, colors);
    ImageAttributes gamma;
    ASSERT_EQ(gamma.setGamma(2.2f), Status::Ok);
    TestSurface s(w, h);
    ASSERT_EQ(viewerGraphics(s, InterpolationModeBilinear)
                  ->drawImageRectRect(*image, RectF{0, 0, w, h}, whole(*image), UnitPixel, &gamma),
              Status::Ok);
    EXPECT_FALSE(DrawCache::of(*image).hasConvertedCopy());
    EXPECT_EQ(s.at(9, 4), gamma.apply(colors[4 * w + 9]));

    // Pixels in the caller's memory may change behind the image's back:
    // every drawing reads them afresh.
    std::vector<uint8_t> memory(static_cast<size_t>(w) * 3 * h);
    for (int y = 0; y < h; ++y)
        rowFromArgb32(PixelFormat24bppRGB, colors.data() + y * w, w, nullptr, memory.data() + y * w * 3);
    auto wrapped = Image::fromPixels(PixelData::wrap(memory.data(), w, h, w * 3, PixelFormat24bppRGB));
    EXPECT_EQ(drawn(*wrapped, d, w, h)[0], colors[0]);
    memory[0] = memory[1] = memory[2] = 0;
    EXPECT_EQ(drawn(*wrapped, d, w, h)[0], 0xFF000000u);
    EXPECT_FALSE(DrawCache::of(*wrapped).hasConvertedCopy());
}

TEST(GraphicsConvertedCopy, CopyAboveTheAllocationLimitFallsBackToThePart) {
    const int w = 400, h = 300;
    auto image = makeImage(w, h, PixelFormat24bppRGB, patternColors(w, h));
    auto reference = inPlaceReference(*image);
    // The part (over a quarter of the image) fits, the 480000-byte copy not.
    const PointDraw d{InterpolationModeBilinear, PixelOffsetModeHalf, {0, 0, 150, 110}, {20, 10, 220, 160}};
    const auto want = drawn(*reference, d, 160, 120);
    {
        LimitGuard limit(200000);
        EXPECT_EQ(drawn(*image, d, 160, 120), want);
        EXPECT_FALSE(DrawCache::of(*image).hasConvertedCopy());
    }
    // The refusal holds until the pixels change.
    EXPECT_EQ(drawn(*image, d, 160, 120), want);
    EXPECT_FALSE(DrawCache::of(*image).hasConvertedCopy());
    ARGB c;
    ASSERT_EQ(image->getPixel(0, 0, c), Status::Ok);
    ASSERT_EQ(image->setPixel(0, 0, c), Status::Ok);
    EXPECT_EQ(drawn(*image, d, 160, 120), want);
    EXPECT_TRUE(DrawCache::of(*image).hasConvertedCopy());
}

// A shrinking nearest-neighbour drawing of an indexed image picks only the
// source rows and columns it samples; it must pick exactly those that the
// same drawing of the 32-bit conversion reads, for any scale, offset and
// part of the source.
TEST(GraphicsNearest, ShrinkingAnIndexedImageSamplesWhereItsConversionWould) {
    const int w = 517, h = 389;
    std::vector<ARGB> colors(static_cast<size_t>(w * h));
    uint32_t seed = 12345;
    for (ARGB& c : colors) {
        seed = seed * 1103515245u + 12345u;
        c = (seed >> 16) & 1 ? 0xFFFFFFFFu : 0xFF000000u;
    }
    auto page = makeImage(w, h, PixelFormat1bppIndexed, colors);
    auto reference = makeImage(w, h, PixelFormat32bppARGB, colors);
    const RectF sources[] = {whole(*page), {0.5f, 3.25f, 400.75f, 301.5f}, {100, 7, 417, 382}};
    const RectF targets[] = {{0, 0, 200, 150}, {3.5f, 1.25f, 97.3f, 61.9f}, {0, 0, 517, 389}, {7, 5, 33, 280}};
    for (PixelOffsetMode offset : {PixelOffsetModeHalf, PixelOffsetModeNone})
        for (const RectF& src : sources)
            for (const RectF& dst : targets) {
                TestSurface got(210, 300, 0xFF102030), want(210, 300, 0xFF102030);
                ASSERT_EQ(viewerGraphics(got, InterpolationModeNearestNeighbor, offset)
                              ->drawImageRectRect(*page, dst, src),
                          Status::Ok);
                ASSERT_EQ(viewerGraphics(want, InterpolationModeNearestNeighbor, offset)
                              ->drawImageRectRect(*reference, dst, src),
                          Status::Ok);
                ASSERT_EQ(got.pixels, want.pixels) << "target " << dst.x << "," << dst.y << " " << dst.width << "x"
                                                   << dst.height << " from " << src.x << "," << src.y;
            }
    // With a colour adjustment the sampled rows go through the converter.
    ImageAttributes gamma;
    ASSERT_EQ(gamma.setGamma(0.5f), Status::Ok);
    auto grey = makeImage(w, h, PixelFormat8bppIndexed, colors);
    TestSurface got(210, 300), want(210, 300);
    ASSERT_EQ(viewerGraphics(got, InterpolationModeNearestNeighbor)
                  ->drawImageRectRect(*grey, RectF{3, 2, 150, 111}, whole(*grey), UnitPixel, &gamma),
              Status::Ok);
    ASSERT_EQ(viewerGraphics(want, InterpolationModeNearestNeighbor)
                  ->drawImageRectRect(*reference, RectF{3, 2, 150, 111}, whole(*grey), UnitPixel, &gamma),
              Status::Ok);
    EXPECT_EQ(got.pixels, want.pixels);
}

// The first shrinking nearest-neighbour drawing of a picture that pixman
// cannot read in place converts only the pixels it samples, in any format
// of whole-byte pixels, with and without a colour adjustment; it leaves no
// converted copy behind and draws what the 32-bit picture draws.
TEST(GraphicsNearest, ShrinkingOtherFormatsSamplesOnlyWhatItDraws) {
    const int w = 517, h = 389;
    const std::vector<ARGB> colors = spottedColors(w, h);
    const RectF all{0, 0, w, h};
    const PointDraw draws[] = {
        {InterpolationModeNearestNeighbor, PixelOffsetModeHalf, {0, 0, 200, 150}, all},
        {InterpolationModeNearestNeighbor, PixelOffsetModeNone, {3.5f, 1.25f, 97.3f, 61.9f},
         {0.5f, 3.25f, 400.75f, 301.5f}},
        {InterpolationModeNearestNeighbor, PixelOffsetModeHalf, {7, 5, 33, 280}, {100, 7, 417, 382}},
    };
    for (PixelFormat f : kConvertedFormats) {
        auto image = makeImage(w, h, f, colors);
        auto reference = inPlaceReference(*image);
        for (const PointDraw& d : draws)
            ASSERT_EQ(drawn(*image, d, 210, 300), drawn(*reference, d, 210, 300))
                << pixelFormatName(f) << " to " << d.dst.width << "x" << d.dst.height;
        EXPECT_FALSE(DrawCache::of(*image).hasConvertedCopy()) << pixelFormatName(f);
    }
    // Enlarging, or shrinking by less than half the pixels, still makes the
    // copy that later repaints read.
    auto image = makeImage(w, h, PixelFormat24bppRGB, colors);
    drawn(*image, PointDraw{InterpolationModeNearestNeighbor, PixelOffsetModeHalf, {0, 0, 400, 300}, all},
          400, 300);
    EXPECT_TRUE(DrawCache::of(*image).hasConvertedCopy());

    // A colour adjustment applies to each sampled pixel: the whole surface
    // is drawn, opaque, so each pixel is the adjusted plain drawing's.
    ImageAttributes gamma;
    ASSERT_EQ(gamma.setGamma(0.5f), Status::Ok);
    auto rgb = makeImage(w, h, PixelFormat24bppRGB, colors);
    const PointDraw fill{InterpolationModeNearestNeighbor, PixelOffsetModeHalf, {0, 0, 210, 300}, all};
    const std::vector<uint32_t> plain = drawn(*inPlaceReference(*rgb), fill, 210, 300);
    TestSurface got(210, 300);
    ASSERT_EQ(viewerGraphics(got, fill.mode, fill.offset)->drawImageRectRect(*rgb, fill.dst, all, UnitPixel, &gamma),
              Status::Ok);
    for (size_t i = 0; i < plain.size(); ++i) ASSERT_EQ(got.pixels[i], gamma.apply(plain[i])) << i;
    EXPECT_FALSE(DrawCache::of(*rgb).hasConvertedCopy());
}

// An opaque picture pixman reads as x8r8g8b8 is copied pixel for pixel by the
// nearest filter's own path; it takes the pixels pixman's filter takes from
// the same colours premultiplied (which pixman draws itself), including the
// rows an enlargement repeats, fractional placements and parts off the target.
TEST(GraphicsNearest, OpaqueCopyTakesThePixelsPixmanTakes) {
    const int w = 53, h = 41;
    const RectF all{0, 0, w, h};
    const PointDraw draws[] = {
        {InterpolationModeNearestNeighbor, PixelOffsetModeHalf, {10, 5, 64, 49}, all},
        {InterpolationModeNearestNeighbor, PixelOffsetModeHalf, {0.5f, 1.25f, 159.3f, 100.7f}, all},
        {InterpolationModeNearestNeighbor, PixelOffsetModeNone, {-7.5f, -3, 120, 90}, {3.25f, 1.5f, 40, 30}},
        {InterpolationModeNearestNeighbor, PixelOffsetModeHalf, {2, 3, 31, 17}, all},
        {InterpolationModeNearestNeighbor, PixelOffsetModeHalf, {90, 60, 400, 300}, all},
    };
    std::vector<ARGB> colors = patternColors(w, h);
    auto rgb = makeImage(w, h, PixelFormat32bppRGB, colors);
    // The unused byte of 32bppRGB pixels says nothing: the copy is opaque anyway.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) const_cast<uint8_t*>(rgb->pixels().row(y))[4 * x + 3] = static_cast<uint8_t>(x);
    auto argb = makeImage(w, h, PixelFormat32bppARGB, colors);
    auto premultiplied = makeImage(w, h, PixelFormat32bppPARGB, colors);
    for (const PointDraw& d : draws) {
        const auto want = drawn(*premultiplied, d, 130, 90);
        ASSERT_EQ(drawn(*rgb, d, 130, 90), want) << d.dst.x << "," << d.dst.y << " " << d.dst.width;
        ASSERT_EQ(drawn(*argb, d, 130, 90), want) << d.dst.x << "," << d.dst.y << " " << d.dst.width;
    }
}

// Drawing on a background gives what clearing and drawing give, whether the
// picture covers its pixels opaquely (and the filling skips them) or not.
TEST(GraphicsBackground, DrawingOnABackgroundEqualsClearingAndDrawing) {
    const int w = 37, h = 29;
    const std::vector<ARGB> opaque = patternColors(w, h);
    const std::vector<ARGB> spotted = spottedColors(w, h);
    const std::pair<PixelFormat, const std::vector<ARGB>*> pictures[] = {
        {PixelFormat24bppRGB, &opaque},  {PixelFormat32bppARGB, &opaque}, {PixelFormat32bppARGB, &spotted},
        {PixelFormat32bppPARGB, &opaque}, {PixelFormat8bppIndexed, &opaque},
    };
    const InterpolationMode modes[] = {InterpolationModeNearestNeighbor, InterpolationModeBilinear,
                                       InterpolationModeHighQualityBicubic};
    const RectF places[] = {{5, 4, 60, 40}, {-3.5f, 2.25f, 41.3f, 77.9f}, {30, 20, 200, 150}, {100, 100, 5, 5}};
    const RectF all{0, 0, w, h};
    ImageAttributes gamma;
    ASSERT_EQ(gamma.setGamma(0.7f), Status::Ok);
    const ImageAttributes* const adjustments[] = {nullptr, &gamma};
    for (const auto& [format, colors] : pictures)
        for (InterpolationMode mode : modes)
            for (const RectF& dst : places)
                for (const ImageAttributes* attributes : adjustments) {
                    auto image = makeImage(w, h, format, *colors);
                    TestSurface want(80, 60, 0x12345678), got(80, 60, 0x9abcdef0);
                    auto g = viewerGraphics(want, mode);
                    ASSERT_EQ(g->clear(0xff336699), Status::Ok);
                    ASSERT_EQ(g->drawImageRectRect(*image, dst, all, UnitPixel, attributes), Status::Ok);
                    ASSERT_EQ(viewerGraphics(got, mode)->drawImageOnBackground(*image, dst, all, 0xff336699, attributes),
                              Status::Ok);
                    ASSERT_EQ(got.pixels, want.pixels)
                        << pixelFormatName(format) << " mode " << mode << " at " << dst.x << "," << dst.y;
                }
}

// Drawings that follow one another on one target with a backdrop give what
// clearing and drawing give each time: the bands are skipped only where the
// last drawing left the same background around the same rectangle.
TEST(GraphicsBackground, ABackdropNeverLeavesAnEarlierDrawingBehind) {
    const int w = 40, h = 30;
    auto opaque = makeImage(w, h, PixelFormat24bppRGB, patternColors(w, h));
    auto spotted = makeImage(w, h, PixelFormat32bppARGB, spottedColors(w, h));
    const RectF all{0, 0, w, h};
    struct Step {
        const Image* image;
        RectF dst;
        ARGB background;
    };
    const Step steps[] = {
        {opaque.get(), {10, 5, 60, 45}, 0xff336699}, {opaque.get(), {10, 5, 60, 45}, 0xff336699},
        {opaque.get(), {12, 5, 60, 45}, 0xff336699}, {opaque.get(), {12, 5, 50, 40}, 0xff336699},
        {opaque.get(), {12, 5, 50, 40}, 0xff112233}, {spotted.get(), {12, 5, 50, 40}, 0xff112233},
        {opaque.get(), {12, 5, 50, 40}, 0xff112233}, {spotted.get(), {-5, -5, 100, 80}, 0xff112233},
        {opaque.get(), {12, 5, 50, 40}, 0xff112233},
    };
    TestSurface got(80, 60, 0x9abcdef0);
    Backdrop backdrop;
    for (size_t i = 0; i < std::size(steps); ++i) {
        const Step& s = steps[i];
        TestSurface want(80, 60);
        auto g = viewerGraphics(want, InterpolationModeNearestNeighbor);
        ASSERT_EQ(g->clear(s.background), Status::Ok);
        ASSERT_EQ(g->drawImageRectRect(*s.image, s.dst, all), Status::Ok);
        ASSERT_EQ(viewerGraphics(got, InterpolationModeNearestNeighbor)
                      ->drawImageOnBackground(*s.image, s.dst, all, s.background, nullptr, &backdrop),
                  Status::Ok);
        ASSERT_EQ(got.pixels, want.pixels) << "step " << i;
    }
}
