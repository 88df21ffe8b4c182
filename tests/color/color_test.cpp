#include "color/color.h"

#include <gtest/gtest.h>

using namespace orrery::color;

TEST(cColor, ConvertsFromRgbAndColorref) {
    cColor c;
    EXPECT_EQ(c.GetValue(), 0u);
    c.FromRGB(255, 0, 0);
    EXPECT_EQ(c.GetValue(), 0xFFFF0000u);
    cColor d;
    d.FromRGBColor(0x000000FF);
    EXPECT_EQ(d.GetValue(), 0xFFFF0000u);
    EXPECT_EQ(d.GetRed(), 255);
    EXPECT_EQ(d.GetAlpha(), 255);
    d.SetFromCOLORREF(0xAA332211);  // the top byte is ignored
    EXPECT_EQ(d.GetValue(), 0xFF112233u);
    EXPECT_EQ(d.GetBlue(), 0x33);
    EXPECT_EQ(d.GetGreen(), 0x22);
    EXPECT_EQ(cColor::MakeARGB(0, 0, 0, 0), 0u);
    EXPECT_EQ(d.GetValue(), 0xFF112233u);
    d.FromARGB(0x80, 1, 2, 3);
    EXPECT_EQ(d.GetValue(), 0x80010203u);
}

TEST(cCMY, KeepsBothFormsInStep) {
    cCMY c;
    c.RGB(0x00FF8000);
    EXPECT_EQ(c.R(), 0);
    EXPECT_EQ(c.G(), 128);
    EXPECT_EQ(c.b(), 255);
    EXPECT_EQ(c.C(), 255);
    EXPECT_EQ(c.M(), 127);
    EXPECT_EQ(c.Y(), 0);
    c.FromCMY(10, 20, 30);
    EXPECT_EQ(c.RGB(), (225u << 16) | (235u << 8) | 245u);
}

TEST(cCMYK, ComputesKAndRoundsHalvesToEven) {
    cCMYK k;
    k.RGB(0);
    EXPECT_EQ(k.K(), 255);
    EXPECT_EQ(k.C(), 255);
    EXPECT_EQ(k.Y(), 255);
    k.RGB(0x00FFFFFF);
    EXPECT_EQ(k.K(), 0);
    EXPECT_EQ(k.C(), 0);
    k.FromCMYK(0, 0, 0, 255);
    EXPECT_EQ(k.RGB(), 0u);
    k.FromCMYK(255, 0, 0, 0);
    EXPECT_EQ(k.R(), 0);
    EXPECT_EQ(k.G(), 255);
    EXPECT_EQ(k.b(), 255);
    // R=0, G=51, B=255: C'=255, M'=204, Y'=0, K=0 -> C=255, M=204, Y=0.
    k.RGB(0x00FF3300);
    EXPECT_EQ(k.M(), 204);
    // K=1: C = (255-1)*255/254 = 255; M' = 128 -> (128-1)*255/254 = 127.5 -> 128 (even).
    k.RGB(0x00FE7F00);
    EXPECT_EQ(k.K(), 1);
    EXPECT_EQ(k.M(), 128);
    // Back: t = 128 * 254 / 255 + 1 = 128.498 -> 128, so G = 127.
    k.K(1);
    EXPECT_EQ(k.G(), 127);
    cCMY cmy = k.ToCMY();
    EXPECT_EQ(cmy.RGB(), k.RGB());
}

TEST(Rounding, HalvesGoToEven) {
    EXPECT_EQ(roundHalfEven(0.5), 0);
    EXPECT_EQ(roundHalfEven(1.5), 2);
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(-1.5), -2);
}
