#include "host_pictures.h"

#include <fstream>
#include <vector>

namespace host {

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
// Blue, green, red of the colour, `count` times, then `padding` zeros.
void putPixels(std::vector<uint8_t>& out, int count, int padding) {
    for (int i = 0; i < count; ++i) {
        out.push_back(static_cast<uint8_t>(kColour));
        out.push_back(static_cast<uint8_t>(kColour >> 8));
        out.push_back(static_cast<uint8_t>(kColour >> 16));
    }
    out.insert(out.end(), static_cast<size_t>(padding), 0);
}
bool save(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

}  // namespace

bool writeBmp(const std::string& path) {
    const int padding = (4 - kWidth * 3 % 4) % 4;
    const uint32_t pixelBytes = static_cast<uint32_t>((kWidth * 3 + padding) * kHeight);
    std::vector<uint8_t> out{'B', 'M'};
    put32(out, 54 + pixelBytes);
    put32(out, 0);
    put32(out, 54);
    put32(out, 40);
    put32(out, kWidth);
    put32(out, kHeight);
    put16(out, 1);
    put16(out, 24);
    put32(out, 0);
    put32(out, pixelBytes);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (int y = 0; y < kHeight; ++y) putPixels(out, kWidth, padding);
    return save(path, out);
}

bool writeTarga(const std::string& path) {
    std::vector<uint8_t> out{0, 0, 2};  // no identification, no palette, true colour
    out.insert(out.end(), 9, 0);        // palette description, origin
    put16(out, kWidth);
    put16(out, kHeight);
    out.push_back(24);
    out.push_back(0);
    putPixels(out, kWidth * kHeight, 0);
    return save(path, out);
}

}  // namespace host
