// The platform's picture loader and picture saver: picture objects read from
// and written to the files of their kinds.
#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/automation/picture.h"

namespace orrery::automation {

// "Invalid picture": content that is no picture the loader reads.
inline constexpr HRESULT CTL_E_INVALIDPICTURE = static_cast<HRESULT>(0x800A01E1);
// "File not found".
inline constexpr HRESULT CTL_E_FILENOTFOUND = static_cast<HRESULT>(0x800A0035);

// A picture owning a new handle: a bitmap picture of a BMP, JPEG or GIF
// file (its first frame, transparency over white), an icon picture of an
// ICO file, a metafile picture of a placeable WMF (its size from the
// header) and an enhanced-metafile picture of an EMF. CTL_E_INVALIDPICTURE
// for any other or damaged content, E_OUTOFMEMORY beyond the allocation limit.
HRESULT loadPicture(std::span<const uint8_t> bytes, std::shared_ptr<Picture>& out);
// The same for a file; CTL_E_FILENOTFOUND when it cannot be read.
HRESULT loadPictureFile(const std::string& path, std::shared_ptr<Picture>& out);

// The picture as a file of its kind: a bitmap as BMP, an icon as ICO (32-bit
// colour with its mask), a metafile as placeable WMF sized from its HIMETRIC
// size, an enhanced metafile as EMF. E_INVALIDARG for a picture of no type,
// a handle that names nothing any more or a size no header can hold.
HRESULT savePicture(const IPicture& picture, std::vector<uint8_t>& out);

}  // namespace orrery::automation
