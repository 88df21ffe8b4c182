// The command-line tool as users run it: a child process on files the test
// writes, checked by exit code, output and the files it leaves behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/gdiplus/factory.h"
#include "support/test_support.h"
#include "support/tool_runner.h"

namespace fs = std::filesystem;
using namespace orrery::gdiplus;

namespace {

using orrery::test::ToolRun;

// Runs the tool built with this test.
ToolRun orrery(const fs::path& folder, const std::vector<std::string>& args) {
    return orrery::test::runTool(ORRERY_TOOL_PATH, folder, args);
}

// A 24 x 16 picture, red with a blue left half, saved with `encoder`.
void writePicture(const fs::path& path, const Guid& encoder) {
    std::unique_ptr<Image> image;
    ASSERT_EQ(createBitmapFromScan0(24, 16, 0, PixelFormat24bppRGB, nullptr, image), Status::Ok);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) ASSERT_EQ(image->setPixel(x, y, x < 12 ? 0xFF0000FF : 0xFFFF0000), Status::Ok);
    ASSERT_EQ(image->save(path.string(), encoder, {}), Status::Ok);
}

std::unique_ptr<Image> decode(const fs::path& path) {
    std::unique_ptr<Image> image;
    EXPECT_EQ(loadImageFromFile(path.string(), {}, image), Status::Ok) << path;
    return image;
}

class OrreryCli : public ::testing::Test {
protected:
    void SetUp() override { writePicture(dir.file("picture.png"), CodecClsid::PNG); }
    orrery::test::TempDir dir;
};

TEST_F(OrreryCli, OptionsMayStandBeforeOrAfterTheFiles) {
    const ToolRun before = orrery(dir.path(), {"info", "--json", "picture.png"});
    const ToolRun after = orrery(dir.path(), {"info", "picture.png", "--json"});
    ASSERT_EQ(before.exitCode, 0) << before.err;
    EXPECT_EQ(before.out.rfind("{\"file\":\"picture.png\",\"format\":\"PNG\",\"width\":24,\"height\":16", 0), 0u)
        << before.out;
    EXPECT_EQ(after.exitCode, 0) << after.err;
    EXPECT_EQ(after.out, before.out);

    const ToolRun convert = orrery(dir.path(), {"convert", "--frame", "0", "picture.png", "copy.bmp"});
    ASSERT_EQ(convert.exitCode, 0) << convert.err;
    auto copy = decode(dir.file("copy.bmp"));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->rawFormat(), ImageFormat::BMP);
    EXPECT_EQ(copy->width(), 24);

    const ToolRun render = orrery(dir.path(), {"render", "-o", "shot.png", "--size", "40x30", "picture.png"});
    EXPECT_EQ(render.exitCode, 0) << render.err;
    EXPECT_TRUE(fs::exists(dir.file("shot.png")));
}

TEST_F(OrreryCli, DoubleDashEndsTheOptions) {
    fs::copy_file(dir.file("picture.png"), dir.file("--json"));
    const ToolRun plain = orrery(dir.path(), {"info", "--", "--json"});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_NE(plain.out.find("file:            --json\n"), std::string::npos) << plain.out;
    const ToolRun json = orrery(dir.path(), {"info", "--json", "--", "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out.rfind("{\"file\":\"--json\"", 0), 0u) << json.out;

    // Without "--" the name is the option, and the file is missing.
    const ToolRun noFile = orrery(dir.path(), {"info", "--json"});
    EXPECT_EQ(noFile.exitCode, 2);
    EXPECT_NE(noFile.err.find("usage:"), std::string::npos) << noFile.err;
}

TEST_F(OrreryCli, WrongCommandLinesSayWhatIsWrong) {
    const ToolRun unknown = orrery(dir.path(), {"info", "picture.png", "--bogus"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("orrery: unknown option --bogus\n"), std::string::npos) << unknown.err;
    const ToolRun noValue = orrery(dir.path(), {"render", "picture.png", "-o"});
    EXPECT_EQ(noValue.exitCode, 2);
    EXPECT_NE(noValue.err.find("orrery: -o needs a value\n"), std::string::npos) << noValue.err;
    const ToolRun badFrame = orrery(dir.path(), {"convert", "picture.png", "out.bmp", "--frame", "-1"});
    EXPECT_EQ(badFrame.exitCode, 2);
    EXPECT_FALSE(fs::exists(dir.file("out.bmp")));
}

TEST_F(OrreryCli, FailuresNameTheStatusAndWhy) {
    const ToolRun missing = orrery(dir.path(), {"info", "missing.png"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "orrery: cannot read missing.png: status 10 (FileNotFound): no such file\n");

    fs::create_directory(dir.file("folder.png"));
    const ToolRun folder = orrery(dir.path(), {"render", "folder.png", "-o", "shot.png"});
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_EQ(folder.err, "orrery: cannot show folder.png: status 10 (FileNotFound): not a regular file\n");
    EXPECT_FALSE(fs::exists(dir.file("shot.png")));

    orrery::test::writeFile(dir.file("text.png"), {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    // The control answers 13 whether or not the codec plug-in is installed.
    const ToolRun garbage = orrery(dir.path(), {"render", "text.png", "-o", "shot.png"});
    EXPECT_EQ(garbage.exitCode, 1);
    EXPECT_EQ(garbage.err, "orrery: cannot show text.png: status 13 (UnknownImageFormat)\n");
    EXPECT_FALSE(fs::exists(dir.file("shot.png")));

    const ToolRun noFolder = orrery(dir.path(), {"convert", "picture.png", "nowhere/out.bmp"});
    EXPECT_EQ(noFolder.exitCode, 1);
    EXPECT_EQ(noFolder.err, "orrery: cannot write nowhere/out.bmp: No such file or directory\n");
}

TEST_F(OrreryCli, RenderWritesTheFormatItsExtensionNames) {
    const ToolRun bmp = orrery(dir.path(), {"render", "picture.png", "-o", "shot.bmp", "--size", "40x30"});
    ASSERT_EQ(bmp.exitCode, 0) << bmp.err;
    const ToolRun png = orrery(dir.path(), {"render", "picture.png", "-o", "shot.png", "--size", "40x30"});
    ASSERT_EQ(png.exitCode, 0) << png.err;

    const std::vector<uint8_t> bytes = orrery::test::readFile(dir.file("shot.bmp"));
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    auto asBmp = decode(dir.file("shot.bmp"));
    auto asPng = decode(dir.file("shot.png"));
    ASSERT_TRUE(asBmp && asPng);
    EXPECT_EQ(asBmp->rawFormat(), ImageFormat::BMP);
    EXPECT_EQ(asPng->rawFormat(), ImageFormat::PNG);
    ASSERT_EQ(asBmp->width(), 40);
    ASSERT_EQ(asBmp->height(), 30);
    // Both files hold the same shot: the picture's two halves and the frame around it.
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            ARGB fromBmp = 0, fromPng = 0;
            ASSERT_EQ(asBmp->getPixel(x, y, fromBmp), Status::Ok);
            ASSERT_EQ(asPng->getPixel(x, y, fromPng), Status::Ok);
            ASSERT_EQ(fromBmp | 0xFF000000, fromPng | 0xFF000000) << x << ", " << y;
        }
    ARGB left = 0, right = 0;
    ASSERT_EQ(asBmp->getPixel(12, 15, left), Status::Ok);
    ASSERT_EQ(asBmp->getPixel(27, 15, right), Status::Ok);
    EXPECT_EQ(left & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(right & 0xFFFFFF, 0xFF0000u);
}

TEST_F(OrreryCli, AnExtensionWithoutEncoderIsRefusedBeforeAnythingIsWritten) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"render", "picture.png", "-o", "shot.xyz"},
          std::vector<std::string>{"convert", "picture.png", "shot.xyz"},
          std::vector<std::string>{"render", "picture.png", "-o", "shot"}}) {
        const ToolRun run = orrery(dir.path(), args);
        EXPECT_EQ(run.exitCode, 2) << args.back();
        EXPECT_NE(run.err.find("cannot write " + args.back() + ": no encoder for its extension"), std::string::npos)
            << run.err;
        EXPECT_FALSE(fs::exists(dir.file(args.back())));
    }
}

TEST_F(OrreryCli, InfoListsTagNamesAndTextsAndConvertSavesThroughThePlugin) {
    std::unique_ptr<Image> image;
    ASSERT_EQ(createBitmapFromScan0(8, 8, 0, PixelFormat24bppRGB, nullptr, image), Status::Ok);
    ASSERT_EQ(image->setPropertyItem(PropertyItem::fromAscii(271, "Line\t\"one\"")), Status::Ok);
    ASSERT_EQ(image->setPropertyItem(PropertyItem::fromShorts(274, {6})), Status::Ok);
    ASSERT_EQ(image->save(dir.file("tagged.jpg").string(), CodecClsid::JPEG, {}), Status::Ok);

    const ToolRun info = orrery(dir.path(), {"info", "tagged.jpg"});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("0x010f EquipMake type 2 length 11: 4c696e6509226f6e652200 = \"Line\\t\\\"one\\\"\\0\"\n"),
              std::string::npos) << info.out;
    EXPECT_NE(info.out.find("0x0112 Orientation type 3 length 2: 0600 = \" 6\"\n"), std::string::npos) << info.out;
    const ToolRun json = orrery(dir.path(), {"info", "--json", "tagged.jpg"});
    EXPECT_NE(json.out.find("\"name\":\"EquipMake\",\"type\":2,\"length\":11,\"value\":\"4c696e6509226f6e652200\","
                            "\"text\":\"Line\\u0009\\\"one\\\"\\u0000\""),
              std::string::npos) << json.out;

    EXPECT_EQ(orrery(dir.path(), {"convert", "--plugin", "tagged.jpg", "copy.nothing"}).exitCode, 2);
    EXPECT_FALSE(fs::exists(dir.file("copy.nothing")));
    const ToolRun convert = orrery(dir.path(), {"convert", "--plugin", "tagged.jpg", "copy.tif"});
    if (convert.exitCode == 1 && convert.err.find("status 300") != std::string::npos) GTEST_SKIP() << "no plug-in";
    ASSERT_EQ(convert.exitCode, 0) << convert.err;
    auto copy = decode(dir.file("copy.tif"));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->rawFormat(), ImageFormat::TIFF);
}

}  // namespace
