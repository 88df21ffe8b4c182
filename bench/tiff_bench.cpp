// Decoding an A4 page at 300 dpi (2480 x 3508, CCITT G4, one strip) through
// loadImageFromBytes against the bare libtiff strip loop doing the same
// decode, and the memory the decoded page holds (goal: under 1.2 MB, the
// page staying one bit per pixel).
#include <tiffio.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/gdiplus/factory.h"
#include "support/bench_support.h"

using namespace orrery::gdiplus;

namespace {

constexpr uint32_t kWidth = 2480, kHeight = 3508;

// libtiff client over memory: a growable buffer when writing, the page's
// bytes when reading.
struct MemFile {
    std::vector<uint8_t> data;
    uint64_t pos = 0;
};

tmsize_t memRead(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<MemFile*>(h);
    if (n <= 0 || f->pos >= f->data.size()) return 0;
    size_t count = std::min<size_t>(static_cast<size_t>(n), f->data.size() - f->pos);
    std::memcpy(buf, f->data.data() + f->pos, count);
    f->pos += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t memWrite(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<MemFile*>(h);
    size_t end = f->pos + static_cast<size_t>(n);
    if (end > f->data.size()) f->data.resize(end);
    std::memcpy(f->data.data() + f->pos, buf, static_cast<size_t>(n));
    f->pos = end;
    return n;
}

toff_t memSeek(thandle_t h, toff_t off, int whence) {
    auto* f = static_cast<MemFile*>(h);
    f->pos = (whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->data.size() : 0) + off;
    return f->pos;
}

int memClose(thandle_t) { return 0; }
toff_t memSize(thandle_t h) { return static_cast<MemFile*>(h)->data.size(); }
int memMap(thandle_t h, void** base, toff_t* size) {
    auto* f = static_cast<MemFile*>(h);
    *base = f->data.data();
    *size = f->data.size();
    return 1;
}
void memUnmap(thandle_t, void*, toff_t) {}

TIFF* openMem(MemFile& f, const char* mode) {
    return TIFFClientOpen("bench", mode, &f, memRead, memWrite, memSeek, memClose, memSize, memMap, memUnmap);
}

// A text-like page: lines of word-shaped ink runs with ragged letters.
void textRow(uint32_t y, uint8_t* row) {
    std::memset(row, 0, (kWidth + 7) / 8);
    uint32_t line = y % 60;
    if (y < 150 || y > kHeight - 150 || line >= 32) return;
    for (uint32_t x = 150; x < kWidth - 150; ++x) {
        uint32_t word = (x / 90 + y / 60) % 7;
        bool ink = (x % 90) < 50 + word * 5 && ((x * 7 + line * 3) % (11 + word)) < 7;
        if (ink) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
}

const std::shared_ptr<const ByteSource>& pageBytes() {
    static const std::shared_ptr<const ByteSource> bytes = [] {
        MemFile f;
        TIFF* tif = openMem(f, "w");
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kHeight);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.0);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, 300.0);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        std::vector<uint8_t> row((kWidth + 7) / 8);
        for (uint32_t y = 0; y < kHeight; ++y) {
            textRow(y, row.data());
            if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) std::abort();
        }
        TIFFClose(tif);
        return ByteSource::fromVector(std::move(f.data));
    }();
    return bytes;
}

void ourDecode(benchmark::State& state) {
    const auto& bytes = pageBytes();
    size_t held = 0;
    for (auto _ : state) {
        std::unique_ptr<Image> image;
        if (loadImageFromBytes(bytes, {}, image) != Status::Ok) state.SkipWithError("decode failed");
        held = image->bytesHeld();
        benchmark::DoNotOptimize(image.get());
    }
    state.counters["bytes_held"] = static_cast<double>(held);
}

void bareDecode(benchmark::State& state) {
    const auto& bytes = pageBytes();
    MemFile f;
    f.data.assign(bytes->data(), bytes->data() + bytes->size());
    for (auto _ : state) {
        f.pos = 0;
        TIFF* tif = openMem(f, "r");
        tmsize_t stripSize = TIFFStripSize(tif);
        std::unique_ptr<uint8_t[]> pixels(new uint8_t[static_cast<size_t>(stripSize) * TIFFNumberOfStrips(tif)]);
        for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s)
            TIFFReadEncodedStrip(tif, s, pixels.get() + static_cast<size_t>(stripSize) * s, -1);
        TIFFClose(tif);
        benchmark::DoNotOptimize(pixels.get());
    }
    state.counters["bytes_held"] = static_cast<double>((kWidth + 7) / 8 * kHeight);
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("TIFF G4 %ux%u 1 bpp, %zu bytes\n", kWidth, kHeight, pageBytes()->size());
    benchmark::RegisterBenchmark("tiff/decode_a4_g4/ours", ourDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("tiff/decode_a4_g4/libtiff", bareDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
    return orrery::bench::runWithRatios(
        argc, argv, {{"tiff/decode_a4_g4/ours/real_time", "tiff/decode_a4_g4/libtiff/real_time", 1.10}});
}
