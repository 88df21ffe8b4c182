// Decoding a 24-megapixel JPEG through the imaging layer against the bare
// libjpeg-turbo decode of the same bytes into an RGB buffer. The file is
// made once in memory (quality 90) from the shared pattern image.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <jpeglib.h>

#include "platform/gdiplus/factory.h"
#include "support/bench_support.h"

namespace {

using namespace orrery::gdiplus;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

std::shared_ptr<const ByteSource> makeJpeg() {
    auto image = orrery::bench::makePatternImage(kWidth, kHeight, PixelFormat24bppRGB);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buf, &size);
    cinfo.image_width = kWidth;
    cinfo.image_height = kHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;  // 24bppRGB rows are B, G, R
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const PixelData& px = image->pixels();
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(px.row(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    auto source = ByteSource::copyOf({buf, size});
    std::free(buf);
    return source;
}

const std::shared_ptr<const ByteSource>& jpegBytes() {
    static const auto bytes = makeJpeg();
    return bytes;
}

void ourDecode(benchmark::State& state) {
    const auto& bytes = jpegBytes();
    for (auto _ : state) {
        std::unique_ptr<Image> image;
        if (loadImageFromBytes(bytes, {}, image) != Status::Ok) {
            state.SkipWithError("decode failed");
            return;
        }
        benchmark::DoNotOptimize(image->pixels().scan0());
    }
}

// The same decode with libjpeg-turbo alone: default settings, B, G, R rows
// into one buffer with the platform's row padding.
void bareDecode(benchmark::State& state) {
    const auto& bytes = jpegBytes();
    for (auto _ : state) {
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, bytes->data(), static_cast<unsigned long>(bytes->size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&cinfo);
        size_t stride = (size_t(cinfo.output_width) * 3 + 3) & ~size_t(3);
        std::unique_ptr<uint8_t[]> pixels(new uint8_t[stride * cinfo.output_height]);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = pixels.get() + stride * cinfo.output_scanline;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(pixels.get());
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("JPEG %dx%d, %zu bytes\n", kWidth, kHeight, jpegBytes()->size());
    benchmark::RegisterBenchmark("jpeg/decode_24mp/ours", ourDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("jpeg/decode_24mp/libjpeg", bareDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
    return orrery::bench::runWithRatios(
        argc, argv, {{"jpeg/decode_24mp/ours/real_time", "jpeg/decode_24mp/libjpeg/real_time", 1.10}});
}
