// Colour management of decoded frames: pixels described by an embedded ICC
// profile are turned into sRGB, the colour space drawing assumes.
#pragma once
#include <cstdint>
#include <span>

#include "platform/gdiplus/frame.h"

namespace orrery::gdiplus {

// Transforms the frame's pixels in place from `frame.iccProfile` to sRGB.
// Handles 24 and 32 bpp RGB (alpha kept), 48 and 64 bpp RGB, 16 bpp grey
// with a grey profile, and indexed frames through their palette (a grey
// palette stays grey). Does nothing when there is no profile, when the
// profile is broken or does not match the pixels: a profile never makes a
// load fail.
void applyEmbeddedProfile(Frame& frame);

// Turns CMYK samples into sRGB through an embedded CMYK profile, for
// decoders whose files store inks (CMYK JPEG). valid() is false when the
// profile is not a usable CMYK profile; the caller then converts by formula.
class CmykTransform {
public:
    // `inverted`: the file stores inverted ink values (255 = no ink), as
    // Adobe applications write them.
    CmykTransform(std::span<const uint8_t> profile, bool inverted);
    ~CmykTransform();
    CmykTransform(const CmykTransform&) = delete;
    CmykTransform& operator=(const CmykTransform&) = delete;

    bool valid() const { return transform_ != nullptr; }
    // Converts `count` pixels of 4 bytes to 24bppRGB (B, G, R).
    void toBgr(const uint8_t* cmyk, int count, uint8_t* bgr) const;

private:
    void* context_ = nullptr;
    void* transform_ = nullptr;
};

}  // namespace orrery::gdiplus
