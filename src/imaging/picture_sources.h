// Entries of the image store made from picture objects: bitmaps and icons
// copied, metafiles rasterised at their own size on opaque white.
#pragma once
#include <cstdint>

#include "platform/automation/picture.h"

namespace orrery::imaging {

// A new entry of the picture; the picture keeps its handle. A bitmap or an
// icon is copied; an icon that cannot be read as one goes through the picture
// saver, a temporary file and the file loader (the file then lives with the
// entry); a metafile is rasterised on opaque white at its size in pixels (a
// Windows metafile's HIMETRIC size in a placeable header of 1440 units per
// inch). A picture of no known type, or one whose handle names nothing,
// gives InvalidParameter; a raster beyond the allocation limit OutOfMemory.
int32_t LoadFromPicture(int32_t& id, const automation::IPicture& picture);

}  // namespace orrery::imaging
