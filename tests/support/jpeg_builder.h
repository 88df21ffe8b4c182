// Compressing test samples with libjpeg directly, so that tests can make
// JPEGs the imaging layer's own encoder does not write (CMYK, YCCK, ICC).
#pragma once
#include <cstdint>
#include <vector>

namespace orrery::test {

struct JpegParams {
    int width = 0;
    int height = 0;
    int components = 3;        // 1 grey, 3 RGB, 4 CMYK
    bool ycck = false;         // four components stored as YCCK
    int quality = 100;
    std::vector<uint8_t> icc;  // embedded colour profile, if any
};

// `samples` holds width x height x components bytes, row by row.
std::vector<uint8_t> compressJpeg(const std::vector<uint8_t>& samples, const JpegParams& layout);

}  // namespace orrery::test
