// The installed image encoders as the image store keeps them: a map from
// each pattern of an encoder's file-name-extension list ("*.PNG") to the
// encoder, read when the imaging session opens, and the two save operations
// that frame handling uses. Both encode into memory; the caller writes the
// bytes (temporary files go through the private folder).
#pragma once
#include <cstdint>
#include <string>

#include "platform/gdiplus/codec.h"
#include "platform/gdiplus/image.h"

namespace orrery::imaging {

// Reads the encoder list into the map (again, when called again).
void ReadEncoders();
// The encoder of `pattern` ("*.tif"), compared without regard to case; null
// when none has it.
const gdiplus::Encoder* FindEncoder(const std::string& pattern);

// PNG bytes of the image's current frame; UnknownImageFormat without a PNG
// encoder, the encoder's status otherwise.
int32_t SavePng(const gdiplus::Image& image, gdiplus::ByteSink& out);
// TIFF bytes. `compression` is an EncoderValueCompression... value (0: the
// encoder's choice); a bilevel compression (CCITT3, CCITT4, RLE) becomes LZW
// for a depth of 2 or more. `colourDepth` (0: the image's) is asked for only
// where the session's imaging version honours it.
int32_t SaveTiff(const gdiplus::Image& image, int32_t compression, int32_t colourDepth, gdiplus::ByteSink& out);

}  // namespace orrery::imaging
