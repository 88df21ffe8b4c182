// Helpers shared by the tests: corpus files, temporary folders, byte builders.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orrery::gdiplus {
class Image;
}

namespace orrery::test {

// Path of a file of the shared real-world corpus ("pngsuite/png/basn0g01.png").
std::filesystem::path corpusPath(const std::string& relative);
bool corpusAvailable();
// Path of a file kept with the tests (tests/data).
std::filesystem::path dataPath(const std::string& relative);

std::vector<uint8_t> readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// A fresh folder removed when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path file(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// How two images of the same size differ, channel by channel (A, R, G, B).
struct PixelDiff {
    double mean = 0;  // mean absolute difference per channel
    int max = 0;
};
enum class Orientation { Same, SecondUpsideDown };
// Compares two images pixel by pixel; pixels that are fully transparent in
// both are equal whatever their colour. Images of different sizes fail the
// test and differ by 1000.
PixelDiff compareImages(const gdiplus::Image& a, const gdiplus::Image& b,
                        Orientation orientation = Orientation::Same);

// Little-endian writers for building files byte by byte.
void put16(std::vector<uint8_t>& out, uint32_t v);
void put32(std::vector<uint8_t>& out, uint32_t v);
void put16be(std::vector<uint8_t>& out, uint32_t v);
void put32be(std::vector<uint8_t>& out, uint32_t v);

}  // namespace orrery::test

#define ORRERY_REQUIRE_CORPUS()                                              \
    do {                                                                     \
        if (!::orrery::test::corpusAvailable()) GTEST_SKIP() << "no corpus"; \
    } while (0)
