#include "platform/gdiplus/codecs/quantize.h"

#include <array>
#include <unordered_map>

namespace orrery::gdiplus::codecs {
namespace {

constexpr uint32_t kAlphaThreshold = 128;
constexpr int kCubeLevels = 6;
constexpr int kCubeStep = 51;  // 255 / (kCubeLevels - 1)

bool isTransparent(ARGB c) { return (c >> 24) < kAlphaThreshold; }
ARGB opaque(ARGB c) { return c | 0xff000000u; }

int channel(ARGB c, int shift) { return static_cast<int>((c >> shift) & 0xff); }

int distance(ARGB a, ARGB b) {
    int dr = channel(a, 16) - channel(b, 16);
    int dg = channel(a, 8) - channel(b, 8);
    int db = channel(a, 0) - channel(b, 0);
    return dr * dr + dg * dg + db * db;
}

ARGB grey(int v) { return 0xff000000u | static_cast<uint32_t>(v * 0x010101); }

// Palette with one entry per distinct opaque colour, or empty when there are
// more than `room` of them.
bool exactPalette(const ARGB* pixels, size_t count, size_t room, QuantizedImage& out) {
    std::unordered_map<ARGB, uint8_t> index;
    out.indices.resize(count);
    for (size_t i = 0; i < count; ++i) {
        if (isTransparent(pixels[i])) continue;
        ARGB c = opaque(pixels[i]);
        auto it = index.find(c);
        if (it == index.end()) {
            if (out.palette.size() == room) return false;
            it = index.emplace(c, static_cast<uint8_t>(out.palette.size())).first;
            out.palette.push_back(c);
        }
        out.indices[i] = it->second;
    }
    return true;
}

// The fixed palette: the 216 cube colours, then greys between the cube's
// own greys until `room` entries are used.
class FixedPalette {
public:
    explicit FixedPalette(size_t room) {
        for (int r = 0; r < kCubeLevels; ++r)
            for (int g = 0; g < kCubeLevels; ++g)
                for (int b = 0; b < kCubeLevels; ++b)
                    entries.push_back(0xff000000u | static_cast<uint32_t>(
                                                        (r * kCubeStep) << 16 | (g * kCubeStep) << 8 |
                                                        b * kCubeStep));
        std::array<int, 256> greyEntry{};
        std::array<bool, 256> isGrey{};
        for (int level = 0; level < kCubeLevels; ++level) {
            isGrey[level * kCubeStep] = true;
            greyEntry[level * kCubeStep] = cubeIndex(level, level, level);
        }
        const int spare = static_cast<int>(room - entries.size());
        for (int k = 1; k <= spare + kCubeLevels && entries.size() < room; ++k) {
            int v = k * 255 / (spare + kCubeLevels);
            if (v >= 255 || isGrey[v]) continue;
            isGrey[v] = true;
            greyEntry[v] = static_cast<int>(entries.size());
            entries.push_back(grey(v));
        }
        // Nearest grey entry for every grey value.
        for (int v = 0; v < 256; ++v) {
            for (int d = 0; d < 256; ++d) {
                if (v - d >= 0 && isGrey[v - d]) { nearestGrey_[v] = greyEntry[v - d]; break; }
                if (v + d < 256 && isGrey[v + d]) { nearestGrey_[v] = greyEntry[v + d]; break; }
            }
        }
    }

    uint8_t nearest(ARGB c) const {
        auto level = [](int v) { return (v + kCubeStep / 2) / kCubeStep; };
        int cube = cubeIndex(level(channel(c, 16)), level(channel(c, 8)), level(channel(c, 0)));
        int avg = (channel(c, 16) + channel(c, 8) + channel(c, 0)) / 3;
        int greyIdx = nearestGrey_[avg];
        return static_cast<uint8_t>(distance(c, entries[greyIdx]) < distance(c, entries[cube]) ? greyIdx
                                                                                             : cube);
    }

    std::vector<ARGB> entries;

private:
    static int cubeIndex(int r, int g, int b) { return (r * kCubeLevels + g) * kCubeLevels + b; }
    std::array<int, 256> nearestGrey_{};
};

}  // namespace

QuantizedImage quantizeTo256(const ARGB* pixels, size_t count) {
    bool anyTransparent = false;
    for (size_t i = 0; i < count && !anyTransparent; ++i) anyTransparent = isTransparent(pixels[i]);
    const size_t room = anyTransparent ? 255 : 256;

    QuantizedImage out;
    if (!exactPalette(pixels, count, room, out)) {
        FixedPalette fixed(room);
        out.palette = fixed.entries;
        ARGB last = 0;
        uint8_t lastIndex = fixed.nearest(0);
        for (size_t i = 0; i < count; ++i) {
            if (isTransparent(pixels[i])) continue;
            ARGB c = opaque(pixels[i]);
            if (c != last) {
                last = c;
                lastIndex = fixed.nearest(c);
            }
            out.indices[i] = lastIndex;
        }
    }
    if (anyTransparent) {
        out.transparentIndex = static_cast<int>(out.palette.size());
        out.palette.push_back(0);
        for (size_t i = 0; i < count; ++i)
            if (isTransparent(pixels[i])) out.indices[i] = static_cast<uint8_t>(out.transparentIndex);
    }
    if (out.palette.empty()) out.palette.push_back(0xff000000u);
    return out;
}

}  // namespace orrery::gdiplus::codecs
