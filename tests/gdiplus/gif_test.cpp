// GIF decoder and encoder: composed animation frames against the expected
// frames of the GIF test suite, property items, truncation, limits, and
// round trips through the encoder.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/image.h"
#include "support/test_support.h"

using namespace orrery::gdiplus;
namespace fs = std::filesystem;

namespace {

Status decodeGif(const std::vector<uint8_t>& bytes, std::unique_ptr<Image>& out) {
    Decoded decoded;
    Status s = codecs::gifDecoder().decode(ByteSource::copyOf(bytes), DecodeOptions{}, decoded);
    if (s == Status::Ok) out = std::make_unique<Image>(std::move(decoded));
    return s;
}

uint32_t frameCount(Image& image) {
    uint32_t count = 1;
    if (image.frameCount(FrameDimension::Time, count) != Status::Ok) count = 1;
    return count;
}

std::vector<ARGB> argbOf(const Image& image) {
    const PixelData& px = image.pixels();
    std::vector<ARGB> out(static_cast<size_t>(px.width()) * px.height());
    for (int y = 0; y < px.height(); ++y)
        rowToArgb32(px.format(), px.row(y), 0, px.width(), &image.palette(),
                    out.data() + static_cast<size_t>(y) * px.width());
    return out;
}

// Same picture: equal colours where opaque, both transparent elsewhere.
size_t differences(const std::vector<ARGB>& a, const std::vector<ARGB>& b) {
    if (a.size() != b.size()) return std::max(a.size(), b.size());
    size_t n = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        bool ta = (a[i] >> 24) == 0, tb = (b[i] >> 24) == 0;
        if (ta != tb || (!ta && a[i] != b[i])) ++n;
    }
    return n;
}

std::vector<uint32_t> longsOf(const PropertyItem& item) {
    std::vector<uint32_t> v;
    for (size_t i = 0; i + 4 <= item.value.size(); i += 4)
        v.push_back(uint32_t(item.value[i]) | uint32_t(item.value[i + 1]) << 8 |
                    uint32_t(item.value[i + 2]) << 16 | uint32_t(item.value[i + 3]) << 24);
    return v;
}

// A frame for GifBuilder: a rectangle of indices into a four-colour table.
struct TestFrame {
    int left = 0, top = 0, width = 0, height = 0;
    uint8_t fill = 0;  // every pixel's index, unless `indices` is given
    std::vector<uint8_t> indices;
    int delay = 0;
    int disposal = 0;
    int transparent = NO_TRANSPARENT_COLOR;
};

int appendToVector(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// Builds a GIF89a with giflib's encoder: red, green, blue, white.
std::vector<uint8_t> buildGif(int width, int height, const std::vector<TestFrame>& frames,
                              int loopCount = -1, const char* comment = nullptr) {
    std::vector<uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendToVector, &error);
    EGifSetGifVersion(gif, true);
    GifColorType colors[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    ColorMapObject* map = GifMakeMapObject(4, colors);
    EGifPutScreenDesc(gif, width, height, 8, 3, map);
    GifFreeMapObject(map);
    if (loopCount >= 0) {
        const GifByteType loop[3] = {1, static_cast<GifByteType>(loopCount), 0};
        EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
        EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
        EGifPutExtensionBlock(gif, 3, loop);
        EGifPutExtensionTrailer(gif);
    }
    if (comment) EGifPutComment(gif, comment);
    for (const TestFrame& f : frames) {
        GraphicsControlBlock gcb{f.disposal, false, f.delay, f.transparent};
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
        EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, false, nullptr);
        std::vector<uint8_t> pixels = f.indices;
        if (pixels.empty()) pixels.assign(static_cast<size_t>(f.width) * f.height, f.fill);
        for (int y = 0; y < f.height; ++y)
            EGifPutLine(gif, pixels.data() + static_cast<size_t>(y) * f.width, f.width);
    }
    EGifCloseFile(gif, &error);
    return out;
}

bool allOpaque(const Image& image) {
    for (ARGB c : argbOf(image))
        if (c >> 24 != 0xff) return false;
    return true;
}

constexpr ARGB kRed = 0xffff0000, kGreen = 0xff00ff00, kBlue = 0xff0000ff, kWhite = 0xffffffff;

ARGB pixelAt(const Image& image, int x, int y) {
    ARGB c = 0;
    EXPECT_EQ(image.getPixel(x, y, c), Status::Ok);
    return c;
}

}  // namespace

TEST(GifTestSuite, ComposedFramesMatchTheExpectedFrames) {
    ORRERY_REQUIRE_CORPUS();
    fs::path dir = orrery::test::corpusPath("gif-test-suite/gifs");
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".gif") continue;
        std::string stem = entry.path().stem().string();
        SCOPED_TRACE(stem);
        std::unique_ptr<Image> gif;
        ASSERT_EQ(decodeGif(orrery::test::readFile(entry.path()), gif), Status::Ok);
        EXPECT_EQ(gif->rawFormat(), ImageFormat::GIF);
        const uint32_t frames = frameCount(*gif);
        for (uint32_t i = 0; i < frames; ++i) {
            fs::path expected = dir / "frames" /
                                (frames == 1 ? stem + ".png" : stem + "-" + std::to_string(i) + ".png");
            if (!fs::exists(expected)) continue;
            if (frames > 1) {
                ASSERT_EQ(gif->selectActiveFrame(FrameDimension::Time, i), Status::Ok);
            }
            std::unique_ptr<Image> reference;
            ASSERT_EQ(loadImageFromFile(expected.string(), {}, reference), Status::Ok);
            ASSERT_EQ(gif->width(), reference->width());
            EXPECT_EQ(differences(argbOf(*gif), argbOf(*reference)), 0u) << "frame " << i;
            EXPECT_TRUE(!gif->knownOpaque() || allOpaque(*gif)) << "frame " << i;
            ++compared;
        }
    }
    EXPECT_GE(compared, 46);
}

TEST(GifTestSuite, FormatsLoopCountsAndDelays) {
    ORRERY_REQUIRE_CORPUS();
    auto load = [](const char* name) {
        std::unique_ptr<Image> image;
        EXPECT_EQ(decodeGif(orrery::test::readFile(orrery::test::corpusPath(
                                std::string("gif-test-suite/gifs/") + name)),
                            image),
                  Status::Ok);
        return image;
    };
    auto still = load("static_transparent.gif");
    EXPECT_EQ(still->pixelFormat(), PixelFormat8bppIndexed);
    uint32_t count = 0;
    EXPECT_EQ(still->frameCount(FrameDimension::Time, count), Status::Ok);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(still->selectActiveFrame(FrameDimension::Time, 0), Status::Ok);
    EXPECT_EQ(still->pixelFormat(), PixelFormat8bppIndexed);
    EXPECT_NE(still->palette().flags & PaletteFlagsHasAlpha, 0u);
    PropertyItem item;
    EXPECT_EQ(still->getPropertyItem(PropertyTagIndexTransparent, item), Status::Ok);

    auto looping = load("animated_loop.gif");
    EXPECT_EQ(looping->pixelFormat(), PixelFormat32bppARGB);
    EXPECT_EQ(frameCount(*looping), 4u);
    ASSERT_EQ(looping->getPropertyItem(PropertyTagLoopCount, item), Status::Ok);
    EXPECT_EQ(item.type, PropertyTagTypeShort);
    EXPECT_EQ(item.value, (std::vector<uint8_t>{0, 0}));
    ASSERT_EQ(looping->getPropertyItem(PropertyTagFrameDelay, item), Status::Ok);
    EXPECT_EQ(longsOf(item).size(), 4u);

    auto once = load("animated_noloop.gif");
    EXPECT_EQ(once->getPropertyItem(PropertyTagLoopCount, item), Status::PropertyNotFound);

    auto variable = load("animated_loop_variable_delay.gif");
    ASSERT_EQ(variable->getPropertyItem(PropertyTagFrameDelay, item), Status::Ok);
    std::vector<uint32_t> delays = longsOf(item);
    EXPECT_EQ(delays, (std::vector<uint32_t>{100, 100, 10, 100}));
}

TEST(GifPillow, EveryFileDecodesEveryFrameOrGivesAStatus) {
    ORRERY_REQUIRE_CORPUS();
    size_t saved = pixelAllocationLimit();
    setPixelAllocationLimit(256 << 20);
    int decoded = 0;
    for (const auto& entry : fs::directory_iterator(orrery::test::corpusPath("pillow"))) {
        if (entry.path().extension() != ".gif") continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::unique_ptr<Image> gif;
        if (decodeGif(orrery::test::readFile(entry.path()), gif) != Status::Ok) continue;
        ++decoded;
        const uint32_t frames = frameCount(*gif);
        PropertyItem delays;
        ASSERT_EQ(gif->getPropertyItem(PropertyTagFrameDelay, delays), Status::Ok);
        EXPECT_EQ(longsOf(delays).size(), frames);
        for (uint32_t i = 1; i < frames; ++i) {
            EXPECT_EQ(gif->selectActiveFrame(FrameDimension::Time, i), Status::Ok);
            EXPECT_TRUE(!gif->knownOpaque() || allOpaque(*gif)) << "frame " << i;
        }
    }
    setPixelAllocationLimit(saved);
    EXPECT_GT(decoded, 30);
}

TEST(GifPillow, DisposalAndComments) {
    ORRERY_REQUIRE_CORPUS();
    auto load = [](const char* name) {
        std::unique_ptr<Image> image;
        EXPECT_EQ(decodeGif(orrery::test::readFile(orrery::test::corpusPath(
                                std::string("pillow/") + name)),
                            image),
                  Status::Ok);
        return image;
    };
    // Frames that restore to the background leave transparency behind.
    auto bgnd = load("dispose_bgnd.gif");
    ASSERT_GT(frameCount(*bgnd), 1u);
    PropertyItem item;
    auto commented = load("second_frame_comment.gif");
    EXPECT_EQ(commented->getPropertyItem(PropertyTagExifUserComment, item), Status::Ok);
    EXPECT_EQ(item.type, PropertyTagTypeASCII);
    EXPECT_EQ(item.value.back(), 0);
    auto plain = load("hopper.gif");
    EXPECT_EQ(plain->pixelFormat(), PixelFormat8bppIndexed);
    EXPECT_EQ(plain->getPropertyItem(PropertyTagGlobalPalette, item), Status::Ok);
    EXPECT_EQ(item.value.size() % 3, 0u);
}

TEST(GifAnimation, DelaysAsStoredLoopCountAndComment) {
    std::vector<TestFrame> frames = {{0, 0, 4, 4, 0, {}, 0, 0, NO_TRANSPARENT_COLOR},
                                     {0, 0, 4, 4, 1, {}, 7, 0, NO_TRANSPARENT_COLOR}};
    std::unique_ptr<Image> gif;
    ASSERT_EQ(decodeGif(buildGif(4, 4, frames, 3, "made here"), gif), Status::Ok);
    PropertyItem item;
    ASSERT_EQ(gif->getPropertyItem(PropertyTagFrameDelay, item), Status::Ok);
    EXPECT_EQ(item.type, PropertyTagTypeLong);
    EXPECT_EQ(longsOf(item), (std::vector<uint32_t>{0, 7}));
    ASSERT_EQ(gif->getPropertyItem(PropertyTagLoopCount, item), Status::Ok);
    EXPECT_EQ(item.value, (std::vector<uint8_t>{3, 0}));
    ASSERT_EQ(gif->getPropertyItem(PropertyTagExifUserComment, item), Status::Ok);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(item.value.data())), "made here");
    EXPECT_EQ(item.value.size(), 10u);
    ASSERT_EQ(gif->selectActiveFrame(FrameDimension::Time, 1), Status::Ok);
    EXPECT_EQ(gif->getPropertyItem(PropertyTagFrameDelay, item), Status::Ok);
    EXPECT_EQ(pixelAt(*gif, 0, 0), kGreen);
}

TEST(GifAnimation, DisposalModesComposeAsABrowserShowsThem) {
    // Frame 0 fills the screen red; frame 1 (disposal given) paints a green
    // square at (1,1); frame 2 paints blue at (4,4).
    auto build = [](int disposal) {
        return buildGif(6, 6, {{0, 0, 6, 6, 0, {}, 0, 1, NO_TRANSPARENT_COLOR},
                               {1, 1, 2, 2, 1, {}, 0, disposal, NO_TRANSPARENT_COLOR},
                               {4, 4, 1, 1, 2, {}, 0, 0, NO_TRANSPARENT_COLOR}});
    };
    for (int disposal : {1, 2, 3}) {
        SCOPED_TRACE(disposal);
        std::unique_ptr<Image> gif;
        ASSERT_EQ(decodeGif(build(disposal), gif), Status::Ok);
        ASSERT_EQ(gif->selectActiveFrame(FrameDimension::Time, 2), Status::Ok);
        ARGB expected = disposal == 1 ? kGreen : disposal == 2 ? 0x00000000 : kRed;
        ARGB got = pixelAt(*gif, 1, 1);
        EXPECT_EQ(disposal == 2 ? got >> 24 : got, expected);
        EXPECT_EQ(pixelAt(*gif, 4, 4), kBlue);
        EXPECT_EQ(pixelAt(*gif, 0, 0), kRed);
    }
}

TEST(GifAnimation, TransparencyOutOfBoundsFramesAndBackwardSelection) {
    std::vector<uint8_t> checker = {0, 3, 3, 0};
    auto file = buildGif(4, 4, {{0, 0, 4, 4, 2, {}, 0, 1, NO_TRANSPARENT_COLOR},
                                {0, 0, 2, 2, 0, checker, 5, 1, 3},
                                {3, 3, 4, 4, 1, {}, 5, 1, NO_TRANSPARENT_COLOR}});
    std::unique_ptr<Image> gif;
    ASSERT_EQ(decodeGif(file, gif), Status::Ok);
    ASSERT_EQ(frameCount(*gif), 3u);
    ASSERT_EQ(gif->selectActiveFrame(FrameDimension::Time, 2), Status::Ok);
    std::vector<ARGB> forward = argbOf(*gif);
    EXPECT_EQ(pixelAt(*gif, 0, 0), kRed);
    EXPECT_EQ(pixelAt(*gif, 1, 0), kBlue);  // index 3 is transparent: blue shows through
    EXPECT_EQ(pixelAt(*gif, 3, 3), kGreen);  // clipped to the screen
    PropertyItem item;
    EXPECT_EQ(gif->getPropertyItem(PropertyTagIndexTransparent, item), Status::PropertyNotFound);
    ASSERT_EQ(gif->selectActiveFrame(FrameDimension::Time, 1), Status::Ok);
    EXPECT_EQ(gif->getPropertyItem(PropertyTagIndexTransparent, item), Status::Ok);
    EXPECT_EQ(item.value, (std::vector<uint8_t>{3}));
    EXPECT_EQ(pixelAt(*gif, 3, 3), kBlue);
    ASSERT_EQ(gif->selectActiveFrame(FrameDimension::Time, 0), Status::Ok);
    ASSERT_EQ(gif->selectActiveFrame(FrameDimension::Time, 2), Status::Ok);
    EXPECT_EQ(argbOf(*gif), forward);
}

TEST(GifSingleFrame, IndexedWithItsPaletteAndTransparentOutside) {
    auto file = buildGif(6, 4, {{2, 1, 2, 2, 1, {}, 0, 0, 3}});
    std::unique_ptr<Image> gif;
    ASSERT_EQ(decodeGif(file, gif), Status::Ok);
    EXPECT_EQ(gif->pixelFormat(), PixelFormat8bppIndexed);
    ASSERT_EQ(gif->palette().entries.size(), 4u);
    EXPECT_EQ(gif->palette().entries[3] >> 24, 0u);
    EXPECT_NE(gif->flags() & ImageFlagsHasAlpha, 0u);
    EXPECT_EQ(pixelAt(*gif, 2, 1), kGreen);
    EXPECT_EQ(pixelAt(*gif, 0, 0) >> 24, 0u);
    EXPECT_EQ(gif->horizontalResolution(), 96.0f);
    PropertyItem item;
    ASSERT_EQ(gif->getPropertyItem(PropertyTagIndexBackground, item), Status::Ok);
    EXPECT_EQ(item.value, (std::vector<uint8_t>{3}));
    ASSERT_EQ(gif->getPropertyItem(PropertyTagGlobalPalette, item), Status::Ok);
    EXPECT_EQ(item.value.size(), 12u);
    // Without transparency the outside takes the background index (white).
    std::unique_ptr<Image> opaque;
    ASSERT_EQ(decodeGif(buildGif(6, 4, {{2, 1, 2, 2, 1, {}, 0, 0, NO_TRANSPARENT_COLOR}}), opaque),
              Status::Ok);
    EXPECT_EQ(pixelAt(*opaque, 0, 0), kWhite);
}

TEST(GifTruncation, FramesDecodedSoFarShow) {
    std::vector<uint8_t> rows(16 * 16);
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>((i * 7 + i / 5) % 4);
    auto file = buildGif(16, 16, {{0, 0, 16, 16, 0, rows, 0, 1, NO_TRANSPARENT_COLOR},
                                  {0, 0, 16, 16, 0, rows, 0, 1, NO_TRANSPARENT_COLOR}});
    std::unique_ptr<Image> whole;
    ASSERT_EQ(decodeGif(file, whole), Status::Ok);
    // Cut inside the second frame's data: two frames, the first complete.
    std::vector<uint8_t> cut(file.begin(), file.end() - 30);
    std::unique_ptr<Image> gif;
    ASSERT_EQ(decodeGif(cut, gif), Status::Ok);
    EXPECT_EQ(frameCount(*gif), 2u);
    EXPECT_EQ(argbOf(*gif), argbOf(*whole));
    EXPECT_EQ(gif->selectActiveFrame(FrameDimension::Time, 1), Status::Ok);

    // Cut inside the only frame: its first rows show, the rest is background.
    std::vector<uint8_t> noisy(32 * 32);
    uint32_t seed = 1;
    for (uint8_t& v : noisy) {
        seed = seed * 1103515245 + 12345;
        v = static_cast<uint8_t>((seed >> 16) % 3);
    }
    auto single = buildGif(32, 32, {{0, 0, 32, 32, 0, noisy, 0, 0, NO_TRANSPARENT_COLOR}});
    ASSERT_GT(single.size(), 200u);
    std::unique_ptr<Image> full, part;
    ASSERT_EQ(decodeGif(single, full), Status::Ok);
    std::vector<uint8_t> half(single.begin(), single.begin() + static_cast<long>(single.size()) / 2);
    ASSERT_EQ(decodeGif(half, part), Status::Ok);
    EXPECT_EQ(std::memcmp(part->pixels().row(0), full->pixels().row(0), 32), 0);
    EXPECT_EQ(pixelAt(*part, 31, 31), kWhite);

    // Cut before any pixel data: a status.
    std::vector<uint8_t> header(single.begin(), single.begin() + 20);
    EXPECT_NE(decodeGif(header, part), Status::Ok);
    std::vector<uint8_t> noPixels(single.begin(), single.begin() + 13 + 12 + 8 + 10);
    EXPECT_NE(decodeGif(noPixels, part), Status::Ok);
}

TEST(GifCorruption, EmptyAndForeignInputGiveAStatus) {
    std::unique_ptr<Image> gif;
    EXPECT_EQ(decodeGif({}, gif), Status::InvalidParameter);
    EXPECT_EQ(decodeGif({'G', 'I', 'F', '8', '9', 'a'}, gif), Status::InvalidParameter);
    std::vector<uint8_t> noFrames = buildGif(4, 4, {});
    EXPECT_EQ(decodeGif(noFrames, gif), Status::InvalidParameter);
}

TEST(GifSingleFrame, AFrameOutsideTheScreenLeavesTheBackground) {
    std::unique_ptr<Image> gif;
    ASSERT_EQ(decodeGif(buildGif(4, 4, {{10, 10, 2, 2, 1, {}, 0, 0, NO_TRANSPARENT_COLOR}}), gif),
              Status::Ok);
    EXPECT_EQ(pixelAt(*gif, 0, 0), kWhite);
}

TEST(GifLimits, ScreensAboveTheAllocationLimitAreRefused) {
    auto file = buildGif(4000, 4000, {{0, 0, 1, 1, 0, {}, 0, 0, NO_TRANSPARENT_COLOR}});
    size_t saved = pixelAllocationLimit();
    setPixelAllocationLimit(1 << 20);
    std::unique_ptr<Image> gif;
    Status s = decodeGif(file, gif);
    setPixelAllocationLimit(saved);
    EXPECT_EQ(s, Status::OutOfMemory);
}

TEST(GifEncoder, CodecInfo) {
    const CodecInfo& info = codecs::gifEncoder().info();
    EXPECT_EQ(info.clsid, CodecClsid::GIF);
    EXPECT_EQ(info.formatId, ImageFormat::GIF);
    EXPECT_EQ(info.codecName, "Built-in GIF Codec");
    EXPECT_EQ(info.formatDescription, "GIF");
    EXPECT_EQ(info.filenameExtension, "*.GIF");
    EXPECT_EQ(info.mimeType, "image/gif");
    EXPECT_EQ(info.flags, 0x10007u);
}

namespace {

std::unique_ptr<Image> saveAndLoad(const Image& image) {
    ByteSink sink;
    EXPECT_EQ(image.saveToBytes(CodecClsid::GIF, {}, sink), Status::Ok);
    std::unique_ptr<Image> back;
    EXPECT_EQ(loadImageFromBytes(ByteSource::copyOf(sink), {}, back), Status::Ok);
    return back;
}

}  // namespace

TEST(GifEncoder, IndexedImagesKeepTheirPaletteAndIndices) {
    for (PixelFormat f : {PixelFormat1bppIndexed, PixelFormat4bppIndexed, PixelFormat8bppIndexed}) {
        SCOPED_TRACE(pixelFormatName(f));
        PixelData px;
        ASSERT_EQ(PixelData::allocate(13, 7, f, px), Status::Ok);
        for (int y = 0; y < 7; ++y)
            for (size_t i = 0; i < strideFor(f, 13); ++i) px.row(y)[i] = static_cast<uint8_t>(i * 37 + y * 11);
        Palette palette;
        for (int i = 0; i < (1 << bitsPerPixel(f)) - 1; ++i)
            palette.entries.push_back(0xff000000u | static_cast<uint32_t>(i * 0x030507));
        auto image = Image::fromPixels(std::move(px), palette);
        auto back = saveAndLoad(*image);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->pixelFormat(), PixelFormat8bppIndexed);
        size_t padded = size_t{1} << std::max(1, bitsPerPixel(f));
        EXPECT_EQ(back->palette().entries.size(), padded);
        EXPECT_EQ(argbOf(*back), argbOf(*image));
    }
}

TEST(GifEncoder, IndicesPastAShortPaletteStayBlack) {
    PixelData px;
    ASSERT_EQ(PixelData::allocate(4, 1, PixelFormat8bppIndexed, px), Status::Ok);
    const uint8_t row[4] = {0, 1, 9, 200};
    std::memcpy(px.row(0), row, 4);
    auto image = Image::fromPixels(std::move(px), Palette{0, {kRed, kGreen}});
    auto back = saveAndLoad(*image);
    ASSERT_TRUE(back);
    EXPECT_EQ(argbOf(*back), (std::vector<ARGB>{kRed, kGreen, 0xff000000u, 0xff000000u}));
    EXPECT_EQ(back->palette().entries.size(), 256u);
}

TEST(GifEncoder, ColourImagesWithFewColoursAreExact) {
    PixelData px;
    ASSERT_EQ(PixelData::allocate(20, 10, PixelFormat32bppARGB, px), Status::Ok);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            reinterpret_cast<ARGB*>(px.row(y))[x] = x < 3 ? 0x10203040u : 0xff000000u | (x * 12345 + y * 77);
    auto image = Image::fromPixels(std::move(px));
    auto back = saveAndLoad(*image);
    ASSERT_TRUE(back);
    // Alpha below one half is written as the transparent index.
    std::vector<ARGB> expected = argbOf(*image);
    for (ARGB& c : expected)
        if ((c >> 24) < 128) c = 0;
    EXPECT_EQ(differences(argbOf(*back), expected), 0u);
    EXPECT_NE(back->palette().flags & PaletteFlagsHasAlpha, 0u);
}

TEST(GifEncoder, ManyColoursAreQuantisedCloselyAndDeterministically) {
    PixelData px;
    ASSERT_EQ(PixelData::allocate(64, 64, PixelFormat24bppRGB, px), Status::Ok);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = px.row(y) + 3 * x;
            p[0] = static_cast<uint8_t>(x * 4);
            p[1] = static_cast<uint8_t>(y * 4);
            p[2] = static_cast<uint8_t>((x + y) * 2);
        }
    auto image = Image::fromPixels(std::move(px));
    ByteSink first, second;
    ASSERT_EQ(image->saveToBytes(CodecClsid::GIF, {}, first), Status::Ok);
    ASSERT_EQ(image->saveToBytes(CodecClsid::GIF, {}, second), Status::Ok);
    EXPECT_EQ(first, second);
    std::unique_ptr<Image> back;
    ASSERT_EQ(loadImageFromBytes(ByteSource::copyOf(first), {}, back), Status::Ok);
    std::vector<ARGB> a = argbOf(*image), b = argbOf(*back);
    for (size_t i = 0; i < a.size(); ++i)
        for (int shift : {0, 8, 16})
            ASSERT_LE(std::abs(int((a[i] >> shift) & 0xff) - int((b[i] >> shift) & 0xff)), 26) << i;
}

TEST(GifEncoder, DelayLoopCountAndCommentAreWrittenBack) {
    std::vector<TestFrame> frames = {{0, 0, 4, 4, 0, {}, 0, 0, NO_TRANSPARENT_COLOR},
                                     {0, 0, 4, 4, 1, {}, 7, 0, NO_TRANSPARENT_COLOR}};
    std::unique_ptr<Image> gif;
    ASSERT_EQ(decodeGif(buildGif(4, 4, frames, 5, "kept"), gif), Status::Ok);
    ASSERT_EQ(gif->selectActiveFrame(FrameDimension::Time, 1), Status::Ok);
    auto back = saveAndLoad(*gif);
    ASSERT_TRUE(back);
    PropertyItem item;
    ASSERT_EQ(back->getPropertyItem(PropertyTagFrameDelay, item), Status::Ok);
    EXPECT_EQ(longsOf(item), (std::vector<uint32_t>{7}));
    ASSERT_EQ(back->getPropertyItem(PropertyTagLoopCount, item), Status::Ok);
    EXPECT_EQ(item.value, (std::vector<uint8_t>{5, 0}));
    ASSERT_EQ(back->getPropertyItem(PropertyTagExifUserComment, item), Status::Ok);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(item.value.data())), "kept");
    EXPECT_EQ(pixelAt(*back, 2, 2), kGreen);
}

// A composed frame is known to be opaque once a frame without transparency
// has filled the screen, until a disposal clears part of it again; drawing
// relies on it, and any change of the pixels withdraws it.
TEST(GifAnimation, OpacityIsKnownWhereNoPixelCanBeTransparent) {
    const TestFrame fill{0, 0, 6, 6, 0, {}, 0, 0, NO_TRANSPARENT_COLOR};
    const TestFrame fillWithHoles{0, 0, 6, 6, 0, {}, 0, 0, 0};
    // A 2 x 2 spot at (at, at).
    auto spot = [](int disposal, int at = 1, int transparent = NO_TRANSPARENT_COLOR) {
        return TestFrame{at, at, 2, 2, 1, {}, 0, disposal, transparent};
    };
    const TestFrame partial{0, 0, 6, 5, 2, {}, 0, 0, NO_TRANSPARENT_COLOR};
    struct Case {
        const char* name;
        std::vector<TestFrame> frames;
        std::vector<bool> opaque;  // per frame
    };
    const Case cases[] = {
        {"fill, spots", {fill, spot(1), spot(1, 3, 1)}, {true, true, true}},
        {"restore to background", {fill, spot(2), spot(1, 3)}, {true, true, false}},
        {"restore previous", {fill, spot(3), spot(1)}, {true, true, true}},
        {"transparent index, then a fill", {fillWithHoles, spot(1), fill}, {false, false, true}},
        {"short of the screen", {partial, spot(1), fill}, {false, false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<Image> gif;
        ASSERT_EQ(decodeGif(buildGif(6, 6, c.frames), gif), Status::Ok);
        for (uint32_t i = 0; i < c.frames.size(); ++i) {
            ASSERT_EQ(gif->selectActiveFrame(FrameDimension::Time, i), Status::Ok);
            EXPECT_EQ(gif->knownOpaque(), c.opaque[i]) << "frame " << i;
            EXPECT_EQ(allOpaque(*gif), c.opaque[i]) << "frame " << i;
        }
    }
    std::unique_ptr<Image> gif;
    ASSERT_EQ(decodeGif(buildGif(6, 6, {fill, spot(1)}), gif), Status::Ok);
    ASSERT_TRUE(gif->knownOpaque());
    ASSERT_EQ(gif->setPixel(2, 2, 0x00000000), Status::Ok);
    EXPECT_FALSE(gif->knownOpaque());
}
