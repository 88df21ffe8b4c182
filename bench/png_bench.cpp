// Decoding a 24-megapixel RGB PNG through loadImageFromBytes against the bare
// libpng call decoding the same file into an RGB buffer.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/gdiplus/factory.h"
#include "support/bench_support.h"

using namespace orrery::gdiplus;

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

struct Output {
    std::vector<uint8_t> bytes;
};

void appendBytes(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<Output*>(png_get_io_ptr(png));
    out->bytes.insert(out->bytes.end(), data, data + length);
}

void noFlush(png_structp) {}

// The PNG, written once with libpng from the pattern image (B, G, R rows).
const std::shared_ptr<const ByteSource>& pngBytes() {
    static const std::shared_ptr<const ByteSource> bytes = [] {
        auto image = orrery::bench::makePatternImage(kWidth, kHeight, PixelFormat24bppRGB);
        Output out;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) std::abort();
        png_set_write_fn(png, &out, appendBytes, noFlush);
        png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_set_bgr(png);
        for (int y = 0; y < kHeight; ++y) png_write_row(png, image->pixels().row(y));
        png_write_end(png, nullptr);
        png_destroy_write_struct(&png, &info);
        return ByteSource::fromVector(std::move(out.bytes));
    }();
    return bytes;
}

void ourDecode(benchmark::State& state) {
    const auto& bytes = pngBytes();
    for (auto _ : state) {
        std::unique_ptr<Image> image;
        if (loadImageFromBytes(bytes, {}, image) != Status::Ok) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.get());
    }
}

struct Input {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void readBytes(png_structp png, png_bytep out, size_t length) {
    auto* in = static_cast<Input*>(png_get_io_ptr(png));
    if (length > in->size - in->pos) png_error(png, "short");
    std::memcpy(out, in->data + in->pos, length);
    in->pos += length;
}

void bareDecode(benchmark::State& state) {
    const auto& bytes = pngBytes();
    for (auto _ : state) {
        Input in{bytes->data(), bytes->size(), 0};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) std::abort();
        png_set_read_fn(png, &in, readBytes);
        png_read_info(png, info);
        const size_t stride = png_get_rowbytes(png, info);
        std::unique_ptr<uint8_t[]> pixels(new uint8_t[stride * kHeight]);
        for (int y = 0; y < kHeight; ++y) png_read_row(png, pixels.get() + stride * y, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(pixels.get());
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("PNG %dx%d RGB8, %zu bytes\n", kWidth, kHeight, pngBytes()->size());
    benchmark::RegisterBenchmark("png/decode_24mp/ours", ourDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("png/decode_24mp/libpng", bareDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
    return orrery::bench::runWithRatios(
        argc, argv, {{"png/decode_24mp/ours/real_time", "png/decode_24mp/libpng/real_time", 1.10}});
}
