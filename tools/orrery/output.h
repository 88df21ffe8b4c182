#pragma once
#include <string>

#include "platform/gdiplus/codec.h"
#include "platform/gdiplus/image.h"

namespace orrery::tool {

// The encoder that OUT's extension names, as convert and render choose it.
// When no encoder writes that extension, prints why (and which extensions
// can be written) and returns null; the caller then ends with exit code 2
// before anything is written.
const gdiplus::Encoder* encoderForOutput(const std::string& path);

// Encodes the image's current frame and writes it to `path`. Returns the exit
// code: 0, or 1 after printing why the image could not be encoded or the
// file not written (a partly written file is removed).
// A String quoted as the tool prints it: control characters (the NUL that
// ends a tag's text, line ends, ...), the quote and the backslash escaped
// ("\0", "\n", "\x1B", "\"", "\\") as scripts write them, so that each
// value stays on its line and shows every character it holds.
std::string quotedText(const std::string& s);

int writeImage(const gdiplus::Image& image, const std::string& path, const gdiplus::Encoder& encoder,
               const gdiplus::EncoderParameters& params);

}  // namespace orrery::tool
