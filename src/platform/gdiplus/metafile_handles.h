// Metafile images made from metafile handles, as the platform makes them
// from a Windows metafile with a placeable header of the caller's, or from
// an enhanced metafile. The handle stays the caller's: the image holds a
// copy of the records.
#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/gdi/handles.h"
#include "platform/gdiplus/image.h"

namespace orrery::gdiplus {

// What a placeable header says of a Windows metafile: its bounding box in
// units of 1/inch of an inch. The key must be the placeable key.
struct WmfPlaceableFileHeader {
    uint32_t key = 0x9AC6CDD7;
    int16_t left = 0;
    int16_t top = 0;
    int16_t right = 0;
    int16_t bottom = 0;
    uint16_t inch = 0;
};

// The placeable header of a metafile picture width x height HIMETRIC in size:
// the bounding box from (0, 0) in twips (1440 units per inch), or in fewer
// units per inch when a side would pass the box's 32767 limit. False when a
// side is not above 0 or the box cannot hold it at one unit per inch.
bool placeableHeaderOfHimetric(int32_t width, int32_t height, WmfPlaceableFileHeader& out);

// The 22-byte placeable header (its checksum computed) followed by `bits`:
// the file a Windows metafile with a size is kept in.
std::vector<uint8_t> placeableWmfFile(const WmfPlaceableFileHeader& header, std::span<const uint8_t> bits);

// InvalidParameter for a handle that names no metafile of the kind, a wrong
// key, an empty bounding box or no units per inch; the decoder's status for
// a metafile it cannot measure.
Status createMetafileFromWmf(gdi::HMETAFILE handle, const WmfPlaceableFileHeader& header,
                             std::unique_ptr<Image>& out);
Status createMetafileFromEmf(gdi::HENHMETAFILE handle, std::unique_ptr<Image>& out);

}  // namespace orrery::gdiplus
