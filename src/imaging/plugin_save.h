// Saving an image-store entry through the codec plug-in, with its property
// items exported as the bitmap's EXIF tags. The plug-in runs in the codec
// worker, so the host makes the output file and the worker only writes into
// the descriptor it is given; the file takes its name only once it is whole.
#pragma once
#include <cstdint>
#include <string>

#include "imaging/worker_wire.h"

namespace orrery::imaging {

// Saves entry `id` (its current frame for a container) to `path` in the
// plug-in's `format` (PluginFormat numbers), in the image's own depth where
// the plug-in writes it (8-bit indexed, 24 and 32 bits), else in 24 bits, or
// 32 with alpha. TIFF files are LZW-compressed. Returns 0, or
// VorplexDllRequired (300) without the plug-in, InvalidParameter (2) for an
// unknown image, UnknownImageFormat (13) for a format the plug-in does not
// write, GenericError (1) when the save fails (the worker crashed or passed
// its deadline included). A failed save leaves no file at `path`, and an
// existing file there is replaced only by a whole new one.
int32_t SaveWithPlugin(int32_t id, const std::string& path, int format);

// The plug-in's side, in the process that binds it: writes the picture file
// mapped at `file` (described by `picture`) into `fd` as `format`, with its
// property items and resolution. Returns 0, 13 or 1 as above.
int32_t savePictureWithBoundPlugin(const wire::Picture& picture, const uint8_t* file, int format, int fd);

}  // namespace orrery::imaging
