// Limits of JPEG decoding shared by the imaging layer's decoder and the
// check the codec plug-in's binding makes before the plug-in decodes a file.
#pragma once

namespace orrery::gdiplus::codecs {

// Scans a JPEG file may hold. Each scan of a progressive file is a pass over
// every block of the components it covers, so a small file of many tiny
// scans (70,000 scans of 12 bytes fit in 840 KB) costs a decoder minutes.
// Encoders write far fewer: libjpeg's progressive script has 10 scans for
// colour, 6 for grey; optimising encoders stay within a few dozen. 500 is the
// limit libjpeg-turbo's own tools apply when asked to refuse such files, and
// 500 passes over a 1448 x 1448 grey picture cost about 0.1 s.
inline constexpr int kMaxJpegScans = 500;

}  // namespace orrery::gdiplus::codecs
