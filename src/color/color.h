// Colour value classes: cColor holds one ARGB value as drawing uses it and
// converts from the COLORREF form (0x00BBGGRR); cCMY and cCMYK hold a colour
// in RGB and subtractive form at once and keep both in step.
#pragma once
#include <cstdint>

namespace orrery::color {

class cColor {
public:
    void FromARGB(uint8_t a, uint8_t r, uint8_t g, uint8_t b) { value_ = MakeARGB(a, r, g, b); }
    void FromARGBColor(uint32_t argb) { value_ = argb; }
    void FromRGB(uint8_t r, uint8_t g, uint8_t b) { value_ = MakeARGB(255, r, g, b); }
    void FromRGBColor(uint32_t colorref) { SetFromCOLORREF(colorref); }
    uint8_t GetAlpha() const { return static_cast<uint8_t>(value_ >> 24); }
    uint8_t GetBlue() const { return static_cast<uint8_t>(value_); }
    uint8_t GetGreen() const { return static_cast<uint8_t>(value_ >> 8); }
    uint8_t GetRed() const { return static_cast<uint8_t>(value_ >> 16); }
    uint32_t GetValue() const { return value_; }
    static uint32_t MakeARGB(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
        return (uint32_t(a) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
    }
    void SetFromCOLORREF(uint32_t colorref) {
        value_ = MakeARGB(255, static_cast<uint8_t>(colorref), static_cast<uint8_t>(colorref >> 8),
                          static_cast<uint8_t>(colorref >> 16));
    }
    void SetValue(uint32_t argb) { value_ = argb; }

private:
    uint32_t value_ = 0;
};

class cCMY {
public:
    uint32_t RGB() const { return uint32_t(b_) * 65536 + uint32_t(G_) * 256 + uint32_t(R_); }
    void RGB(uint32_t colorref);
    int32_t R() const { return R_; }
    int32_t G() const { return G_; }
    int32_t b() const { return b_; }
    void R(uint8_t v) { R_ = v, C_ = 255 - v; }
    void G(uint8_t v) { G_ = v, M_ = 255 - v; }
    void b(uint8_t v) { b_ = v, Y_ = 255 - v; }
    int32_t C() const { return C_; }
    int32_t M() const { return M_; }
    int32_t Y() const { return Y_; }
    void C(uint8_t v) { C_ = v, R_ = 255 - v; }
    void M(uint8_t v) { M_ = v, G_ = 255 - v; }
    void Y(uint8_t v) { Y_ = v, b_ = 255 - v; }
    void FromCMY(uint8_t cValue, uint8_t mValue, uint8_t yValue);

private:
    int32_t R_ = 0, G_ = 0, b_ = 0;
    int32_t C_ = 255, M_ = 255, Y_ = 255;
};

class cCMYK {
public:
    uint32_t RGB() const { return uint32_t(b_) * 65536 + uint32_t(G_) * 256 + uint32_t(R_); }
    void RGB(uint32_t colorref);
    int32_t R() const { return R_; }
    int32_t G() const { return G_; }
    int32_t b() const { return b_; }
    void R(uint8_t v) { R_ = v, updateCMYK(); }
    void G(uint8_t v) { G_ = v, updateCMYK(); }
    void b(uint8_t v) { b_ = v, updateCMYK(); }
    int32_t C() const { return C_; }
    int32_t M() const { return M_; }
    int32_t Y() const { return Y_; }
    int32_t K() const { return K_; }
    void C(uint8_t v) { C_ = v, updateRGB(); }
    void M(uint8_t v) { M_ = v, updateRGB(); }
    void Y(uint8_t v) { Y_ = v, updateRGB(); }
    void K(uint8_t v) { K_ = v, updateRGB(); }
    void FromCMY(uint8_t cValue, uint8_t mValue, uint8_t yValue);
    cCMY ToCMY() const;
    void FromCMYK(uint8_t cValue, uint8_t mValue, uint8_t yValue, uint8_t kValue);

private:
    void updateCMYK();
    void updateRGB();
    int32_t R_ = 0, G_ = 0, b_ = 0;
    int32_t C_ = 0, M_ = 0, Y_ = 0, K_ = 0;
};

// Rounds to the nearest integer, halves to even, as every conversion of the
// control does.
int32_t roundHalfEven(double v);

}  // namespace orrery::color
