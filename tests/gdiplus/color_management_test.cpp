// Embedded colour profiles: frames transformed to sRGB, broken or foreign
// profiles ignored, and the JPEG loader applying profiles only when asked.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <lcms2.h>

#include "platform/gdiplus/color_management.h"
#include "platform/gdiplus/factory.h"
#include "support/jpeg_builder.h"
#include "support/test_support.h"

namespace orrery::gdiplus {
namespace {

std::vector<uint8_t> saveProfile(cmsHPROFILE p) {
    cmsUInt32Number size = 0;
    EXPECT_TRUE(cmsSaveProfileToMem(p, nullptr, &size));
    std::vector<uint8_t> out(size);
    EXPECT_TRUE(cmsSaveProfileToMem(p, out.data(), &size));
    cmsCloseProfile(p);
    return out;
}

// An RGB profile with a D65 white, the given primaries and one gamma curve.
std::vector<uint8_t> rgbProfile(const cmsCIExyYTRIPLE& primaries, double gamma) {
    cmsCIExyY white;
    cmsWhitePointFromTemp(&white, 6504);
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return saveProfile(p);
}

// sRGB primaries with linear (gamma 1.0) curves: mid values get lighter.
std::vector<uint8_t> linearRgbProfile() {
    return rgbProfile({{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}}, 1.0);
}

// sRGB with the red and blue primaries swapped.
std::vector<uint8_t> swappedPrimariesProfile() {
    return rgbProfile({{0.15, 0.06, 1}, {0.30, 0.60, 1}, {0.64, 0.33, 1}}, 2.2);
}

std::vector<uint8_t> linearGrayProfile() {
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsHPROFILE p = cmsCreateGrayProfile(cmsD50_xyY(), linear);
    cmsFreeToneCurve(linear);
    return saveProfile(p);
}

Frame solidFrame(PixelFormat format, ARGB colour) {
    Frame f;
    EXPECT_EQ(PixelData::allocate(4, 3, format, f.pixels), Status::Ok);
    for (int y = 0; y < 3; ++y) rowFromArgb32(format, std::vector<ARGB>(4, colour).data(), 4, nullptr, f.pixels.row(y));
    return f;
}

ARGB firstPixel(const Frame& f) {
    ARGB c = 0;
    rowToArgb32(f.pixels.format(), f.pixels.row(2), 3, 1, &f.palette, &c);
    return c;
}

int channel(ARGB c, int shift) { return int((c >> shift) & 0xff); }

TEST(ColorManagement, LinearProfileLightensMidTonesInEveryRgbFormat) {
    for (PixelFormat format : {PixelFormat24bppRGB, PixelFormat32bppRGB, PixelFormat32bppARGB,
                               PixelFormat48bppRGB, PixelFormat64bppARGB}) {
        SCOPED_TRACE(pixelFormatName(format));
        Frame f = solidFrame(format, 0x80808080);
        f.iccProfile = linearRgbProfile();
        applyEmbeddedProfile(f);
        ARGB c = firstPixel(f);
        // Linear 0.5 is about 188 in sRGB.
        for (int s : {0, 8, 16}) EXPECT_NEAR(channel(c, s), 188, 3) << std::hex << c;
        if (hasAlpha(format)) {
            EXPECT_EQ(channel(c, 24), 0x80);
        }
    }
}

TEST(ColorManagement, SwappedPrimariesTurnRedToBlue) {
    Frame f = solidFrame(PixelFormat24bppRGB, 0xFFFF0000);
    f.iccProfile = swappedPrimariesProfile();
    applyEmbeddedProfile(f);
    ARGB c = firstPixel(f);
    EXPECT_GT(channel(c, 0), 200) << std::hex << c;
    EXPECT_LT(channel(c, 16), 60) << std::hex << c;
}

TEST(ColorManagement, GreyPalettesStayGrey) {
    Frame f;
    ASSERT_EQ(PixelData::allocate(2, 2, PixelFormat8bppIndexed, f.pixels), Status::Ok);
    f.palette = grayPalette(256);
    f.iccProfile = linearGrayProfile();
    applyEmbeddedProfile(f);
    ARGB mid = f.palette.entries[128];
    EXPECT_NEAR(channel(mid, 0), 188, 3);
    EXPECT_EQ(channel(mid, 0), channel(mid, 8));
    EXPECT_EQ(channel(mid, 0), channel(mid, 16));
    EXPECT_NE(f.palette.flags & PaletteFlagsGrayScale, 0u);
    EXPECT_EQ(f.palette.entries[0], 0xFF000000u);
    EXPECT_EQ(f.palette.entries[255], 0xFFFFFFFFu);
}

TEST(ColorManagement, BrokenOrForeignProfilesLeaveThePixels) {
    std::vector<std::vector<uint8_t>> profiles = {
        {},
        std::vector<uint8_t>(200, 0x41),
        linearGrayProfile(),  // grey profile, RGB pixels
    };
    std::vector<uint8_t> truncated = linearRgbProfile();
    truncated.resize(truncated.size() / 2);
    profiles.push_back(truncated);
    for (const auto& profile : profiles) {
        Frame f = solidFrame(PixelFormat24bppRGB, 0xFF336699);
        f.iccProfile = profile;
        applyEmbeddedProfile(f);
        EXPECT_EQ(firstPixel(f), 0xFF336699u);
    }
    EXPECT_FALSE(CmykTransform(linearRgbProfile(), false).valid());
    EXPECT_FALSE(CmykTransform(std::vector<uint8_t>(100, 1), true).valid());
}

std::vector<uint8_t> jpegWithProfile(const std::vector<uint8_t>& samples, int components,
                                     const std::vector<uint8_t>& icc) {
    orrery::test::JpegParams layout;
    layout.width = layout.height = 16;
    layout.components = components;
    layout.icc = icc;
    return orrery::test::compressJpeg(samples, layout);
}

ARGB centre(const std::vector<uint8_t>& jpeg, bool icm, std::vector<uint8_t>* profile = nullptr) {
    DecodeOptions options;
    options.useEmbeddedColorManagement = icm;
    std::unique_ptr<Image> image;
    EXPECT_EQ(loadImageFromBytes(ByteSource::copyOf(jpeg), options, image), Status::Ok);
    if (!image) return 0;
    if (profile) *profile = image->frame().iccProfile;
    ARGB c = 0;
    EXPECT_EQ(image->getPixel(8, 8, c), Status::Ok);
    return c;
}

TEST(ColorManagement, JpegProfileIsAppliedOnlyWhenAsked) {
    std::vector<uint8_t> icc = linearRgbProfile();
    auto jpeg = jpegWithProfile(std::vector<uint8_t>(16 * 16 * 3, 128), 3, icc);
    std::vector<uint8_t> kept;
    ARGB plain = centre(jpeg, false, &kept);
    ARGB managed = centre(jpeg, true);
    EXPECT_EQ(kept, icc);
    EXPECT_NEAR(channel(plain, 8), 128, 2);
    EXPECT_NEAR(channel(managed, 8), 188, 4);
}

TEST(ColorManagement, JpegProfileSplitOverSeveralChunksIsReassembled) {
    ORRERY_REQUIRE_CORPUS();
    std::vector<uint8_t> icc = test::readFile(test::corpusPath("libjpeg-turbo/test1.icc"));
    ASSERT_GT(icc.size(), 65519u * 2);  // needs at least three APP2 chunks
    std::vector<uint8_t> cmyk;
    for (int i = 0; i < 16 * 16; ++i) cmyk.insert(cmyk.end(), {0, 255, 255, 255});  // inverted: cyan ink
    auto jpeg = jpegWithProfile(cmyk, 4, icc);
    std::vector<uint8_t> kept;
    ARGB plain = centre(jpeg, false, &kept);
    ARGB managed = centre(jpeg, true);
    EXPECT_EQ(kept, icc);
    EXPECT_LE(channel(plain, 16), 4);
    // Through the press profile, printed cyan is lighter and less pure than
    // the formula's, but still cyan.
    EXPECT_NE(managed, plain);
    EXPECT_LT(channel(managed, 16), 120) << std::hex << managed;
    EXPECT_GT(channel(managed, 0), 150) << std::hex << managed;
    EXPECT_GT(channel(managed, 8), 120) << std::hex << managed;
}

}  // namespace
}  // namespace orrery::gdiplus
