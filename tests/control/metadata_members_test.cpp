// The metadata members by name through the dispatch interface: a camera
// JPEG the test writes lists the same names and texts whether the codec
// plug-in reads it or the imaging layer does, IPTC tags come from the
// plug-in only, and each member keeps its status rule.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "control/orrery.h"
#include "imaging/codec_plugin.h"
#include "imaging/plugin_api.h"
#include "platform/gdiplus/factory.h"
#include "orrery/window/headless_backend.h"
#include "support/control_maker.h"
#include "support/test_support.h"

using namespace orrery;
using namespace orrery::automation;
using namespace std::string_literals;
namespace fs = std::filesystem;
namespace gp = orrery::gdiplus;

namespace {

constexpr int32_t kInvalidParameter = 2, kPropertyNotFound = 19, kPluginRequired = 300;

// Runs with ORRERY_CODEC_PLUGIN as given (nullptr: the installed plug-in)
// while in scope.
class PluginSetting {
public:
    explicit PluginSetting(const char* value) {
        if (value) setenv("ORRERY_CODEC_PLUGIN", value, 1);
        else unsetenv("ORRERY_CODEC_PLUGIN");
        imaging::plugin::reloadCodecPluginForTesting();
    }
    ~PluginSetting() {
        unsetenv("ORRERY_CODEC_PLUGIN");
        imaging::plugin::reloadCodecPluginForTesting();
    }
};

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> rationals(std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> out;
    for (uint32_t v : values) test::put32(out, v);
    return out;
}

// A 32 x 16 JPEG with the tags of a camera: orientation, resolution,
// exposure, a user comment and a GPS position.
void writeCameraJpeg(const fs::path& path) {
    std::unique_ptr<gp::Image> bitmap;
    ASSERT_EQ(gp::createBitmapFromScan0(32, 16, 0, gp::PixelFormat24bppRGB, nullptr, bitmap), gp::Status::Ok);
    const std::vector<gp::PropertyItem> items = {
        gp::PropertyItem::fromShorts(274, {6}),
        gp::PropertyItem::fromRational(282, 72, 1),
        gp::PropertyItem::fromRational(283, 72, 1),
        gp::PropertyItem::fromAscii(271, "Orrery Optics"),
        gp::PropertyItem::fromRational(33434, 1, 250),
        gp::PropertyItem::fromRational(33437, 28, 10),
        {37510, 7, bytesOf("ASCII\0\0\0Hello"s)},
        gp::PropertyItem::fromAscii(1, "N"),
        {2, 5, rationals({52, 1, 30, 1, 155, 10})},
    };
    for (const gp::PropertyItem& item : items) ASSERT_EQ(bitmap->setPropertyItem(item), gp::Status::Ok);
    ASSERT_EQ(bitmap->save(path.string(), gp::CodecClsid::JPEG, {}), gp::Status::Ok);
}

// The JPEG at `path` with a Photoshop APP13 block of two IPTC records
// (object name and caption) after its start marker.
void addIptcBlock(const fs::path& path) {
    std::vector<uint8_t> records;
    for (const auto& [dataset, text] : {std::pair<uint8_t, std::string>{5, "Orrery"}, {120, "A brass model"}}) {
        records.insert(records.end(), {0x1C, 2, dataset});
        test::put16be(records, static_cast<uint32_t>(text.size()));
        records.insert(records.end(), text.begin(), text.end());
    }
    std::vector<uint8_t> block;
    const std::string signature = "Photoshop 3.0"s + '\0' + "8BIM";
    block.insert(block.end(), signature.begin(), signature.end());
    test::put16be(block, 0x0404);
    block.insert(block.end(), {0, 0});
    test::put32be(block, static_cast<uint32_t>(records.size()));
    block.insert(block.end(), records.begin(), records.end());
    if (records.size() % 2) block.push_back(0);
    std::vector<uint8_t> jpeg = test::readFile(path);
    std::vector<uint8_t> segment = {0xFF, 0xED};
    test::put16be(segment, static_cast<uint32_t>(block.size() + 2));
    segment.insert(segment.end(), block.begin(), block.end());
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    test::writeFile(path, jpeg);
}

struct Tag {
    std::string name, value;
    friend bool operator==(const Tag&, const Tag&) = default;
};

class MetadataMembers : public ::testing::Test {
protected:
    void SetUp() override {
        control = test::makeControl(backend);
        control->InitProperties();
        control->setSilentMode(true);
        writeCameraJpeg(camera);
    }

    Variant call(const char* name, std::vector<Variant> args = {}) {
        Variant result;
        EXPECT_EQ(invokeByName(*control, name, DISPATCH_METHOD, args, &result), S_OK) << name;
        return result;
    }
    int32_t callLong(const char* name, std::vector<Variant> args = {}) { return call(name, std::move(args)).i4(); }
    std::string callText(const char* name, int32_t n) { return call(name, {Variant(n)}).str(); }
    int32_t stat() { return callLong("GetStat"); }

    // Every property item of the shown image by identifier, as the members
    // give them; the count's status must be 0.
    std::map<int32_t, Tag> exifTags() {
        const int32_t count = callLong("ExifTagCount");
        EXPECT_EQ(stat(), 0);
        std::map<int32_t, Tag> tags;
        for (int32_t n = 1; n <= count; ++n)
            tags[callLong("ExifTagGetID", {Variant(n)})] = {callText("ExifTagGetName", n),
                                                            callText("ExifTagGetValue", n)};
        for (int32_t outside : {0, -1, count + 1}) {
            EXPECT_EQ(callLong("ExifTagGetID", {Variant(outside)}), 0);
            EXPECT_EQ(callText("ExifTagGetName", outside), "");
            EXPECT_EQ(callText("ExifTagGetValue", outside), "");
        }
        return tags;
    }

    test::TempDir files;
    fs::path camera = files.file("camera.jpg");
    window::HeadlessBackend backend;
    std::unique_ptr<control::Orrery> control;
};

}  // namespace

TEST_F(MetadataMembers, CameraTagsReadTheSameWithAndWithoutThePlugin) {
    const std::map<int32_t, Tag> expected = {
        {274, {"Orientation", " 6"}},
        {282, {"XResolution", " 72"}},
        {271, {"EquipMake", "Orrery Optics\0"s}},
        {33434, {"ExifExposureTime", " .004"}},
        {33437, {"ExifFNumber", " 2.8"}},
        {37510, {"ExifUserComment", "Hello"}},
        {1, {"GpsLatitudeRef", "N\0"s}},
        {2, {"GpsLatitude", " 52,  30,  15.5"}},
    };
    std::map<int32_t, Tag> withoutPlugin;
    {
        PluginSetting off("none");
        ASSERT_EQ(callLong("DisplayFromFile", {Variant(camera.string())}), 0);
        withoutPlugin = exifTags();
    }
    for (const auto& [id, tag] : expected) EXPECT_EQ(withoutPlugin[id], tag) << id;

    PluginSetting on(nullptr);
    if (!imaging::IsPluginAvailable()) GTEST_SKIP() << "no codec plug-in";
    ASSERT_EQ(callLong("DisplayFromFile", {Variant(camera.string())}), 0);
    std::map<int32_t, Tag> withPlugin = exifTags();
    for (const auto& [id, tag] : expected) EXPECT_EQ(withPlugin[id], tag) << id;
    for (const auto& [id, tag] : withPlugin)
        if (withoutPlugin.count(id)) {
            EXPECT_EQ(withoutPlugin[id], tag) << id;
        }
}

TEST_F(MetadataMembers, StatusRules) {
    {
        PluginSetting off("none");
        // No image: nothing to count, and the imaging layer's status for it.
        EXPECT_EQ(callLong("ExifTagCount"), 0);
        EXPECT_EQ(stat(), kInvalidParameter);
        EXPECT_EQ(callText("ExifTagGetName", 1), "");
        // Without the plug-in the IPTC members say so first.
        EXPECT_EQ(callLong("IPTCTagCount"), 0);
        EXPECT_EQ(stat(), kPluginRequired);
        ASSERT_EQ(callLong("DisplayFromFile", {Variant(camera.string())}), 0);
        EXPECT_EQ(callLong("IPTCTagCount"), 0);
        EXPECT_EQ(stat(), kPluginRequired);
        EXPECT_EQ(callLong("IPTCTagGetID", {Variant(int32_t{1})}), 0);
        EXPECT_EQ(stat(), kPluginRequired);
        EXPECT_EQ(callText("IPTCTagGetValueString", 1), "");
        EXPECT_EQ(stat(), kPluginRequired);
        // The EXIF readers leave the last status as it was.
        EXPECT_NE(callText("ExifTagGetName", 1), "");
        EXPECT_EQ(callText("ExifTagGetValue", 99), "");
        EXPECT_EQ(stat(), kPluginRequired);
        EXPECT_GT(callLong("ExifTagCount"), 0);
        EXPECT_EQ(stat(), 0);
    }
    PluginSetting on(nullptr);
    if (!imaging::IsPluginAvailable()) GTEST_SKIP() << "no codec plug-in";
    callLong("CloseImage");
    EXPECT_EQ(callLong("IPTCTagCount"), 0);
    EXPECT_EQ(stat(), 0);
    EXPECT_EQ(callLong("IPTCTagGetID", {Variant(int32_t{1})}), 0);
    EXPECT_EQ(stat(), kPropertyNotFound);
}

TEST_F(MetadataMembers, IptcTagsComeFromThePlugin) {
    PluginSetting on(nullptr);
    if (!imaging::IsPluginAvailable()) GTEST_SKIP() << "no codec plug-in";
    addIptcBlock(camera);
    ASSERT_EQ(callLong("DisplayFromFile", {Variant(camera.string())}), 0);
    const int32_t count = callLong("IPTCTagCount");
    EXPECT_EQ(stat(), 0);
    std::map<int32_t, std::string> tags;
    for (int32_t n = 1; n <= count; ++n) {
        const int32_t id = callLong("IPTCTagGetID", {Variant(n)});
        EXPECT_EQ(stat(), 0);
        tags[id] = callText("IPTCTagGetValueString", n);
    }
    EXPECT_EQ(tags[0x0205], "Orrery");
    EXPECT_EQ(tags[0x0278], "A brass model");
    for (int32_t outside : {0, count + 1}) {
        EXPECT_EQ(callLong("IPTCTagGetID", {Variant(outside)}), 0);
        EXPECT_EQ(stat(), kPropertyNotFound);
        EXPECT_EQ(callText("IPTCTagGetValueString", outside), "");
        EXPECT_EQ(stat(), kPropertyNotFound);
    }
    // The EXIF tags of the same file are still there.
    EXPECT_EQ(exifTags()[274].value, " 6");
}

// Real files with IPTC blocks, GPS directories and broken resolutions list
// every tag with a name and a text, with and without the plug-in.
TEST_F(MetadataMembers, CorpusFilesListWithoutFault) {
    ORRERY_REQUIRE_CORPUS();
    for (const char* plugin : {"none", static_cast<const char*>(nullptr)}) {
        PluginSetting setting(plugin);
        for (const char* file : {"pillow/iptc.jpg", "pillow/app13.jpg", "pillow/exif_gps.jpg",
                                 "pillow/exif-dpi-zerodivision.jpg", "libtiff/custom_dir_EXIF_GPS.tiff"}) {
            ASSERT_EQ(callLong("DisplayFromFile", {Variant(test::corpusPath(file).string())}), 0) << file;
            // exif_gps.jpg's XResolution is 0xFFFFFFFF/1: -1, no resolution.
            EXPECT_LT(control->HorizontalResolution(), 1e5f) << file;
            for (const auto& [id, tag] : exifTags()) EXPECT_NE(tag.name, "") << file << " " << id;
            const int32_t iptc = callLong("IPTCTagCount");
            if (plugin && imaging::IsPluginAvailable() && std::string(file).find("iptc") != std::string::npos) {
                EXPECT_GT(iptc, 0) << file;
            }
            for (int32_t n = 1; n <= iptc; ++n) {
                call("IPTCTagGetValueString", {Variant(n)});
                EXPECT_EQ(stat(), 0) << file;
            }
        }
    }
}
