// The built-in codecs. Each is defined in its own file of this folder and
// listed once in codec_registry.cpp.
#pragma once
#include "platform/gdiplus/codec.h"

namespace orrery::gdiplus::codecs {

const Decoder& bmpDecoder();
const Decoder& icoDecoder();
const Decoder& jpegDecoder();
const Decoder& pngDecoder();
const Decoder& gifDecoder();
const Decoder& tiffDecoder();
const Decoder& wmfDecoder();
const Decoder& emfDecoder();

const Encoder& bmpEncoder();
const Encoder& jpegEncoder();
const Encoder& gifEncoder();
const Encoder& tiffEncoder();
const Encoder& pngEncoder();

}  // namespace orrery::gdiplus::codecs
