// Reading and writing TIFF-structured tag directories (IFDs) as property
// items: the EXIF block of a JPEG's APP1 segment and the tags of a TIFF page.
// The reader is bounded and loop-safe: it never follows an offset outside the
// data, visits every directory at most once and stops after a fixed number of
// entries.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "platform/gdiplus/property_item.h"
#include "platform/gdiplus/status.h"

namespace orrery::gdiplus {

// `tiff` starts with a TIFF header ("II*\0" or "MM\0*"); reads the directory
// at `ifdOffset` and the EXIF, GPS and interoperability directories it points
// to. Values become little-endian property items, in the order read. Entries
// that are damaged are skipped; InvalidParameter only when the header itself
// is not a TIFF header.
Status readTiffDirectory(std::span<const uint8_t> tiff, uint64_t ifdOffset,
                         std::vector<PropertyItem>& out);

// The payload of an APP1 segment that starts "Exif\0\0": reads IFD0, its
// sub-directories and the thumbnail directory IFD1 (thumbnail tags get the
// platform's 0x5000-range identifiers).
Status readExifBlock(std::span<const uint8_t> app1, std::vector<PropertyItem>& out);

// Builds an "Exif\0\0" APP1 payload (little-endian TIFF) from property items,
// placing EXIF and GPS tags in their own directories. Items the layout cannot
// hold (GIF frame properties, thumbnail data) are left out.
std::vector<uint8_t> writeExifBlock(const std::vector<PropertyItem>& items);

}  // namespace orrery::gdiplus
