#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include <fstream>
#include <random>
#include <stdexcept>

#include "platform/gdiplus/image.h"

namespace orrery::test {

std::filesystem::path corpusPath(const std::string& relative) {
    return std::filesystem::path(ORRERY_CORPUS_DIR) / relative;
}

bool corpusAvailable() { return std::filesystem::is_directory(ORRERY_CORPUS_DIR); }

std::filesystem::path dataPath(const std::string& relative) {
    return std::filesystem::path(ORRERY_TEST_DATA_DIR) / relative;
}

std::vector<uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

TempDir::TempDir() {
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("orrery-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(path_)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}
void put16be(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
void put32be(std::vector<uint8_t>& out, uint32_t v) {
    put16be(out, v >> 16);
    put16be(out, v & 0xffff);
}

PixelDiff compareImages(const gdiplus::Image& a, const gdiplus::Image& b, Orientation orientation) {
    PixelDiff d;
    EXPECT_EQ(a.width(), b.width());
    EXPECT_EQ(a.height(), b.height());
    if (a.width() != b.width() || a.height() != b.height()) {
        d.mean = d.max = 1000;
        return d;
    }
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            gdiplus::ARGB p = 0, q = 0;
            EXPECT_EQ(a.getPixel(x, y, p), gdiplus::Status::Ok);
            const int yb = orientation == Orientation::SecondUpsideDown ? b.height() - 1 - y : y;
            EXPECT_EQ(b.getPixel(x, yb, q), gdiplus::Status::Ok);
            if ((p >> 24) == 0 && (q >> 24) == 0) continue;  // both invisible, whatever their colour
            for (int shift = 0; shift < 32; shift += 8) {
                const int diff = std::abs(int((p >> shift) & 0xff) - int((q >> shift) & 0xff));
                sum += diff;
                d.max = std::max(d.max, diff);
            }
        }
    d.mean = sum / (4.0 * a.width() * a.height());
    return d;
}

}  // namespace orrery::test
