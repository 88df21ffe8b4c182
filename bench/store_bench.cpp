// The image store's cost on top of the imaging layer: loading a 24-megapixel
// JPEG and PNG through LoadImageFromFile against the layer's own decode of
// the same file, and selecting pages of a 50-page TIFF with the frames kept
// in one image and split into one file per page.
//
// The codec plug-in decodes JPEGs first when it is present; run with
// ORRERY_CODEC_PLUGIN=none to compare the same decoder on both sides.
#include <tiffio.h>

#include <cstdio>
#include <filesystem>

#include "imaging/image_table.h"
#include "imaging/loaders.h"
#include "platform/gdiplus/factory.h"
#include "support/bench_support.h"

using namespace orrery;
namespace modMain = imaging::modMain;

namespace {

std::string tempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("orrery-bench-" + name)).string();
}

// Files are made once per process and removed at exit.
struct BenchFiles {
    std::string jpeg = tempPath("24mp.jpg");
    std::string png = tempPath("24mp.png");
    std::string tiff = tempPath("50pages.tif");
    BenchFiles() {
        auto image = bench::makePatternImage(6000, 4000, gdiplus::PixelFormat24bppRGB);
        gdiplus::EncoderParameters quality = {
            {gdiplus::EncoderParam::Quality, gdiplus::EncoderParameterValueTypeLong, {90}}};
        image->save(jpeg, gdiplus::CodecClsid::JPEG, quality);
        image->save(png, gdiplus::CodecClsid::PNG, {});
        writeTiff();
        modMain::StartGdiPlus();
    }
    ~BenchFiles() {
        modMain::ShutdownGdiPlus();
        for (const std::string& p : {jpeg, png, tiff}) std::remove(p.c_str());
    }
    // 50 grey pages of 1700 x 2200, LZW, each with its own content.
    void writeTiff() {
        TIFF* t = TIFFOpen(tiff.c_str(), "w");
        std::vector<uint8_t> row(1700);
        for (int page = 0; page < 50; ++page) {
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 1700);
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2200);
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 64);
            TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
            TIFFSetField(t, TIFFTAG_PAGENUMBER, page, 50);
            for (uint32_t y = 0; y < 2200; ++y) {
                for (size_t x = 0; x < row.size(); ++x) row[x] = static_cast<uint8_t>((x + y * 3 + page * 17) & 0xff);
                TIFFWriteScanline(t, row.data(), y, 0);
            }
            TIFFWriteDirectory(t);
        }
        TIFFClose(t);
    }
};

BenchFiles& files() {
    static BenchFiles f;
    return f;
}

void LayerDecode(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        std::unique_ptr<gdiplus::Image> image;
        if (gdiplus::loadImageFromFile(path, {}, image) != gdiplus::Status::Ok) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.get());
    }
}

void StoreLoad(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        int32_t id = 0;
        if (imaging::LoadImageFromFile(id, path) != 0) state.SkipWithError("load failed");
        state.PauseTiming();
        modMain::ReleaseImage(id);
        state.ResumeTiming();
    }
}

void BM_LayerDecodeJpeg(benchmark::State& s) { LayerDecode(s, files().jpeg); }
void BM_StoreLoadJpeg(benchmark::State& s) { StoreLoad(s, files().jpeg); }
void BM_LayerDecodePng(benchmark::State& s) { LayerDecode(s, files().png); }
void BM_StoreLoadPng(benchmark::State& s) { StoreLoad(s, files().png); }

// Selecting pages one after another, as paging through a document does.
void selectPages(benchmark::State& state, int32_t id) {
    int32_t page = 1;
    for (auto _ : state) {
        if (modMain::SelectTiffPage(id, page) != 0) state.SkipWithError("select failed");
        page = (page + 1) % 50;
    }
}

void BM_SelectPageKeepInOne(benchmark::State& state) {
    int32_t id = 0;
    if (imaging::LoadWithGdiPlus(id, files().tiff, false) != 0) return state.SkipWithError("load failed");
    selectPages(state, id);
    modMain::ReleaseImage(id);
}

void BM_SelectPageSplit(benchmark::State& state) {
    std::unique_ptr<gdiplus::Image> decoded;
    if (gdiplus::loadImageFromFile(files().tiff, {}, decoded) != gdiplus::Status::Ok)
        return state.SkipWithError("decode failed");
    int32_t id = 0, container = 0;
    modMain::AddImage(id, std::move(decoded), "", "", imaging::SourcePlain);
    if (modMain::RegisterFrames(files().tiff, id, container, modMain::FrameStorage::SplitIntoFiles, modMain::FrameStorage::InOneImage) != 0)
        return state.SkipWithError("split failed");
    selectPages(state, container);
    modMain::ReleaseImage(container);
}

void BM_SelectPagePlugin(benchmark::State& state) {
    if (!imaging::IsPluginAvailable()) return state.SkipWithError("codec plug-in absent");
    int32_t id = 0;
    if (imaging::LoadWithPlugin(id, files().tiff, false) != 0) return state.SkipWithError("load failed");
    selectPages(state, id);
    modMain::ReleaseImage(id);
}

}  // namespace

BENCHMARK(BM_LayerDecodeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreLoadJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayerDecodePng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreLoadPng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectPageKeepInOne)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectPageSplit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectPagePlugin)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    files();
    return bench::runWithRatios(argc, argv,
                                {{"BM_StoreLoadJpeg", "BM_LayerDecodeJpeg", 1.02},
                                 {"BM_StoreLoadPng", "BM_LayerDecodePng", 1.02},
                                 {"BM_SelectPageSplit", "BM_SelectPageKeepInOne", 0}});
}
