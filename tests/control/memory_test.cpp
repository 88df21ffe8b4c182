// Pictures to and from memory, handles and the clipboard, driven through the
// dispatch interface and the C++ members as hosts drive them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>

#include "control/orrery.h"
#include "imaging/image_table.h"
#include "platform/gdi/handles.h"
#include "imaging/image_info.h"
#include "platform/automation/picture.h"
#include "platform/automation/stream_object.h"
#include "platform/gdiplus/dib.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/control_maker.h"
#include "support/dib_builder.h"
#include "support/global_blocks.h"
#include "support/frame_builders.h"
#include "support/metafile_builder.h"
#include "support/test_support.h"

using namespace orrery;
using namespace orrery::automation;
using window::HeadlessBackend;
namespace modMain = imaging::modMain;
using orrery::test::globalOf;

namespace {

const bool kNoPlugin = [] { return setenv("ORRERY_CODEC_PLUGIN", "none", 1) == 0; }();

// A 4 x 3 24-bit picture whose pixel (x, y) is 0xRRGGBB with R = 40x, G = 50y, B = 7.
constexpr int kWidth = 4, kHeight = 3;
gdiplus::ARGB patternPixel(int x, int y) {
    return 0xFF000000u | uint32_t(40 * x) << 16 | uint32_t(50 * y) << 8 | 7u;
}
std::vector<uint8_t> patternBmp() {
    orrery::test::DibLayout layout;
    layout.width = kWidth;
    layout.height = kHeight;
    const uint32_t stride = orrery::test::dibStride(kWidth, 24);
    layout.bits.assign(stride * kHeight, 0);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = &layout.bits[(kHeight - 1 - y) * stride + 3 * x];  // bottom-up
            gdiplus::ARGB c = patternPixel(x, y);
            p[0] = c & 0xff;
            p[1] = (c >> 8) & 0xff;
            p[2] = (c >> 16) & 0xff;
        }
    return orrery::test::bmpFile(layout);
}

// The packed DIB of a BMP file: the file without its 14-byte header.
std::vector<uint8_t> packedPattern() {
    std::vector<uint8_t> bmp = patternBmp();
    return {bmp.begin() + 14, bmp.end()};
}

// Files in the process's private temporary folder.
size_t temporaryFileCount() {
    const std::string folder = imaging::GetPrivateTempFolder();
    if (folder.empty() || !std::filesystem::exists(folder)) return 0;
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) n += entry.is_regular_file();
    return n;
}

// An automation object that is no stream.
class PlainObject final : public IDispatch {
public:
    HRESULT GetIDsOfNames(std::string_view, DISPID&) override { return DISP_E_UNKNOWNNAME; }
    HRESULT Invoke(DISPID, uint16_t, std::span<Variant>, Variant*, ExcepInfo*, uint32_t*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
};

class MemoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kNoPlugin);
        control = test::makeControl(backend);
        control->InitProperties();
        control->controlWindow().setWindowSize(104, 84);
        bitmapsBefore = gdi::liveBitmapCount();
    }
    void TearDown() override {
        backend.clipboard().empty();
        control.reset();
        EXPECT_EQ(modMain::LiveEntryCount(), 0u);
        EXPECT_EQ(gdi::liveBitmapCount(), bitmapsBefore);
        EXPECT_EQ(gdi::liveGlobalCount(), 0u);
        EXPECT_EQ(temporaryFileCount(), 0u);
    }

    int32_t call(const char* name, std::vector<Variant> args = {}) {
        Variant result;
        EXPECT_EQ(invokeByName(*control, name, DISPATCH_METHOD, args, &result), S_OK) << name;
        return result.isEmpty() ? 0 : result.i4();
    }
    void showPattern() {
        const std::string path = files.file("pattern.bmp").string();
        orrery::test::writeFile(path, patternBmp());
        ASSERT_EQ(control->DisplayFromFile(path), 0);
    }
    // The picture on the clipboard as a bitmap; null when there is none.
    std::unique_ptr<gdiplus::Image> clipboardPicture() {
        uint32_t h = backend.clipboard().getData(window::CF_BITMAP);
        if (!h) return nullptr;
        std::unique_ptr<gdiplus::Image> image;
        EXPECT_EQ(gdiplus::createBitmapFromHBITMAP(h, image), gdiplus::Status::Ok);
        gdi::deleteBitmap(h);
        return image;
    }
    const gdiplus::Image& shown() {
        const gdiplus::Image* image = modMain::GetGdiImage(control->GetNativeImage());
        EXPECT_NE(image, nullptr);
        static const gdiplus::Image none;
        return image ? *image : none;
    }
    // The colour of pixel (x, y) of the picture shown.
    gdiplus::ARGB shownPixel(int x, int y) {
        gdiplus::ARGB c = 0;
        EXPECT_EQ(shown().getPixel(x, y, c), gdiplus::Status::Ok);
        return c;
    }
    // Whether `image` shows the pattern's pixels from (left, top) on.
    void expectPatternFrom(const gdiplus::Image& image, int left, int top) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                gdiplus::ARGB c = 0;
                image.getPixel(x, y, c);
                EXPECT_EQ(c, patternPixel(left + x, top + y)) << x << "," << y;
            }
    }

    orrery::test::TempDir files;
    HeadlessBackend backend;
    std::unique_ptr<control::Orrery> control;
    size_t bitmapsBefore = 0;
};

}  // namespace

TEST_F(MemoryTest, Copy2ClipboardPutsTheShownPictureThereAsABitmapAndKeepsTheStatus) {
    showPattern();
    // Something else on the clipboard is replaced, not added to.
    gdi::HGLOBAL other = gdi::globalAlloc(4);
    ASSERT_TRUE(backend.clipboard().setData(0xC100, other));
    control->SetZoom(333.0f);  // drawn larger; the copy keeps the image's own size
    const int32_t status = control->GetStat();
    call("Copy2Clipboard");
    EXPECT_EQ(control->GetStat(), status);
    EXPECT_EQ(backend.clipboard().formats(),
              (std::vector<uint32_t>{window::CF_BITMAP, window::CF_DIB, window::CF_DIBV5}));
    auto copy = clipboardPicture();
    ASSERT_TRUE(copy);
    ASSERT_EQ(copy->width(), kWidth);
    ASSERT_EQ(copy->height(), kHeight);
    expectPatternFrom(*copy, 0, 0);
}

TEST_F(MemoryTest, CopyRegion2ClipboardCopiesTheRectangleInImagePixels) {
    showPattern();
    control->CopyRegion2Clipboard(1, 1, 2, 2);
    EXPECT_EQ(control->GetStat(), 0);
    auto copy = clipboardPicture();
    ASSERT_TRUE(copy);
    ASSERT_EQ(copy->width(), 2);
    ASSERT_EQ(copy->height(), 2);
    expectPatternFrom(*copy, 1, 1);

    // Through dispatch, a rectangle reaching past the image fails and leaves
    // the last copy where it was.
    call("CopyRegion2Clipboard", {Variant(int32_t{3}), Variant(int32_t{0}), Variant(int32_t{2}), Variant(int32_t{1})});
    EXPECT_EQ(control->GetStat(), static_cast<int32_t>(gdiplus::Status::InvalidParameter));
    copy = clipboardPicture();
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->width(), 2);
    call("CopyRegion2Clipboard", {Variant(int32_t{0}), Variant(int32_t{2}), Variant(int32_t{4}), Variant(int32_t{1})});
    EXPECT_EQ(control->GetStat(), 0);
    copy = clipboardPicture();
    ASSERT_TRUE(copy);
    expectPatternFrom(*copy, 0, 2);
}

TEST_F(MemoryTest, WithoutAPictureNothingIsCopied) {
    gdi::HGLOBAL other = gdi::globalAlloc(4);
    ASSERT_TRUE(backend.clipboard().setData(0xC100, other));
    control->Copy2Clipboard();
    EXPECT_EQ(control->GetStat(), 0);
    control->CopyRegion2Clipboard(0, 0, 1, 1);
    EXPECT_EQ(control->GetStat(), static_cast<int32_t>(gdiplus::Status::GenericError));
    EXPECT_EQ(backend.clipboard().formats(), std::vector<uint32_t>{0xC100});
    // After the picture is closed, too.
    showPattern();
    control->CloseImage();
    control->CopyRegion2Clipboard(0, 0, 1, 1);
    EXPECT_EQ(control->GetStat(), static_cast<int32_t>(gdiplus::Status::GenericError));
    EXPECT_EQ(backend.clipboard().formats(), std::vector<uint32_t>{0xC100});
}

TEST_F(MemoryTest, HandlesAreCopiedAndStayWithTheCaller) {
    std::unique_ptr<gdiplus::Image> pattern;
    ASSERT_EQ(gdiplus::createBitmapFromPackedDib(packedPattern(), pattern), gdiplus::Status::Ok);
    gdi::HBITMAP bitmap = 0;
    ASSERT_EQ(gdiplus::createHBITMAPFromBitmap(*pattern, 0, bitmap), gdiplus::Status::Ok);
    ASSERT_EQ(call("DisplayFromHBitmap", {Variant(static_cast<int32_t>(bitmap))}), 0);
    EXPECT_EQ(control->ImageWidth(), kWidth);
    EXPECT_EQ(control->GetDocumentType(), 1);
    ASSERT_TRUE(gdi::deleteBitmap(bitmap));  // the picture does not need it
    expectPatternFrom(shown(), 0, 0);
    EXPECT_EQ(modMain::FindEntry(control->GetNativeImage())->SourceKind, imaging::SourceHBitmap);

    gdi::HICON icon = 0;
    ASSERT_EQ(gdiplus::createHICONFromBitmap(*pattern, icon), gdiplus::Status::Ok);
    ASSERT_EQ(control->DisplayFromHICON(static_cast<int32_t>(icon)), 0);
    ASSERT_TRUE(gdi::destroyIcon(icon));
    expectPatternFrom(shown(), 0, 0);
    EXPECT_EQ(modMain::FindEntry(control->GetNativeImage())->SourceKind, imaging::SourceHIcon);
    control->CloseImage();

    // Handles of nothing, or of the wrong kind.
    const int32_t invalid = static_cast<int32_t>(gdiplus::Status::InvalidParameter);
    EXPECT_EQ(control->DisplayFromHBitmap(0), invalid);
    gdi::HGLOBAL block = globalOf({1, 2});
    EXPECT_EQ(control->DisplayFromHBitmap(static_cast<int32_t>(block)), invalid);
    EXPECT_EQ(control->DisplayFromHICON(static_cast<int32_t>(block)), invalid);
    EXPECT_EQ(control->DisplayFromHICON(-5), invalid);
    EXPECT_EQ(control->GetStat(), invalid);
    EXPECT_EQ(control->GetNativeImage(), 0);
    gdi::globalFree(block);
}

TEST_F(MemoryTest, GdiDibTakesItsBitsFromWhereTheHeaderPutsThem) {
    // Two colours used: the bits follow a table of two entries, not 256.
    orrery::test::DibLayout layout;
    layout.width = 2;
    layout.height = 1;
    layout.bitCount = 8;
    layout.colorsUsed = 2;
    layout.palette = {0x0000FF, 0xFF0000};
    layout.bits = {1, 0, 0, 0};
    layout.xPelsPerMeter = 2835;  // 72.009 dots per inch
    layout.yPelsPerMeter = 5906;  // 150.012
    gdi::HGLOBAL block = globalOf(orrery::test::packedDib(layout));
    ASSERT_EQ(call("DisplayFromGdiDib", {Variant(static_cast<int32_t>(block))}), 0);
    ASSERT_TRUE(gdi::globalFree(block));  // the pixels were copied
    EXPECT_EQ(shownPixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(shownPixel(1, 0), 0xFF0000FFu);
    EXPECT_FLOAT_EQ(control->HorizontalResolution(), 72.009f);
    EXPECT_FLOAT_EQ(control->VerticalResolution(), 150.012f);

    // Blocks too small for what their header announces, and no block.
    const int32_t invalid = static_cast<int32_t>(gdiplus::Status::InvalidParameter);
    std::vector<uint8_t> dib = orrery::test::packedDib(layout);
    dib.pop_back();
    block = globalOf(dib);
    EXPECT_EQ(control->DisplayFromGdiDib(static_cast<int32_t>(block)), invalid);
    gdi::globalFree(block);
    block = globalOf(std::vector<uint8_t>(dib.begin(), dib.begin() + 30));
    EXPECT_EQ(control->DisplayFromGdiDib(static_cast<int32_t>(block)), invalid);
    gdi::globalFree(block);
    EXPECT_EQ(control->DisplayFromGdiDib(0), invalid);
    block = gdi::globalAlloc(0);  // cannot be locked
    EXPECT_EQ(control->DisplayFromGdiDib(static_cast<int32_t>(block)), static_cast<int32_t>(gdiplus::Status::GenericError));
    gdi::globalFree(block);
    EXPECT_EQ(modMain::LiveEntryCount(), 0u);
}

TEST_F(MemoryTest, OneBitDibsWithWhiteFirstLookTheSameWithBlackFirst) {
    orrery::test::DibLayout layout;
    layout.width = 3;
    layout.height = 1;
    layout.bitCount = 1;
    layout.bits = {0b01000000, 0, 0, 0};  // white, black, white
    for (auto [palette, swapped] : {std::pair{std::vector<uint32_t>{0xFFFFFF, 0x000000}, true},
                                    std::pair{std::vector<uint32_t>{0xFFFFFF, 0x808080}, false},
                                    std::pair{std::vector<uint32_t>{0x000000, 0xFFFFFF}, false}}) {
        SCOPED_TRACE(swapped);
        layout.palette = palette;
        gdi::HGLOBAL block = globalOf(orrery::test::packedDib(layout));
        ASSERT_EQ(control->DisplayFromGdiDib(static_cast<int32_t>(block)), 0);
        gdi::globalFree(block);
        const gdiplus::Image& image = shown();
        EXPECT_EQ(image.pixelFormat(), gdiplus::PixelFormat1bppIndexed);
        EXPECT_EQ(image.palette().entries.at(0), swapped ? 0xFF000000u : 0xFF000000u | palette[0]);
        for (int x = 0; x < 3; ++x) {
            gdiplus::ARGB c = 0;
            image.getPixel(x, 0, c);
            EXPECT_EQ(c, 0xFF000000u | palette[x == 1 ? 1 : 0]) << x;
        }
    }
}

TEST_F(MemoryTest, GetHBitmapGivesTheCallerAHandleThatDeleteHBitmapTakesBack) {
    EXPECT_EQ(call("GetHBitmap"), 0);
    EXPECT_NE(control->GetStat(), 0);
    showPattern();
    const int32_t handle = call("GetHBitmap");
    ASSERT_NE(handle, 0);
    EXPECT_EQ(control->GetStat(), 0);
    EXPECT_EQ(gdi::liveBitmapCount(), bitmapsBefore + 1);
    // A second control shows it as the first does.
    HeadlessBackend otherBackend;
    control::Orrery other(otherBackend);
    ASSERT_EQ(other.DisplayFromHBitmap(handle), 0);
    expectPatternFrom(*modMain::GetGdiImage(other.GetNativeImage()), 0, 0);
    call("DeleteHBitmap", {Variant(handle)});
    EXPECT_EQ(gdi::liveBitmapCount(), bitmapsBefore);
    EXPECT_EQ(gdi::bitmap(static_cast<gdi::HBITMAP>(handle)), nullptr);
}

TEST_F(MemoryTest, ByteArraysGoThroughOneTemporaryFileThatLivesWithTheDisplay) {
    ByteArray bytes{5, patternBmp()};  // any lower bound
    std::vector<Variant> args{Variant::byRef(&bytes)};
    for (int i = 0; i < 100; ++i) {
        Variant result;
        ASSERT_EQ(invokeByName(*control, i % 2 ? "DisplayFromByteArrayICM" : "DisplayFromByteArray",
                               DISPATCH_METHOD, args, &result),
                  S_OK);
        ASSERT_EQ(result.i4(), 0);
        ASSERT_LE(temporaryFileCount(), 1u);
    }
    EXPECT_EQ(temporaryFileCount(), 1u);
    EXPECT_EQ(modMain::LiveEntryCount(), 1u);
    expectPatternFrom(shown(), 0, 0);
    EXPECT_EQ(control->GetImageFormat(), "BMP");
    control->CloseImage();
    EXPECT_EQ(temporaryFileCount(), 0u);

    // Bytes no decoder reads leave no file and no entry.
    ByteArray junk{0, {'n', 'o', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'}};
    EXPECT_EQ(control->DisplayFromByteArray(junk), static_cast<int32_t>(gdiplus::Status::UnknownImageFormat));
    EXPECT_EQ(temporaryFileCount(), 0u);
    EXPECT_EQ(modMain::LiveEntryCount(), 0u);
}

TEST_F(MemoryTest, MemoryBlocksAreReadUpToLength) {
    const std::vector<uint8_t> bmp = patternBmp();
    std::vector<uint8_t> padded = bmp;
    padded.resize(bmp.size() + 100, 0xEE);
    gdi::HGLOBAL block = globalOf(padded);
    Variant length(static_cast<int32_t>(bmp.size()));
    std::vector<Variant> args{Variant(static_cast<int32_t>(block)), Variant::byRef(&length)};
    Variant result;
    ASSERT_EQ(invokeByName(*control, "DisplayFromMemory", DISPATCH_METHOD, args, &result), S_OK);
    EXPECT_EQ(result.i4(), 0);
    expectPatternFrom(shown(), 0, 0);

    const int32_t invalid = static_cast<int32_t>(gdiplus::Status::InvalidParameter);
    for (int32_t bad : {0, -1, static_cast<int32_t>(padded.size()) + 1}) {
        EXPECT_EQ(control->DisplayFromMemory(static_cast<int32_t>(block), bad), invalid) << bad;
    }
    int32_t size = 10;
    EXPECT_EQ(control->DisplayFromMemory(0, size), invalid);
    EXPECT_EQ(control->DisplayFromMemory(static_cast<int32_t>(block) + 1, size), invalid);
    gdi::globalFree(block);
}

TEST_F(MemoryTest, StringsHoldOneByteACharacter) {
    // Every byte of the file as the character of the same number.
    std::string text;
    for (uint8_t b : patternBmp()) {
        if (b < 0x80) {
            text += static_cast<char>(b);
        } else {
            text += static_cast<char>(0xC0 | (b >> 6));
            text += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    ASSERT_EQ(call("DisplayFromString", {Variant(text)}), 0);
    expectPatternFrom(shown(), 0, 0);

    EXPECT_EQ(control->DisplayFromString(""), static_cast<int32_t>(gdiplus::Status::GenericError));
    EXPECT_EQ(control->DisplayFromString("B"), 21);
    EXPECT_EQ(control->DisplayFromString("\xC3\xA9"), 21);  // one character, one byte
    // A character the code page does not have is refused, not turned into "?".
    EXPECT_EQ(control->DisplayFromString(text + "\xE4\xB8\x80"), static_cast<int32_t>(gdiplus::Status::InvalidParameter));
    // Texts refused before any bytes were loaded leave the picture shown.
    expectPatternFrom(shown(), 0, 0);
}

TEST_F(MemoryTest, StreamsOfAnimatedGifsBecomeFrameFiles) {
    const std::vector<uint8_t> gif =
        orrery::test::animatedGif({{4, 4, 0xFF0000, 10}, {4, 4, 0x00FF00, 10}, {4, 4, 0x0000FF, 10}});
    auto stream = std::make_shared<StreamObject>(std::make_shared<MemoryStream>(gif));
    ASSERT_EQ(call("DisplayFromStream", {Variant(DispatchPtr(stream))}), 0);
    stream.reset();  // the frames no longer need it
    const int32_t id = control->GetNativeImage();
    EXPECT_TRUE(modMain::IsGifSplit(id));
    EXPECT_EQ(control->GetTotalFrame(), 3);
    EXPECT_EQ(temporaryFileCount(), 3u);
    for (const std::string& file : modMain::FindEntry(id)->FrameFiles) {
        const std::vector<uint8_t> bytes = orrery::test::readFile(file);
        ASSERT_GE(bytes.size(), 8u);
        EXPECT_EQ(bytes[1], 'P');  // PNG signature
    }
    ASSERT_EQ(control->DisplayFrame(2), 0);
    EXPECT_EQ(shownPixel(0, 0) & 0xFFFFFF, 0x00FF00u);
    control->CloseImage();
    EXPECT_EQ(temporaryFileCount(), 0u);

    EXPECT_EQ(control->DisplayFromStreamICM(nullptr), static_cast<int32_t>(gdiplus::Status::InvalidParameter));
    EXPECT_EQ(control->DisplayFromStream(std::make_shared<PlainObject>()), 23);
    auto junk = std::make_shared<StreamObject>(std::make_shared<MemoryStream>(std::vector<uint8_t>{1, 2, 3}));
    EXPECT_NE(control->DisplayFromStream(junk), 0);
    EXPECT_EQ(modMain::LiveEntryCount(), 0u);
}

TEST_F(MemoryTest, PicturesTravelBetweenControlsThroughTheClipboard) {
    control::Orrery second(backend);
    EXPECT_EQ(second.DisplayFromClipboardData(), static_cast<int32_t>(gdiplus::Status::GenericError));
    showPattern();
    control->Copy2Clipboard();
    ASSERT_EQ(call("DisplayFromClipboardData"), 0);  // onto itself, too
    ASSERT_EQ(second.DisplayFromClipboardData(), 0);
    EXPECT_EQ(second.ImageWidth(), kWidth);
    expectPatternFrom(*modMain::GetGdiImage(second.GetNativeImage()), 0, 0);
    second.CopyRegion2Clipboard(2, 1, 2, 2);
    ASSERT_EQ(control->DisplayFromClipboardData(), 0);
    EXPECT_EQ(control->ImageWidth(), 2);
    expectPatternFrom(shown(), 2, 1);

    // A DIB is taken before a bitmap.
    std::unique_ptr<gdiplus::Image> pattern;
    ASSERT_EQ(gdiplus::createBitmapFromPackedDib(packedPattern(), pattern), gdiplus::Status::Ok);
    orrery::test::DibLayout one;
    one.bits = {1, 2, 3, 0};
    backend.clipboard().empty();
    gdi::HBITMAP bitmap = 0;
    ASSERT_EQ(gdiplus::createHBITMAPFromBitmap(*pattern, 0, bitmap), gdiplus::Status::Ok);
    ASSERT_TRUE(backend.clipboard().setData(window::CF_BITMAP, bitmap));
    ASSERT_TRUE(backend.clipboard().setData(window::CF_DIB, globalOf(orrery::test::packedDib(one))));
    ASSERT_EQ(control->DisplayFromClipboardData(), 0);
    EXPECT_EQ(control->ImageWidth(), 1);

    // A palette alone is no picture.
    backend.clipboard().empty();
    ASSERT_TRUE(backend.clipboard().setData(window::CF_PALETTE, gdi::createPalette({0x000000, 0xFFFFFF})));
    EXPECT_EQ(control->DisplayFromClipboardData(), static_cast<int32_t>(gdiplus::Status::InvalidParameter));
    EXPECT_EQ(control->GetNativeImage(), 0);
}

TEST_F(MemoryTest, MetafilesAreDrawnAtTheirSizeTimesTheScale) {
    const std::string path = files.file("rect.wmf").string();
    orrery::test::writeFile(path, orrery::test::redRectangleWmf(100, 40));
    std::vector<Variant> args{Variant(path), Variant(2.5f)};
    Variant result;
    ASSERT_EQ(invokeByName(*control, "DisplayFromMetaFile", DISPATCH_METHOD, args, &result), S_OK);
    ASSERT_EQ(result.i4(), 0);
    EXPECT_EQ(control->ImageWidth(), 250);
    EXPECT_EQ(control->ImageHeight(), 100);
    EXPECT_EQ(shown().pixelFormat(), gdiplus::PixelFormat32bppARGB);
    EXPECT_EQ(shownPixel(200, 80), 0xFFFF0000u);
    // The scale may be left out.
    ASSERT_EQ(call("DisplayFromMetaFile", {Variant(path)}), 0);
    EXPECT_EQ(control->ImageWidth(), 100);
    // A file shown as a file is drawn at its own size and keeps its format.
    ASSERT_EQ(control->DisplayFromFile(path), 0);
    EXPECT_EQ(control->ImageWidth(), 100);
    EXPECT_EQ(control->GetImageFormat(), "WMF");

    const int32_t invalid = static_cast<int32_t>(gdiplus::Status::InvalidParameter);
    EXPECT_EQ(control->DisplayFromMetaFile(path, 0.001f), invalid);  // below one pixel
    EXPECT_EQ(control->DisplayFromMetaFile(path, std::numeric_limits<float>::quiet_NaN()), invalid);
    EXPECT_EQ(control->DisplayFromMetaFile(path, std::numeric_limits<float>::infinity()), invalid);
    EXPECT_EQ(control->DisplayFromMetaFile(path, 1e6f), static_cast<int32_t>(gdiplus::Status::OutOfMemory));
    EXPECT_EQ(control->DisplayFromMetaFile(files.file("none.wmf").string()),
              static_cast<int32_t>(gdiplus::Status::FileNotFound));
    EXPECT_EQ(control->DisplayFromMetaFile("  "), static_cast<int32_t>(gdiplus::Status::FileNotFound));
    const std::string bmp = files.file("pattern.bmp").string();
    orrery::test::writeFile(bmp, patternBmp());
    EXPECT_EQ(control->DisplayFromMetaFile(bmp), invalid);  // no metafile
    EXPECT_EQ(modMain::LiveEntryCount(), 0u);
}

TEST_F(MemoryTest, PictureObjectsAreShownAndKeepTheirHandles) {
    const size_t metafilesBefore = gdi::liveMetaFileCount();
    std::unique_ptr<gdiplus::Image> pattern;
    ASSERT_EQ(gdiplus::createBitmapFromPackedDib(packedPattern(), pattern), gdiplus::Status::Ok);
    gdi::HBITMAP bitmap = 0;
    ASSERT_EQ(gdiplus::createHBITMAPFromBitmap(*pattern, 0, bitmap), gdiplus::Status::Ok);
    std::shared_ptr<Picture> picture;
    ASSERT_EQ(Picture::create({PICTYPE_BITMAP, bitmap, 0, 0, 0}, true, picture), S_OK);

    // By reference, as an Object and as an IUnknown object.
    DispatchPtr asObject = picture;
    std::vector<Variant> args{Variant::byRef(&asObject)};
    Variant result;
    ASSERT_EQ(invokeByName(*control, "DisplayFromStdPicture", DISPATCH_METHOD, args, &result), S_OK);
    ASSERT_EQ(result.i4(), 0);
    expectPatternFrom(shown(), 0, 0);
    EXPECT_NE(gdi::bitmap(bitmap), nullptr);  // still the picture's
    UnknownPtr asUnknown(picture, static_cast<IUnknown*>(picture.get()));
    args = {Variant::byRef(&asUnknown)};
    ASSERT_EQ(invokeByName(*control, "DisplayFromStdPicture", DISPATCH_METHOD, args, &result), S_OK);
    EXPECT_EQ(result.i4(), 0);
    EXPECT_EQ(control->ImageWidth(), kWidth);

    // A Windows metafile is drawn at its HIMETRIC size on opaque white.
    const gdi::HMETAFILE wmf = gdi::setMetaFileBits(orrery::test::redRectangleWmf(100, 40, 10, 10, 50, 30));
    std::shared_ptr<Picture> metafile;
    ASSERT_EQ(Picture::create({PICTYPE_METAFILE, wmf, 0, 2646, 1058}, true, metafile), S_OK);
    DispatchPtr metafileObject = metafile;
    ASSERT_EQ(control->DisplayFromStdPicture(metafileObject), 0);
    EXPECT_EQ(control->ImageWidth(), 100);
    EXPECT_EQ(control->ImageHeight(), 40);
    EXPECT_EQ(shownPixel(2, 2), 0xFFFFFFFFu);
    EXPECT_EQ(shownPixel(30, 20), 0xFFFF0000u);
    // A size in HIMETRIC that passes 32767 twips keeps its size in pixels.
    std::shared_ptr<Picture> wide;
    ASSERT_EQ(Picture::create({PICTYPE_METAFILE, wmf, 0, 100000, 40000}, false, wide), S_OK);
    DispatchPtr wideObject = wide;
    ASSERT_EQ(control->DisplayFromStdPicture(wideObject), 0);
    EXPECT_NEAR(control->ImageWidth(), 3780, 5);
    EXPECT_NEAR(control->ImageHeight(), 1512, 5);

    // An enhanced metafile and an icon.
    std::shared_ptr<Picture> emf;
    ASSERT_EQ(Picture::create({PICTYPE_ENHMETAFILE, gdi::setEnhMetaFileBits(orrery::test::redRectangleEmf(30, 20)), 0,
                               0, 0},
                              true, emf),
              S_OK);
    DispatchPtr emfObject = emf;
    ASSERT_EQ(control->DisplayFromStdPicture(emfObject), 0);
    EXPECT_EQ(control->ImageWidth(), 30);
    EXPECT_EQ(shownPixel(15, 10), 0xFFFF0000u);
    gdi::HICON icon = 0;
    ASSERT_EQ(gdiplus::createHICONFromBitmap(*pattern, icon), gdiplus::Status::Ok);
    std::shared_ptr<Picture> iconPicture;
    ASSERT_EQ(Picture::create({PICTYPE_ICON, icon, 0, 0, 0}, true, iconPicture), S_OK);
    DispatchPtr iconObject = iconPicture;
    ASSERT_EQ(control->DisplayFromStdPicture(iconObject), 0);
    expectPatternFrom(shown(), 0, 0);

    // No picture: InvalidParameter, and the document type reads image all the same.
    const int32_t invalid = static_cast<int32_t>(gdiplus::Status::InvalidParameter);
    DispatchPtr nothing;
    EXPECT_EQ(control->DisplayFromStdPicture(nothing), invalid);
    EXPECT_EQ(control->GetDocumentType(), control::DocumentTypeImage);
    DispatchPtr plain = std::make_shared<PlainObject>();
    EXPECT_EQ(control->DisplayFromStdPicture(plain), invalid);
    std::shared_ptr<Picture> empty;
    ASSERT_EQ(Picture::create({PICTYPE_NONE, 0, 0, 0, 0}, true, empty), S_OK);
    DispatchPtr emptyObject = empty;
    EXPECT_EQ(control->DisplayFromStdPicture(emptyObject), invalid);
    EXPECT_EQ(control->GetNativeImage(), 0);

    metafile.reset();
    metafileObject.reset();
    EXPECT_EQ(gdi::liveMetaFileCount(), metafilesBefore);
}

TEST_F(MemoryTest, MetafilesOnTheClipboardAreShownOnWhiteAfterAnyBitmap) {
    const size_t metafilesBefore = gdi::liveMetaFileCount(), enhancedBefore = gdi::liveEnhMetaFileCount();
    window::Clipboard& clipboard = backend.clipboard();
    auto putMetafile = [&](int32_t mode, int32_t x, int32_t y) {
        const gdi::HMETAFILE wmf = gdi::setMetaFileBits(orrery::test::redRectangleWmf(100, 40, 10, 10, 50, 30));
        ASSERT_TRUE(clipboard.setData(window::CF_METAFILEPICT, window::globalOfMetafilePict({mode, x, y, wmf})));
    };
    putMetafile(window::MM_ANISOTROPIC, 5292, 2116);  // suggested size: twice the window
    ASSERT_TRUE(clipboard.setData(window::CF_PALETTE, gdi::createPalette({0, 0xFFFFFF})));  // no picture of its own
    ASSERT_EQ(control->DisplayFromClipboardData(), 0);
    EXPECT_EQ(control->ImageWidth(), 200);
    EXPECT_EQ(control->ImageHeight(), 80);
    EXPECT_EQ(shownPixel(4, 4), 0xFFFFFFFFu);
    EXPECT_EQ(shownPixel(60, 40), 0xFFFF0000u);
    // Without a suggested size the metafile's window counts as screen pixels;
    // text mode extents are pixels.
    putMetafile(window::MM_ANISOTROPIC, 0, 0);
    ASSERT_EQ(control->DisplayFromClipboardData(), 0);
    EXPECT_EQ(control->ImageWidth(), 100);
    putMetafile(window::MM_TEXT, 50, 20);
    ASSERT_EQ(control->DisplayFromClipboardData(), 0);
    EXPECT_EQ(control->ImageWidth(), 50);

    // A bitmap beside the metafile is taken first.
    std::unique_ptr<gdiplus::Image> pattern;
    ASSERT_EQ(gdiplus::createBitmapFromPackedDib(packedPattern(), pattern), gdiplus::Status::Ok);
    gdi::HBITMAP bitmap = 0;
    ASSERT_EQ(gdiplus::createHBITMAPFromBitmap(*pattern, 0, bitmap), gdiplus::Status::Ok);
    ASSERT_TRUE(clipboard.setData(window::CF_BITMAP, bitmap));
    ASSERT_EQ(control->DisplayFromClipboardData(), 0);
    EXPECT_EQ(control->ImageWidth(), kWidth);

    // An enhanced metafile is read for the metafile picture it offers.
    clipboard.empty();
    ASSERT_TRUE(clipboard.setData(window::CF_ENHMETAFILE, gdi::setEnhMetaFileBits(orrery::test::redRectangleEmf(30, 20))));
    ASSERT_EQ(control->DisplayFromClipboardData(), 0);
    EXPECT_EQ(control->ImageWidth(), 30);
    EXPECT_EQ(control->ImageHeight(), 20);
    clipboard.empty();
    EXPECT_EQ(gdi::liveMetaFileCount(), metafilesBefore);
    EXPECT_EQ(gdi::liveEnhMetaFileCount(), enhancedBefore);
}
