// Pictures taken from memory and handles, and given back on the clipboard or
// as bitmap handles. Each operation returns a QuillonStatus value.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "platform/automation/stream.h"
#include "platform/gdi/handles.h"
#include "platform/gdiplus/image.h"
#include "platform/window/clipboard.h"

namespace orrery::imaging {

// A new entry holding a copy of a bitmap's or an icon's pixels; the caller
// keeps its handle. A handle that names no such object gives InvalidParameter.
int32_t LoadFromHBitmap(int32_t& id, gdi::HBITMAP bitmap);
int32_t LoadFromHIcon(int32_t& id, gdi::HICON icon);

// Who frees a global block after LoadFromGdiDib: the caller, or the new
// entry when it is released.
enum class BlockOwner { Caller, Entry };
// How the resolution of the DIB header is rounded: to three decimals, or to
// whole dots per inch.
enum class ResolutionRounding { ThreeDecimals, Whole };

// A new entry of the packed DIB in a global block. The pixels are copied, so
// the block is not needed afterwards. Handle 0 gives InvalidParameter, a
// block that cannot be locked GenericError, and a block too small for the
// header, colour table and bits it announces InvalidParameter. A 1-bit
// picture with opaque white as colour 0 and opaque black as colour 1 is
// stored with black first and its indices inverted, so it looks the same.
int32_t LoadFromGdiDib(int32_t& id, gdi::HGLOBAL block, BlockOwner owner, ResolutionRounding rounding);

// A new entry of the picture in a stream, read from its position to its end.
// GIF frames and TIFF pages are split into temporary frame files, so the
// stream is not needed afterwards.
int32_t LoadFromStream(int32_t& id, automation::IStream& stream, bool useIcm);

// Writes `bytes` into a fresh temporary file of the private folder; the path
// in `path`. GenericError when no file could be written.
int32_t WriteBytesToTempFile(std::span<const uint8_t> bytes, std::string& path);

// The first picture the clipboard offers: a DIB, else a bitmap, else a
// metafile picture (or the enhanced metafile offering that format),
// rasterised on white. A clipboard with a palette but no picture gives
// InvalidParameter, one without any of them GenericError.
int32_t LoadFromClipboard(int32_t& id, const window::Clipboard& clipboard);

// A new entry of the WMF or EMF file at `path` rasterised at its own size
// times `scale` on transparent (32bppARGB). A missing file gives
// FileNotFound; a scale that is not finite, or a side below one pixel,
// InvalidParameter; a picture beyond the allocation limit OutOfMemory.
int32_t LoadMetafile(int32_t& id, const std::string& path, float scale);

// A new bitmap handle of entry `id`'s drawable image composited over
// transparent black, owned by the caller; 0 with the status in `status`.
gdi::HBITMAP GetHBitmap(int32_t id, int32_t& status);

// Puts a bitmap of entry `id`'s drawable image (composited over transparent
// black) on the clipboard as its only format, CF_BITMAP.
int32_t CopyImageToClipboard(int32_t id, window::Clipboard& clipboard);
// The same for a rectangle of the image, in image pixels, cloned in the
// image's own pixel format; a rectangle outside the image gives
// InvalidParameter and leaves the clipboard as it was.
int32_t CopyImageAreaToClipboard(int32_t id, const gdiplus::Rect& area, window::Clipboard& clipboard);

}  // namespace orrery::imaging
