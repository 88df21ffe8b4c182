// Multi-frame files built by the tests themselves: animated GIFs and
// multi-page TIFFs with frames of one colour each.
#pragma once
#include <cstdint>
#include <filesystem>
#include <vector>

namespace orrery::test {

struct SolidFrame {
    int width = 1;
    int height = 1;
    uint32_t rgb = 0;    // 0xRRGGBB
    int delayCs = 0;     // GIF: hundredths of a second
};

// A GIF with one frame per entry (each frame its own local palette), looping
// `loops` times (0: for ever). Frames may be smaller than the first; the
// screen takes the first frame's size.
std::vector<uint8_t> animatedGif(const std::vector<SolidFrame>& frames, int loops = 0);

// A multi-page TIFF, one 24-bit RGB page per entry, or 1-bit pages (black
// where the colour is 0, white elsewhere) when `bilevel` is set.
void writeMultiPageTiff(const std::filesystem::path& path, const std::vector<SolidFrame>& pages,
                        bool bilevel = false);

}  // namespace orrery::test
