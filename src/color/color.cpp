#include "color/color.h"

#include <algorithm>
#include <cmath>

namespace orrery::color {

int32_t roundHalfEven(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

void cCMY::RGB(uint32_t colorref) {
    R(static_cast<uint8_t>(colorref));
    G(static_cast<uint8_t>(colorref >> 8));
    b(static_cast<uint8_t>(colorref >> 16));
}

void cCMY::FromCMY(uint8_t cValue, uint8_t mValue, uint8_t yValue) {
    C(cValue);
    M(mValue);
    Y(yValue);
}

void cCMYK::RGB(uint32_t colorref) {
    R_ = static_cast<uint8_t>(colorref);
    G_ = static_cast<uint8_t>(colorref >> 8);
    b_ = static_cast<uint8_t>(colorref >> 16);
    updateCMYK();
}

void cCMYK::FromCMY(uint8_t cValue, uint8_t mValue, uint8_t yValue) {
    R_ = 255 - cValue;
    G_ = 255 - mValue;
    b_ = 255 - yValue;
    updateCMYK();
}

cCMY cCMYK::ToCMY() const {
    cCMY cmy;
    cmy.RGB(RGB());
    return cmy;
}

void cCMYK::FromCMYK(uint8_t cValue, uint8_t mValue, uint8_t yValue, uint8_t kValue) {
    C_ = cValue;
    M_ = mValue;
    Y_ = yValue;
    K_ = kValue;
    updateRGB();
}

void cCMYK::updateCMYK() {
    const int32_t c = 255 - R_, m = 255 - G_, y = 255 - b_;
    K_ = std::min({c, m, y});
    if (K_ == 255) {
        C_ = M_ = Y_ = 255;
        return;
    }
    auto scale = [this](int32_t v) { return roundHalfEven((v - K_) * 255.0 / (255 - K_)); };
    C_ = scale(c);
    M_ = scale(m);
    Y_ = scale(y);
}

void cCMYK::updateRGB() {
    auto back = [this](int32_t component) {
        const int32_t t = std::min(255, roundHalfEven(component * (255 - K_) / 255.0 + K_));
        return 255 - t;
    };
    R_ = back(C_);
    G_ = back(M_);
    b_ = back(Y_);
}

}  // namespace orrery::color
