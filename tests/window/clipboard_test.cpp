// The backend's clipboard: ownership of what is put there, copies handed
// out, and the bitmap formats it derives from one another.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "platform/gdi/handles.h"
#include "platform/gdiplus/dib.h"
#include "platform/gdiplus/factory.h"
#include "platform/window/clipboard.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/dib_builder.h"
#include "support/global_blocks.h"
#include "support/metafile_builder.h"
#include "support/test_support.h"

using namespace orrery;
using orrery::test::bytesOfGlobal;
using orrery::test::globalOf;
using orrery::test::takeClipboardPicture;

namespace {

// A 3 x 2 picture with a different colour in every pixel.
std::unique_ptr<gdiplus::Image> checkerImage() {
    std::unique_ptr<gdiplus::Image> image;
    EXPECT_EQ(gdiplus::createBitmapFromScan0(3, 2, 0, gdiplus::PixelFormat24bppRGB, nullptr, image),
              gdiplus::Status::Ok);
    const gdiplus::ARGB colours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF808080, 0xFFFFFFFF, 0xFF102030};
    for (int i = 0; i < 6; ++i) image->setPixel(i % 3, i / 3, colours[i]);
    return image;
}

gdi::HBITMAP bitmapOf(const gdiplus::Image& image) {
    gdi::HBITMAP h = 0;
    EXPECT_EQ(gdiplus::createHBITMAPFromBitmap(image, 0, h), gdiplus::Status::Ok);
    return h;
}

uint32_t headerSizeOf(gdi::HGLOBAL h) {
    std::vector<uint8_t> bytes = bytesOfGlobal(h);
    return bytes.size() < 4 ? 0 : bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24;
}

}  // namespace

TEST(ClipboardTest, ABitmapPutThereBelongsToTheClipboardAndOffersBothDibs) {
    auto picture = checkerImage();
    const size_t bitmapsBefore = gdi::liveBitmapCount();
    window::InProcessClipboard clipboard;
    gdi::HBITMAP h = bitmapOf(*picture);
    ASSERT_TRUE(clipboard.setData(window::CF_BITMAP, h));
    EXPECT_EQ(gdi::bitmap(h), nullptr);
    EXPECT_EQ(gdi::liveBitmapCount(), bitmapsBefore);
    EXPECT_EQ(clipboard.formats(), (std::vector<uint32_t>{window::CF_BITMAP, window::CF_DIB, window::CF_DIBV5}));

    for (uint32_t format : {window::CF_BITMAP, window::CF_DIB, window::CF_DIBV5}) {
        SCOPED_TRACE(format);
        ASSERT_TRUE(clipboard.isFormatAvailable(format));
        uint32_t copy = clipboard.getData(format);
        ASSERT_NE(copy, 0u);
        if (format != window::CF_BITMAP) {
            EXPECT_EQ(headerSizeOf(copy), format == window::CF_DIB ? 40u : 124u);
        }
        auto got = takeClipboardPicture(format, copy);
        ASSERT_TRUE(got);
        EXPECT_EQ(orrery::test::compareImages(*picture, *got).max, 0);
    }
    // Every read was a copy of its own: the clipboard still offers the bitmap.
    EXPECT_TRUE(clipboard.isFormatAvailable(window::CF_BITMAP));
    EXPECT_EQ(gdi::liveBitmapCount(), bitmapsBefore);
    EXPECT_EQ(gdi::liveGlobalCount(), 0u);
}

TEST(ClipboardTest, AnIndexedDibGivesABitmapOfTheSameColours) {
    orrery::test::DibLayout layout;
    layout.width = 2;
    layout.height = 2;
    layout.bitCount = 8;
    layout.colorsUsed = 2;
    layout.palette = {0x112233, 0xCCBBAA};
    layout.bits = {0, 1, 0, 0, 1, 0, 0, 0};  // bottom row: 0 1; top row: 1 0
    window::InProcessClipboard clipboard;
    ASSERT_TRUE(clipboard.setData(window::CF_DIB, globalOf(orrery::test::packedDib(layout))));
    EXPECT_EQ(gdi::liveGlobalCount(), 0u);
    EXPECT_EQ(clipboard.formats(), (std::vector<uint32_t>{window::CF_DIB, window::CF_BITMAP, window::CF_DIBV5}));

    auto got = takeClipboardPicture(window::CF_BITMAP, clipboard.getData(window::CF_BITMAP));
    ASSERT_TRUE(got);
    gdiplus::ARGB c = 0;
    got->getPixel(0, 0, c);
    EXPECT_EQ(c, 0xFFCCBBAAu);
    got->getPixel(1, 0, c);
    EXPECT_EQ(c, 0xFF112233u);
    got->getPixel(1, 1, c);
    EXPECT_EQ(c, 0xFFCCBBAAu);
    // The DIB set is handed out as it was put there.
    uint32_t dib = clipboard.getData(window::CF_DIB);
    EXPECT_EQ(bytesOfGlobal(dib), orrery::test::packedDib(layout));
    gdi::globalFree(dib);
}

TEST(ClipboardTest, WrongHandlesAreRefusedAndLeftToTheCaller) {
    window::InProcessClipboard clipboard;
    gdi::HGLOBAL block = globalOf({1, 2, 3});
    EXPECT_FALSE(clipboard.setData(window::CF_BITMAP, block));
    EXPECT_EQ(gdi::globalSize(block), 3u);
    EXPECT_FALSE(clipboard.setData(window::CF_DIB, 0));
    EXPECT_TRUE(clipboard.formats().empty());
    EXPECT_EQ(clipboard.getData(window::CF_BITMAP), 0u);

    // A damaged DIB is kept as it is, but no bitmap can be made from it.
    ASSERT_TRUE(clipboard.setData(window::CF_DIB, block));
    EXPECT_TRUE(clipboard.isFormatAvailable(window::CF_BITMAP));
    const size_t bitmapsBefore = gdi::liveBitmapCount();
    EXPECT_EQ(clipboard.getData(window::CF_BITMAP), 0u);
    EXPECT_EQ(gdi::liveBitmapCount(), bitmapsBefore);
    EXPECT_EQ(gdi::liveGlobalCount(), 0u);
}

TEST(ClipboardTest, PrivateFormatsHoldBytesAndEmptyingDropsEverything) {
    window::InProcessClipboard clipboard;
    constexpr uint32_t kPrivate = 0xC123;
    ASSERT_TRUE(clipboard.setData(kPrivate, globalOf({9, 8, 7})));
    ASSERT_TRUE(clipboard.setData(kPrivate, globalOf({6})));  // replaces the first
    ASSERT_TRUE(clipboard.setData(0xC124, gdi::globalAlloc(0)));
    EXPECT_EQ(clipboard.formats(), (std::vector<uint32_t>{kPrivate, 0xC124}));
    EXPECT_FALSE(clipboard.isFormatAvailable(window::CF_BITMAP));
    uint32_t copy = clipboard.getData(kPrivate);
    EXPECT_EQ(bytesOfGlobal(copy), std::vector<uint8_t>{6});
    gdi::globalFree(copy);

    clipboard.empty();
    EXPECT_TRUE(clipboard.formats().empty());
    EXPECT_FALSE(clipboard.isFormatAvailable(kPrivate));
    EXPECT_EQ(gdi::liveGlobalCount(), 0u);
}

TEST(ClipboardTest, EachHeadlessBackendHasAClipboardOfItsOwn) {
    window::HeadlessBackend a, b;
    ASSERT_TRUE(a.clipboard().setData(0xC200, globalOf({1})));
    EXPECT_TRUE(a.clipboard().isFormatAvailable(0xC200));
    EXPECT_FALSE(b.clipboard().isFormatAvailable(0xC200));
}

TEST(ClipboardTest, MetafilesAndPalettesAreTakenWholeAndHandedOutAsCopies) {
    const size_t metafilesBefore = gdi::liveMetaFileCount(), enhancedBefore = gdi::liveEnhMetaFileCount();
    const size_t palettesBefore = gdi::livePaletteCount();
    window::InProcessClipboard clipboard;
    const std::vector<uint8_t> wmfBits = orrery::test::redRectangleWmf(100, 40);
    const gdi::HMETAFILE wmf = gdi::setMetaFileBits(wmfBits);
    const gdi::HGLOBAL pict = window::globalOfMetafilePict({window::MM_ANISOTROPIC, 2646, 1058, wmf});
    ASSERT_TRUE(clipboard.setData(window::CF_METAFILEPICT, pict));
    EXPECT_EQ(gdi::metaFileBits(wmf), nullptr);  // both the block and the metafile it names are taken
    EXPECT_EQ(gdi::globalSize(pict), 0u);
    EXPECT_EQ(gdi::liveMetaFileCount(), metafilesBefore);

    const gdi::HGLOBAL copy = clipboard.getData(window::CF_METAFILEPICT);
    window::MetafilePict read;
    ASSERT_TRUE(window::readMetafilePict(copy, read));
    EXPECT_EQ(read.mappingMode, window::MM_ANISOTROPIC);
    EXPECT_EQ(read.xExt, 2646);
    EXPECT_EQ(read.yExt, 1058);
    ASSERT_NE(gdi::metaFileBits(read.metafile), nullptr);
    EXPECT_EQ(*gdi::metaFileBits(read.metafile), wmfBits);
    EXPECT_TRUE(gdi::deleteMetaFile(read.metafile));
    EXPECT_TRUE(gdi::globalFree(copy));

    // A block naming no metafile is refused and stays the caller's.
    const gdi::HGLOBAL orphan = window::globalOfMetafilePict({window::MM_ANISOTROPIC, 1, 1, 12345});
    EXPECT_FALSE(clipboard.setData(window::CF_METAFILEPICT, orphan));
    EXPECT_TRUE(gdi::globalFree(orphan));
    const gdi::HGLOBAL tiny = globalOf({1, 2, 3});
    EXPECT_FALSE(clipboard.setData(window::CF_METAFILEPICT, tiny));
    EXPECT_TRUE(gdi::globalFree(tiny));

    // An enhanced metafile offers the metafile picture format, which only its
    // reader can make use of.
    clipboard.empty();
    const std::vector<uint8_t> emfBits = orrery::test::redRectangleEmf(30, 20);
    ASSERT_TRUE(clipboard.setData(window::CF_ENHMETAFILE, gdi::setEnhMetaFileBits(emfBits)));
    EXPECT_EQ(clipboard.formats(), (std::vector<uint32_t>{window::CF_ENHMETAFILE, window::CF_METAFILEPICT}));
    EXPECT_EQ(clipboard.getData(window::CF_METAFILEPICT), 0u);
    const gdi::HENHMETAFILE emf = clipboard.getData(window::CF_ENHMETAFILE);
    ASSERT_NE(gdi::enhMetaFileBits(emf), nullptr);
    EXPECT_EQ(*gdi::enhMetaFileBits(emf), emfBits);
    EXPECT_TRUE(gdi::deleteEnhMetaFile(emf));

    ASSERT_TRUE(clipboard.setData(window::CF_PALETTE, gdi::createPalette({0x102030, 0xFFFFFF})));
    const gdi::HPALETTE palette = clipboard.getData(window::CF_PALETTE);
    ASSERT_NE(gdi::palette(palette), nullptr);
    EXPECT_EQ(*gdi::palette(palette), (std::vector<uint32_t>{0x102030, 0xFFFFFF}));
    EXPECT_TRUE(gdi::deletePalette(palette));
    EXPECT_FALSE(clipboard.setData(window::CF_PALETTE, palette));  // gone

    clipboard.empty();
    EXPECT_EQ(gdi::liveMetaFileCount(), metafilesBefore);
    EXPECT_EQ(gdi::liveEnhMetaFileCount(), enhancedBefore);
    EXPECT_EQ(gdi::livePaletteCount(), palettesBefore);
    EXPECT_EQ(gdi::liveGlobalCount(), 0u);
    // The metafile tables take only what starts as such a metafile.
    EXPECT_EQ(gdi::setMetaFileBits(std::vector<uint8_t>{1, 2, 3}), 0u);
    EXPECT_EQ(gdi::setEnhMetaFileBits(wmfBits), 0u);
    EXPECT_EQ(gdi::createPalette({}), 0u);
}
