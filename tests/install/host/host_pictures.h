// Pictures the hosts write for themselves: one colour, 40 x 30, as an
// uncompressed BMP (read by the library itself) and TARGA (read through the
// codec plug-in in its worker process, when the plug-in is installed).
#pragma once
#include <cstdint>
#include <string>

namespace host {

constexpr int kWidth = 40, kHeight = 30;
constexpr uint32_t kColour = 0x336699;  // 0xRRGGBB

bool writeBmp(const std::string& path);
bool writeTarga(const std::string& path);

}  // namespace host
