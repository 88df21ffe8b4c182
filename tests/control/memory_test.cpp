// Pictures to and from memory, handles and the clipboard, driven through the
// dispatch interface and the C++ members as hosts drive them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "control/orrery.h"
#include "imaging/image_table.h"
#include "platform/gdi/handles.h"
#include "platform/gdiplus/dib.h"
#include "platform/window/headless_backend.h"
#include "support/dib_builder.h"
#include "support/test_support.h"

using namespace orrery;
using namespace orrery::automation;
using window::HeadlessBackend;
namespace modMain = imaging::modMain;

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

class MemoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kNoPlugin);
        control = std::make_unique<control::Orrery>(backend);
        control->InitProperties();
        control->controlWindow().setWindowSize(104, 84);
        bitmapsBefore = gdi::liveBitmapCount();
    }
    void TearDown() override {
        backend.clipboard().empty();
        control.reset();
        EXPECT_EQ(modMain::LiveEntryCount(), 0u);
        EXPECT_EQ(gdi::liveBitmapCount(), bitmapsBefore);
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
