// Files the codec plug-in would spend seconds on without ever giving a
// picture, recognised from their structure and size before it decodes them:
// raw PNM and PFM files too short for the pixels their header announces
// (the plug-in allocates and walks every announced pixel of a truncated
// file), and JPEG files of more scans than the imaging layer's decoder
// accepts (each scan is a pass over the whole picture).
#pragma once
#include <cstdint>

namespace orrery::imaging {

// True when the plug-in should not be given `fd`, detected as `format`.
bool pluginWouldSpendLongOn(int fd, int format);
// The pixels of a JPEG file's frame header, read by its markers; 0 when it
// has none. (The plug-in's reader of headers alone decodes every scan of a
// progressive file.)
uint64_t jpegFramePixels(int fd);

}  // namespace orrery::imaging
