#include "imaging/image_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "imaging/image_info.h"
#include "imaging/loaders.h"
#include "platform/gdiplus/factory.h"
#include "support/test_support.h"

using namespace orrery::imaging;
namespace gp = orrery::gdiplus;
namespace fs = std::filesystem;

namespace {

// The store is tested on its own: without the codec plug-in, every file goes
// through the imaging layer.
const bool kNoPlugin = [] { return setenv("ORRERY_CODEC_PLUGIN", "none", 1) == 0; }();

std::unique_ptr<gp::Image> smallBitmap(gp::PixelFormat f = gp::PixelFormat24bppRGB) {
    std::unique_ptr<gp::Image> image;
    EXPECT_EQ(gp::createBitmapFromScan0(2, 2, 0, f, nullptr, image), gp::Status::Ok);
    return image;
}

// A 1x1 GIF with two frames (black, then white), FrameDelay 0 and 7, loop
// count 5 and a comment.
std::vector<uint8_t> twoFrameGif() {
    std::vector<uint8_t> g = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0,
                              0, 0, 0, 0xff, 0xff, 0xff};
    const uint8_t loop[] = {0x21, 0xff, 0x0b, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                            0x03, 0x01, 0x05, 0x00, 0x00};
    g.insert(g.end(), std::begin(loop), std::end(loop));
    for (int frame = 0; frame < 2; ++frame) {
        const uint8_t delay = frame == 0 ? 0 : 7;
        const uint8_t gce[] = {0x21, 0xf9, 0x04, 0x00, delay, 0x00, 0x00, 0x00};
        const uint8_t desc[] = {0x2c, 0, 0, 0, 0, 1, 0, 1, 0, 0};
        const uint8_t data[] = {0x02, 0x02, static_cast<uint8_t>(frame == 0 ? 0x44 : 0x4c), 0x01, 0x00};
        g.insert(g.end(), std::begin(gce), std::end(gce));
        g.insert(g.end(), std::begin(desc), std::end(desc));
        g.insert(g.end(), std::begin(data), std::end(data));
    }
    const uint8_t comment[] = {0x21, 0xfe, 0x05, 'h', 'e', 'l', 'l', 'o', 0x00, 0x3b};
    g.insert(g.end(), std::begin(comment), std::end(comment));
    return g;
}

size_t openDescriptors() {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) n += !e.path().empty();
    return n;
}

size_t filesIn(const fs::path& dir) {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir)) n += e.is_regular_file();
    return n;
}

// Each test runs with its own temporary folder and an open session, and
// checks that the store is empty afterwards.
class ImageTable : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kNoPlugin);
        setenv("tmp", temp_.path().c_str(), 1);
        ASSERT_TRUE(modMain::StartGdiPlus());
    }
    void TearDown() override {
        modMain::ShutdownGdiPlus();
        EXPECT_EQ(modMain::TableSize(), 0u);
        unsetenv("tmp");
    }
    std::string writeGif() {
        const fs::path path = files_.file("two.gif");
        orrery::test::writeFile(path, twoFrameGif());
        return path.string();
    }
    orrery::test::TempDir temp_;   // the store's temporary folder
    orrery::test::TempDir files_;  // the test's own input files
};

gp::ARGB pixelOf(int32_t id) {
    gp::ARGB c = 0;
    gp::Image* image = modMain::GetGdiImage(id);
    EXPECT_NE(image, nullptr);
    if (image) image->getPixel(0, 0, c);
    return c;
}

}  // namespace

TEST_F(ImageTable, IdentifiersAreUniqueSlotsAreReusedAndTheTableShrinks) {
    int32_t a = 0, b = 0, c = 0;
    EXPECT_EQ(modMain::AddImage(a, smallBitmap(), "", "", SourcePlain), 0);
    EXPECT_EQ(modMain::AddImage(b, smallBitmap(), "", "", SourcePlain), 1);
    EXPECT_EQ(modMain::AddImage(c, smallBitmap(gp::PixelFormat1bppIndexed), "", "", SourceScan0), 2);
    EXPECT_NE(a, 0);
    EXPECT_NE(a, b);
    EXPECT_NE(b, c);
    EXPECT_GE(a, 0);
    EXPECT_LE(a, 100000000);
    EXPECT_EQ(modMain::FindEntry(c)->BitsPerPixel, 1);
    EXPECT_EQ(modMain::FindEntry(c)->FormatName, "Memory BMP");
    EXPECT_EQ(modMain::FindImageIndex(0), -1);

    EXPECT_EQ(modMain::ReleaseImage(b), gp::Status::Ok);
    EXPECT_EQ(modMain::TableSize(), 3u);
    EXPECT_EQ(modMain::FindImageIndex(b), -1);
    int32_t d = 0;
    EXPECT_EQ(modMain::AddImage(d, smallBitmap(), "NAME", "", SourcePlain), 1);
    EXPECT_EQ(modMain::FindEntry(d)->FormatName, "NAME");
    EXPECT_EQ(modMain::ReleaseImage(c), gp::Status::Ok);
    EXPECT_EQ(modMain::TableSize(), 2u);
    EXPECT_EQ(modMain::ReleaseImage(c), gp::Status::InvalidParameter);
    EXPECT_EQ(modMain::GetGdiImage(c), nullptr);
    EXPECT_EQ(modMain::GetCurrentGifFrame(c), 0);
    int32_t n = 0;
    EXPECT_EQ(modMain::GetGifFrameCount(c, n), 22);
    EXPECT_EQ(modMain::SelectGifFrame(c, 0), 1);
}

TEST_F(ImageTable, SessionIsSharedAndTheLastCloseReleasesEverything) {
    EXPECT_EQ(modMain::SessionReferenceCount(), 1);
    ASSERT_TRUE(modMain::StartGdiPlus());  // a second control
    int32_t id = 0;
    modMain::AddImage(id, smallBitmap(), "", "", SourcePlain);
    const std::string temp = GetTempFileName();
    orrery::test::writeFile(temp, {1, 2, 3});
    modMain::SetImageTempFile(id, temp);
    modMain::ShutdownGdiPlus();
    EXPECT_TRUE(modMain::IsSessionOpen());
    EXPECT_NE(modMain::FindEntry(id), nullptr);
    EXPECT_EQ(modMain::GdiPlusVersion(), "6.1.0.0");
    modMain::ShutdownGdiPlus();
    EXPECT_FALSE(modMain::IsSessionOpen());
    EXPECT_EQ(modMain::TableSize(), 0u);
    EXPECT_FALSE(fs::exists(temp));
    ASSERT_TRUE(modMain::StartGdiPlus());  // for TearDown
}

TEST_F(ImageTable, GifFramesKeptInOneImage) {
    int32_t id = 0;
    ASSERT_EQ(LoadImageFromFile(id, writeGif()), 0);
    ImageEntry* e = modMain::FindEntry(id);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->SourceKind, SourceFile);
    EXPECT_TRUE(modMain::IsMultiFrameGif(id));
    EXPECT_FALSE(modMain::IsGifSplit(id));
    int32_t n = 0;
    EXPECT_EQ(modMain::GetGifFrameCount(id, n), 0);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(modMain::GetTiffPageCount(id, n), 22);
    std::vector<int32_t> delays;
    ASSERT_TRUE(modMain::GetFrameDelays(id, delays));
    EXPECT_EQ(delays, (std::vector<int32_t>{25, 7}));
    EXPECT_EQ(e->GifLoopCount, 5);
    EXPECT_EQ(e->GifComment, "hello");
    EXPECT_EQ(modMain::GetCurrentGifFrame(id), 0);
    EXPECT_EQ(pixelOf(id) & 0xffffff, 0u);

    EXPECT_EQ(modMain::SelectGifFrame(id, 2), 2);
    EXPECT_EQ(modMain::SelectGifFrame(id, -1), 2);
    EXPECT_EQ(modMain::SelectTiffPage(id, 0), 22);
    EXPECT_EQ(modMain::SelectGifFrame(id, 1), 0);
    EXPECT_EQ(modMain::GetCurrentGifFrame(id), 1);
    EXPECT_EQ(pixelOf(id) & 0xffffff, 0xffffffu);
    // The entry's GIF facts are written back onto the shown frame.
    gp::PropertyItem delay;
    ASSERT_EQ(modMain::GetGdiImage(id)->getPropertyItem(gp::PropertyTagFrameDelay, delay), gp::Status::Ok);
    EXPECT_EQ(delay.value, (std::vector<uint8_t>{25, 0, 0, 0, 7, 0, 0, 0}));
    EXPECT_EQ(modMain::SelectGifFrame(id, 1), 0);  // already current: nothing loads
    EXPECT_EQ(modMain::ResolveFrameImageId(id), id);
    EXPECT_EQ(modMain::ReleaseImage(id), gp::Status::Ok);
}

TEST_F(ImageTable, SplitModeKeepsOneFileAFrameAndDeletesThemOnRelease) {
    std::unique_ptr<gp::Image> decoded;
    ASSERT_EQ(gp::loadImageFromFile(writeGif(), {}, decoded), gp::Status::Ok);
    int32_t id = 0;
    modMain::AddImage(id, std::move(decoded), "", "", SourcePlain);
    int32_t container = 0;
    ASSERT_EQ(modMain::RegisterFrames("source.gif", id, container, modMain::FrameStorage::InOneImage, modMain::FrameStorage::SplitIntoFiles), 0);
    EXPECT_NE(container, id);
    EXPECT_EQ(modMain::FindEntry(id), nullptr);  // the decoded image is released
    EXPECT_TRUE(modMain::IsGifSplit(container));
    ImageEntry* c = modMain::FindEntry(container);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GdiImage, nullptr);
    EXPECT_EQ(c->FrameFiles.size(), 2u);
    EXPECT_EQ(filesIn(GetPrivateTempFolder()), 2u);
    EXPECT_EQ(modMain::GetCurrentGifFrame(container), 0);
    const int32_t child0 = modMain::ResolveFrameImageId(container);
    EXPECT_NE(child0, 0);
    EXPECT_NE(child0, container);
    EXPECT_EQ(modMain::FindEntry(child0)->FormatName, "PNG");

    // A changed frame is saved to a new file when it is left.
    const std::string firstFile = modMain::FindEntry(container)->FrameFiles[0];
    modMain::GetGdiImage(container)->setPixel(0, 0, 0xFF123456);
    modMain::MarkImageModified(container);
    EXPECT_TRUE(modMain::FindEntry(child0)->Modified);
    ASSERT_EQ(modMain::SelectGifFrame(container, 1), 0);
    EXPECT_EQ(modMain::FindEntry(child0), nullptr);
    EXPECT_FALSE(fs::exists(firstFile));
    EXPECT_EQ(pixelOf(container) & 0xffffff, 0xffffffu);
    ASSERT_EQ(modMain::SelectGifFrame(container, 0), 0);
    EXPECT_EQ(pixelOf(container), 0xFF123456u);
    EXPECT_EQ(filesIn(GetPrivateTempFolder()), 2u);

    EXPECT_EQ(modMain::ReleaseImage(container), gp::Status::Ok);
    EXPECT_EQ(filesIn(GetPrivateTempFolder()), 0u);
    // The child lived in the slot freed by the decoded image; only the last
    // slot shrinks the table, so one free slot remains until the session ends.
    EXPECT_EQ(modMain::LiveEntryCount(), 0u);
    EXPECT_EQ(modMain::TableSize(), 1u);
}

TEST_F(ImageTable, ReplaceKeepsTheOldIdentifier) {
    int32_t oldId = 0, newId = 0;
    modMain::AddImage(oldId, smallBitmap(), "", "", SourcePlain);
    std::unique_ptr<gp::Image> rotated;
    ASSERT_EQ(gp::createBitmapFromScan0(5, 3, 0, gp::PixelFormat32bppARGB, nullptr, rotated), gp::Status::Ok);
    modMain::AddImage(newId, std::move(rotated), "", "", SourcePlain);
    EXPECT_EQ(modMain::ReplaceImage(oldId, newId), oldId);
    EXPECT_EQ(modMain::LiveEntryCount(), 1u);
    EXPECT_EQ(modMain::GetGdiImage(oldId)->width(), 5);
    EXPECT_EQ(modMain::FindImageIndex(newId), -1);
    modMain::ReleaseAllImages();
}

TEST_F(ImageTable, SingleFrameGifIsAPlainEntry) {
    std::unique_ptr<gp::Image> image = smallBitmap(gp::PixelFormat8bppIndexed);
    gp::ByteSink gif;
    ASSERT_EQ(image->saveToBytes(gp::CodecClsid::GIF, {}, gif), gp::Status::Ok);
    orrery::test::writeFile(files_.file("one.gif"), gif);
    int32_t id = 0;
    ASSERT_EQ(LoadImageFromFile(id, files_.file("one.gif").string()), 0);
    int32_t n = 0;
    EXPECT_EQ(modMain::GetGifFrameCount(id, n), 22);
    EXPECT_FALSE(modMain::IsMultiFrameGif(id));
    EXPECT_EQ(modMain::FindEntry(id)->FormatName, "GIF");
    modMain::ReleaseImage(id);
}

TEST_F(ImageTable, BadFilesLeaveNoEntryAndNoTemporaryFile) {
    std::vector<uint8_t> gif = twoFrameGif();
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty.png", {}},
        {"text.jpg", {'h', 'e', 'l', 'l', 'o'}},
        {"header.gif", std::vector<uint8_t>(gif.begin(), gif.begin() + 8)},
        {"png.png", {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a, 0, 0, 0, 13}},
    };
    const size_t descriptors = openDescriptors();
    for (const Case& c : cases) {
        orrery::test::writeFile(files_.file(c.name), c.bytes);
        int32_t id = 0;
        const int32_t s = LoadImageFromFile(id, files_.file(c.name).string());
        EXPECT_NE(s, 0) << c.name;
        // Without the plug-in its "absent" status is what remains.
        EXPECT_EQ(s, 9) << c.name;
        EXPECT_EQ(modMain::LiveEntryCount(), 0u) << c.name;
        // Imaging-layer only: the layer's own status.
        const int32_t layer = LoadImageFromFile(id, files_.file(c.name).string(), ColorManagement::Off, Decoders::ImagingLayerOnly);
        EXPECT_NE(layer, 0) << c.name;
        EXPECT_NE(layer, 9) << c.name;
        EXPECT_EQ(modMain::LiveEntryCount(), 0u) << c.name;
    }
    int32_t id = 0;
    EXPECT_EQ(LoadImageFromFile(id, files_.file("missing.png").string()), 10);
    EXPECT_EQ(LoadImageFromFile(id, "   ", ColorManagement::Off, Decoders::Any, [] { return std::string(); }), 10);
    bool asked = false;
    const std::string chosen = writeGif();
    EXPECT_EQ(LoadImageFromFile(id, "", ColorManagement::Off, Decoders::Any, [&] { asked = true; return chosen; }), 0);
    EXPECT_TRUE(asked);
    modMain::ReleaseImage(id);
    EXPECT_EQ(filesIn(GetPrivateTempFolder()), 0u);
    EXPECT_EQ(openDescriptors(), descriptors);
}
