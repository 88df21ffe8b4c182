#include "platform/gdiplus/image.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/gdiplus/factory.h"

using namespace orrery::gdiplus;

namespace {

// A 3x2 image whose pixels are the colours a..f, row by row.
constexpr ARGB kA = 0xFF000001, kB = 0xFF000002, kC = 0xFF000003, kD = 0xFF000004, kE = 0xFF000005,
               kF = 0xFF000006;

std::unique_ptr<Image> makeImage(int w, int h, PixelFormat f, const std::vector<ARGB>& colors) {
    std::unique_ptr<Image> image;
    EXPECT_EQ(createBitmapFromScan0(w, h, 0, f, nullptr, image), Status::Ok);
    if (!isIndexed(f)) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) image->setPixel(x, y, colors[static_cast<size_t>(y * w + x)]);
    }
    return image;
}

std::vector<ARGB> pixelsOf(const Image& image) {
    std::vector<ARGB> out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            ARGB c = 0;
            image.getPixel(x, y, c);
            out.push_back(c);
        }
    return out;
}

// Writes indices through a lock in the image's own indexed format.
void writeIndices(Image& image, const std::vector<uint8_t>& indices) {
    BitmapData data;
    ASSERT_EQ(image.lockBits(nullptr, ImageLockModeWrite, PixelFormat8bppIndexed, data), Status::Ok);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            data.scan0[y * data.stride + x] = indices[static_cast<size_t>(y * image.width() + x)];
    ASSERT_EQ(image.unlockBits(data), Status::Ok);
}

class FixedFrames final : public FrameSource {
public:
    explicit FixedFrames(std::vector<ARGB> colors) : colors_(std::move(colors)) {}
    Guid dimension() const override { return FrameDimension::Time; }
    uint32_t count() const override { return static_cast<uint32_t>(colors_.size()); }
    Status decode(uint32_t index, Frame& out) override {
        if (index == failAt) return Status::OutOfMemory;
        Status s = PixelData::allocate(2, 2, PixelFormat32bppARGB, out.pixels);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x) reinterpret_cast<ARGB*>(out.pixels.row(y))[x] = colors_[index];
        out.properties = {PropertyItem::fromLongs(PropertyTagFrameDelay, {index})};
        return s;
    }
    uint32_t failAt = 99;

private:
    std::vector<ARGB> colors_;
};

}  // namespace

TEST(ImageRotateFlip, AllEightTypesMoveThePixelsAsThePlatformDoes) {
    const std::vector<ARGB> src = {kA, kB, kC, kD, kE, kF};
    struct Case {
        RotateFlipType type;
        int w, h;
        std::vector<ARGB> expected;
    } cases[] = {
        {RotateNoneFlipNone, 3, 2, {kA, kB, kC, kD, kE, kF}},
        {Rotate90FlipNone, 2, 3, {kD, kA, kE, kB, kF, kC}},
        {Rotate180FlipNone, 3, 2, {kF, kE, kD, kC, kB, kA}},
        {Rotate270FlipNone, 2, 3, {kC, kF, kB, kE, kA, kD}},
        {RotateNoneFlipX, 3, 2, {kC, kB, kA, kF, kE, kD}},
        {Rotate90FlipX, 2, 3, {kA, kD, kB, kE, kC, kF}},
        {Rotate180FlipX, 3, 2, {kD, kE, kF, kA, kB, kC}},
        {Rotate270FlipX, 2, 3, {kF, kC, kE, kB, kD, kA}},
    };
    for (PixelFormat f : {PixelFormat32bppARGB, PixelFormat24bppRGB, PixelFormat64bppARGB}) {
        for (const Case& c : cases) {
            auto image = makeImage(3, 2, f, src);
            image->setResolution(72, 144);
            ASSERT_EQ(image->rotateFlip(c.type), Status::Ok);
            EXPECT_EQ(image->width(), c.w);
            EXPECT_EQ(image->height(), c.h);
            EXPECT_EQ(pixelsOf(*image), c.expected) << "type " << c.type << " " << pixelFormatName(f);
            EXPECT_EQ(image->horizontalResolution(), c.w == 3 ? 72 : 144);
        }
    }
    auto image = makeImage(3, 2, PixelFormat24bppRGB, src);
    EXPECT_EQ(image->rotateFlip(static_cast<RotateFlipType>(8)), Status::InvalidParameter);
}

TEST(ImageRotateFlip, SubByteFormatsMatchTheirColourResult) {
    // A 5x3 1 bpp image with an irregular pattern: every rotation of the
    // indices equals the rotation of the same image converted to 32 bits.
    for (PixelFormat f : {PixelFormat1bppIndexed, PixelFormat4bppIndexed}) {
        for (int t = 0; t < 8; ++t) {
            std::unique_ptr<Image> indexed;
            ASSERT_EQ(createBitmapFromScan0(5, 3, 0, f, nullptr, indexed), Status::Ok);
            std::vector<uint8_t> idx = {1, 0, 0, 1, 1, 0, 1, 0, 0, 1, 1, 1, 0, 1, 0};
            if (f == PixelFormat4bppIndexed)
                for (size_t i = 0; i < idx.size(); ++i) idx[i] = static_cast<uint8_t>((i * 7) % 16);
            writeIndices(*indexed, idx);
            std::unique_ptr<Image> wide;
            ASSERT_EQ(indexed->cloneArea({0, 0, 5, 3}, PixelFormat32bppARGB, wide), Status::Ok);
            ASSERT_EQ(indexed->rotateFlip(static_cast<RotateFlipType>(t)), Status::Ok);
            ASSERT_EQ(wide->rotateFlip(static_cast<RotateFlipType>(t)), Status::Ok);
            EXPECT_EQ(pixelsOf(*indexed), pixelsOf(*wide)) << pixelFormatName(f) << " type " << t;
        }
    }
}

namespace {

// Peak resident memory since the last reset, in bytes; the reset is the
// kernel's (clear_refs 5). -1 when the system does not say.
long long residentPeak() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long long kb = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmHWM: %lld kB", &kb) == 1) break;
    std::fclose(f);
    return kb < 0 ? -1 : kb * 1024;
}

bool resetResidentPeak() {
    std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    const bool written = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && written;
}

}  // namespace

// A tall picture whose turned rows span many pages: every type moves every
// pixel where the small cases say, across the tiles and bands the turn works
// in, and the source is given back as the new picture grows, so the turn
// never holds both whole.
TEST(ImageRotateFlip, LargePicturesTurnInBandsHeldAboutOnce) {
    const int w = 700, h = 6000;  // 16.8 MB at 32 bits, turned rows of 24,000 bytes
    auto value = [](int x, int y) { return 0xff000000u | static_cast<uint32_t>(x) << 12 | static_cast<uint32_t>(y); };
    for (int t = 1; t < 8; ++t) {
        SCOPED_TRACE(t);
        std::unique_ptr<Image> image;
        ASSERT_EQ(createBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, image), Status::Ok);
        BitmapData data;
        ASSERT_EQ(image->lockBits(nullptr, ImageLockModeWrite, PixelFormat32bppARGB, data), Status::Ok);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) reinterpret_cast<uint32_t*>(data.scan0 + y * data.stride)[x] = value(x, y);
        ASSERT_EQ(image->unlockBits(data), Status::Ok);
        const bool measured = resetResidentPeak();
        const long long before = residentPeak();
        ASSERT_EQ(image->rotateFlip(static_cast<RotateFlipType>(t)), Status::Ok);
        if (measured && before > 0) {
            EXPECT_LT(residentPeak() - before, int64_t{w} * h * 4 / 2) << "the turn held both pictures";
        }
        // The 3 x 2 table's rule: where corner pixels and neighbours go.
        const bool quarter = t & 1;
        const int nw = quarter ? h : w, nh = quarter ? w : h;
        ASSERT_EQ(image->width(), nw);
        for (int y = 0; y < nh; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(image->pixels().row(y));
            for (int x = 0; x < nw; ++x) {
                const int xr = (t & 4) ? nw - 1 - x : x;
                int sx = 0, sy = 0;
                switch (t & 3) {
                    case 0: sx = xr, sy = y; break;
                    case 1: sx = y, sy = h - 1 - xr; break;
                    case 2: sx = w - 1 - xr, sy = h - 1 - y; break;
                    default: sx = w - 1 - y, sy = xr; break;
                }
                ASSERT_EQ(row[x], value(sx, sy)) << x << "," << y;
            }
        }
    }
}

TEST(ImageLockBits, OwnFormatLocksInPlaceOthersConvert) {
    auto image = makeImage(3, 2, PixelFormat24bppRGB, {kA, kB, kC, kD, kE, kF});
    BitmapData data;
    Rect r{1, 1, 2, 1};
    ASSERT_EQ(image->lockBits(&r, ImageLockModeRead, PixelFormat24bppRGB, data), Status::Ok);
    EXPECT_EQ(data.scan0, image->pixels().row(1) + 3);
    BitmapData again;
    EXPECT_EQ(image->lockBits(nullptr, ImageLockModeRead, PixelFormat24bppRGB, again), Status::WrongState);
    ASSERT_EQ(image->unlockBits(data), Status::Ok);
    EXPECT_EQ(image->unlockBits(data), Status::WrongState);

    // Write through a converted lock: the pixels change on unlock only.
    const uint64_t before = image->generation();
    ASSERT_EQ(image->lockBits(&r, ImageLockModeRead | ImageLockModeWrite, PixelFormat32bppARGB, data), Status::Ok);
    EXPECT_EQ(reinterpret_cast<ARGB*>(data.scan0)[0], kE);
    reinterpret_cast<ARGB*>(data.scan0)[1] = 0xFF123456;
    ASSERT_EQ(image->unlockBits(data), Status::Ok);
    EXPECT_EQ(pixelsOf(*image)[5], 0xFF123456u);
    EXPECT_NE(image->generation(), before);

    Rect outside{2, 0, 2, 1};
    EXPECT_EQ(image->lockBits(&outside, ImageLockModeRead, PixelFormat24bppRGB, data), Status::InvalidParameter);
    EXPECT_EQ(image->lockBits(nullptr, ImageLockModeRead, PixelFormat8bppIndexed, data), Status::InvalidParameter);
}

TEST(ImageLockBits, UserBufferReceivesConvertedPixels) {
    auto image = makeImage(2, 1, PixelFormat32bppARGB, {0x80FF0000, kB});
    std::vector<ARGB> buffer(2, 0);
    BitmapData data;
    data.scan0 = reinterpret_cast<uint8_t*>(buffer.data());
    data.stride = 8;
    ASSERT_EQ(image->lockBits(nullptr, ImageLockModeRead | ImageLockModeUserInputBuf, PixelFormat32bppPARGB, data),
              Status::Ok);
    ASSERT_EQ(image->unlockBits(data), Status::Ok);
    EXPECT_EQ(buffer[0], 0x80800000u);
    EXPECT_EQ(buffer[1], kB);
}

TEST(ImageClone, AreaInAnotherFormatAndBounds) {
    auto image = makeImage(3, 2, PixelFormat32bppARGB, {kA, kB, kC, kD, kE, kF});
    std::unique_ptr<Image> part;
    ASSERT_EQ(image->cloneArea({1, 0, 2, 2}, PixelFormat24bppRGB, part), Status::Ok);
    EXPECT_EQ(part->pixelFormat(), PixelFormat24bppRGB);
    EXPECT_EQ(pixelsOf(*part), (std::vector<ARGB>{kB, kC, kE, kF}));
    EXPECT_EQ(part->rawFormat(), ImageFormat::MemoryBMP);
    EXPECT_EQ(image->cloneArea({2, 0, 2, 2}, PixelFormat24bppRGB, part), Status::InvalidParameter);
    EXPECT_EQ(image->cloneArea({0, 0, 0, 1}, PixelFormat24bppRGB, part), Status::InvalidParameter);

    std::unique_ptr<Image> copy;
    image->setPropertyItem(PropertyItem::fromAscii(0x010F, "maker"));
    ASSERT_EQ(image->clone(copy), Status::Ok);
    image->setPixel(0, 0, 0xFFFFFFFF);
    EXPECT_EQ(pixelsOf(*copy)[0], kA);
    EXPECT_EQ(copy->propertyCount(), 1u);
}

TEST(ImageThumbnail, AveragesAreas) {
    // A black and white checkerboard of 4x4 averages to mid grey at 2x2.
    std::vector<ARGB> checker;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) checker.push_back(((x + y) & 1) ? 0xFFFFFFFF : 0xFF000000);
    auto image = makeImage(4, 4, PixelFormat24bppRGB, checker);
    std::unique_ptr<Image> thumb;
    ASSERT_EQ(image->thumbnail(2, 2, thumb), Status::Ok);
    EXPECT_EQ(thumb->pixelFormat(), PixelFormat32bppPARGB);
    for (ARGB c : pixelsOf(*thumb)) EXPECT_EQ(c, 0xFF808080u);
    ASSERT_EQ(image->thumbnail(0, 0, thumb), Status::Ok);
    EXPECT_EQ(thumb->width(), 120);
    EXPECT_EQ(image->thumbnail(0, 5, thumb), Status::InvalidParameter);
}

TEST(ImageProperties, SetGetRemoveAndSizes) {
    auto image = makeImage(1, 1, PixelFormat24bppRGB, {kA});
    EXPECT_EQ(image->propertyCount(), 0u);
    PropertyItem item;
    EXPECT_EQ(image->getPropertyItem(0x010F, item), Status::PropertyNotFound);
    ASSERT_EQ(image->setPropertyItem(PropertyItem::fromAscii(0x010F, "abc")), Status::Ok);
    ASSERT_EQ(image->setPropertyItem(PropertyItem::fromLongs(PropertyTagFrameDelay, {10, 20})), Status::Ok);
    ASSERT_EQ(image->setPropertyItem(PropertyItem::fromAscii(0x010F, "abcd")), Status::Ok);
    EXPECT_EQ(image->propertyIdList(), (std::vector<uint32_t>{0x010F, PropertyTagFrameDelay}));
    uint32_t size = 0;
    ASSERT_EQ(image->propertyItemSize(0x010F, size), Status::Ok);
    EXPECT_EQ(size, 16u + 5u);
    ASSERT_EQ(image->getPropertyItem(PropertyTagFrameDelay, item), Status::Ok);
    EXPECT_EQ(item.type, PropertyTagTypeLong);
    EXPECT_EQ(item.value, (std::vector<uint8_t>{10, 0, 0, 0, 20, 0, 0, 0}));
    EXPECT_EQ(image->removePropertyItem(0x010F), Status::Ok);
    EXPECT_EQ(image->removePropertyItem(0x010F), Status::PropertyNotFound);
    EXPECT_EQ(image->propertyCount(), 1u);
}

TEST(ImageFrames, SelectionDecodesAndKeepsTheOldFrameOnFailure) {
    Decoded d;
    d.rawFormat = ImageFormat::GIF;
    auto source = std::make_unique<FixedFrames>(std::vector<ARGB>{0xFF0000FF, 0xFF00FF00, 0xFFFF0000});
    FixedFrames* frames = source.get();
    ASSERT_EQ(source->decode(0, d.frame), Status::Ok);
    d.frames = std::move(source);
    Image image(std::move(d));
    EXPECT_EQ(image.frameDimensions(), std::vector<Guid>{FrameDimension::Time});
    uint32_t count = 0;
    ASSERT_EQ(image.frameCount(FrameDimension::Time, count), Status::Ok);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(image.frameCount(FrameDimension::Page, count), Status::InvalidParameter);
    ASSERT_EQ(image.selectActiveFrame(FrameDimension::Time, 2), Status::Ok);
    EXPECT_EQ(pixelsOf(image)[0], 0xFFFF0000u);
    EXPECT_EQ(image.activeFrame(), 2u);
    EXPECT_EQ(image.selectActiveFrame(FrameDimension::Time, 3), Status::InvalidParameter);
    frames->failAt = 1;
    EXPECT_EQ(image.selectActiveFrame(FrameDimension::Time, 1), Status::OutOfMemory);
    EXPECT_EQ(pixelsOf(image)[0], 0xFFFF0000u);
    EXPECT_EQ(image.activeFrame(), 2u);
}

TEST(ImageCreate, Scan0WrapsCallerMemoryWithItsStride) {
    // Bottom-up rows through a negative stride, as a DIB lays them out.
    std::vector<uint8_t> memory(2 * 8, 0);
    memory[8] = 0x11;  // first byte of the last row in memory = top row
    std::unique_ptr<Image> image;
    ASSERT_EQ(createBitmapFromScan0(2, 2, -8, PixelFormat24bppRGB, memory.data() + 8, image), Status::Ok);
    ARGB c;
    image->getPixel(0, 0, c);
    EXPECT_EQ(c, 0xFF000011u);
    EXPECT_EQ(image->bytesHeld(), 0u);
    EXPECT_EQ(createBitmapFromScan0(2, 2, 6, PixelFormat24bppRGB, memory.data(), image), Status::InvalidParameter);
    EXPECT_EQ(createBitmapFromScan0(0, 2, 0, PixelFormat24bppRGB, nullptr, image), Status::InvalidParameter);
    EXPECT_EQ(createBitmapFromScan0(2, 2, 0, static_cast<PixelFormat>(7), nullptr, image), Status::InvalidParameter);
    ASSERT_EQ(createBitmapFromScan0(3, 1, 0, PixelFormat8bppIndexed, nullptr, image), Status::Ok);
    EXPECT_EQ(image->palette().entries.size(), 256u);
}

TEST(ImageCreate, BuffersAboveTheLimitAreRefusedBeforeAllocation) {
    const size_t saved = pixelAllocationLimit();
    setPixelAllocationLimit(1 << 20);
    std::unique_ptr<Image> image;
    EXPECT_EQ(createBitmapFromScan0(1024, 1024, 0, PixelFormat32bppARGB, nullptr, image), Status::OutOfMemory);
    EXPECT_EQ(createBitmapFromScan0(512, 512, 0, PixelFormat32bppARGB, nullptr, image), Status::Ok);
    EXPECT_FALSE(fitsAllocationLimit(1 << 30, 1 << 30, PixelFormat64bppARGB));
    setPixelAllocationLimit(saved);
}

TEST(ImageMisc, ResolutionPaletteAndValidation) {
    auto image = makeImage(1, 1, PixelFormat24bppRGB, {kA});
    EXPECT_EQ(image->horizontalResolution(), 96.0f);
    EXPECT_EQ(image->setResolution(0, 10), Status::InvalidParameter);
    EXPECT_EQ(image->setResolution(300, 150), Status::Ok);
    EXPECT_EQ(image->verticalResolution(), 150.0f);
    EXPECT_EQ(image->forceValidation(), Status::Ok);
    EXPECT_EQ(image->setPalette(defaultPalette(PixelFormat1bppIndexed)), Status::InvalidParameter);

    std::unique_ptr<Image> indexed;
    ASSERT_EQ(createBitmapFromScan0(2, 1, 0, PixelFormat1bppIndexed, nullptr, indexed), Status::Ok);
    Palette alpha;
    alpha.entries = {0x00000000, 0xFFFF0000};
    ASSERT_EQ(indexed->setPalette(alpha), Status::Ok);
    EXPECT_TRUE(indexed->flags() & ImageFlagsHasAlpha);
    alpha.entries.push_back(0);
    EXPECT_EQ(indexed->setPalette(alpha), Status::InvalidParameter);
    EXPECT_EQ(indexed->setPixel(0, 0, 0xFF000000), Status::InvalidParameter);
}
