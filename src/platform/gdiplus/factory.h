// Creating images: from files, streams, bytes, caller pixels, packed DIBs and
// bitmap or icon handles, and making handles from images.
#pragma once
#include <memory>
#include <string>

#include "platform/gdiplus/codec.h"
#include "platform/gdiplus/image.h"

namespace orrery::automation {
class IStream;
}

namespace orrery::gdiplus {

// FileNotFound for a missing file, UnknownImageFormat for content no decoder
// recognises, the decoder's status otherwise.
Status loadImageFromFile(const std::string& path, const DecodeOptions& options,
                         std::unique_ptr<Image>& out);
Status loadImageFromBytes(std::shared_ptr<const ByteSource> bytes, const DecodeOptions& options,
                          std::unique_ptr<Image>& out);
// A bitmap of a file, as CreateBitmapFromFile makes one: a metafile is
// rasterised at its own size on transparent, keeping its raw format and
// resolution; other files load as loadImageFromFile loads them.
Status createBitmapFromFile(const std::string& path, const DecodeOptions& options, std::unique_ptr<Image>& out);
// Reads the stream from its current position to its end.
Status loadImageFromStream(automation::IStream& stream, const DecodeOptions& options,
                           std::unique_ptr<Image>& out);
Status saveImageToStream(const Image& image, automation::IStream& stream, const Guid& clsid,
                         const EncoderParameters& params);

// CreateBitmapFromScan0: scan0 null allocates zeroed pixels (stride ignored);
// otherwise wraps the caller's memory with its stride, which must outlive the
// image. InvalidParameter for sizes below 1 or an unknown format.
Status createBitmapFromScan0(int width, int height, ptrdiff_t stride, PixelFormat format,
                             uint8_t* scan0, std::unique_ptr<Image>& out);

}  // namespace orrery::gdiplus
