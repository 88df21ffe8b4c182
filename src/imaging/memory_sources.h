// Pictures taken from memory and handles, and given back on the clipboard or
// as bitmap handles. Each operation returns a QuillonStatus value.
#pragma once
#include <cstdint>

#include "platform/gdiplus/image.h"
#include "platform/window/clipboard.h"

namespace orrery::imaging {

// Puts a bitmap of entry `id`'s drawable image (composited over transparent
// black) on the clipboard as its only format, CF_BITMAP.
int32_t CopyImageToClipboard(int32_t id, window::Clipboard& clipboard);
// The same for a rectangle of the image, in image pixels, cloned in the
// image's own pixel format; a rectangle outside the image gives
// InvalidParameter and leaves the clipboard as it was.
int32_t CopyImageAreaToClipboard(int32_t id, const gdiplus::Rect& area, window::Clipboard& clipboard);

}  // namespace orrery::imaging
