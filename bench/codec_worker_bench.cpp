// Loading through the codec plug-in in its worker process against the same
// plug-in in this process, on the same files: a 24-megapixel JPEG, pages of
// a 50-page TIFF selected in turn, a TARGA and a PSD. The worker's time
// includes the descriptor hand-over, its decoding and the one write of the
// pixels into the memory file the host maps. Goal: at most 1.10 times the
// in-process load, shown as the worker run's vs_in_process counter next to
// the goal. Each load is timed as the CPU time it costs this process and
// the worker together (the machines are shared: waiting for a core would
// otherwise count). The worker's start-up is reported once.
#include <tiffio.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "imaging/codec_plugin.h"
#include "imaging/codec_worker.h"
#include "imaging/image_table.h"
#include "imaging/loaders.h"
#include "imaging/plugin_api.h"
#include "platform/gdiplus/factory.h"
#include "support/bench_support.h"

using namespace orrery;
using namespace orrery::imaging;

namespace {

namespace fs = std::filesystem;

constexpr int kTiffPages = 50;
constexpr double kGoal = 1.10;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "codec_worker_bench: %s\n", what.c_str());
    std::exit(1);
}

void put16(std::ofstream& out, unsigned v) {
    const char b[2] = {char(v & 0xff), char(v >> 8)};
    out.write(b, 2);
}
void put16be(std::ofstream& out, unsigned v) {
    const char b[2] = {char(v >> 8), char(v & 0xff)};
    out.write(b, 2);
}
void put32be(std::ofstream& out, uint32_t v) {
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.write(b, 4);
}

// The pattern's colour at (x, y) as red, green, blue.
void patternAt(int x, int y, int width, int height, uint8_t rgb[3]) {
    rgb[0] = static_cast<uint8_t>(x * 255 / width);
    rgb[1] = static_cast<uint8_t>(y * 255 / height);
    rgb[2] = static_cast<uint8_t>(((x ^ y) & 0x3f) * 4);
}

// Uncompressed 24-bit TARGA, bottom-up.
void writeTarga(const std::string& path, int width, int height) {
    std::ofstream out(path, std::ios::binary);
    const char header[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    out.write(header, sizeof header);
    put16(out, static_cast<unsigned>(width));
    put16(out, static_cast<unsigned>(height));
    out.put(24);
    out.put(0);
    std::vector<char> row(static_cast<size_t>(width) * 3);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            uint8_t rgb[3];
            patternAt(x, y, width, height, rgb);
            row[3 * x] = char(rgb[2]), row[3 * x + 1] = char(rgb[1]), row[3 * x + 2] = char(rgb[0]);
        }
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
}

// Raw (uncompressed) 8-bit RGB PSD: header, empty colour-mode, resource
// and layer sections, then the three channels one after the other.
void writePsd(const std::string& path, int width, int height) {
    std::ofstream out(path, std::ios::binary);
    out.write("8BPS", 4);
    put16be(out, 1);
    out.write("\0\0\0\0\0\0", 6);
    put16be(out, 3);
    put32be(out, static_cast<uint32_t>(height));
    put32be(out, static_cast<uint32_t>(width));
    put16be(out, 8);
    put16be(out, 3);
    put32be(out, 0);
    put32be(out, 0);
    put32be(out, 0);
    put16be(out, 0);
    std::vector<char> row(static_cast<size_t>(width));
    for (int channel = 0; channel < 3; ++channel)
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint8_t rgb[3];
                patternAt(x, y, width, height, rgb);
                row[x] = char(rgb[channel]);
            }
            out.write(row.data(), static_cast<std::streamsize>(row.size()));
        }
}

// A multi-page RGB TIFF, LZW, each page the pattern shifted.
void writeTiff(const std::string& path, int width, int height) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) fail("cannot write " + path);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    for (int page = 0; page < kTiffPages; ++page) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(page), static_cast<uint16_t>(kTiffPages));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) patternAt((x + page * 7) % width, y, width, height, &row[3 * x]);
            TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0);
        }
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
}

struct Inputs {
    fs::path dir = fs::temp_directory_path() / ("orrery-codec-worker-bench-" + std::to_string(::getpid()));
    std::string jpeg = (dir / "photo.jpg").string();
    std::string tiff = (dir / "pages.tif").string();
    std::string targa = (dir / "picture.tga").string();
    std::string psd = (dir / "layers.psd").string();

    Inputs() {
        fs::create_directories(dir);
        auto pattern = bench::makePatternImage(6000, 4000, gdiplus::PixelFormat24bppRGB);
        pattern->save(jpeg, gdiplus::CodecClsid::JPEG,
                      {{gdiplus::EncoderParam::Quality, gdiplus::EncoderParameterValueTypeLong, {90}}});
        writeTiff(tiff, 1200, 900);
        writeTarga(targa, 4000, 3000);
        writePsd(psd, 3000, 2000);
    }
    ~Inputs() { fs::remove_all(dir); }
};

Inputs& inputs() {
    static Inputs in;
    return in;
}

// Runs the plug-in in the worker or in this process; switching binds it
// again (no plug-in handle is alive between benchmarks).
void useWorker(bool worker) {
    if (codecSandboxEnabled() == worker) return;
    if (worker) unsetenv("ORRERY_CODEC_SANDBOX");
    else setenv("ORRERY_CODEC_SANDBOX", "0", 1);
    plugin::reloadCodecPluginForTesting();
}

// CPU time of this process and of the worker.
std::chrono::nanoseconds cpuOfBoth() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec) + codecWorkerCpuTime();
}

// Seconds per in-process load, by input, for the worker's ratio.
std::map<std::string, double>& inProcessSeconds() {
    static std::map<std::string, double> seconds;
    return seconds;
}

// Runs `step` once per iteration, timed as CPU time of both processes. The
// in-process run of an input (registered first) keeps its time; the
// worker's run reports its ratio to it and the goal.
template <typename Step>
void timeCpu(benchmark::State& state, const std::string& input, bool worker, Step step) {
    double total = 0;
    for (auto _ : state) {
        const auto before = cpuOfBoth();
        step();
        const double seconds = std::chrono::duration<double>(cpuOfBoth() - before).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    if (state.iterations() == 0) return;
    const double perLoad = total / static_cast<double>(state.iterations());
    if (!worker) {
        inProcessSeconds()[input] = perLoad;
    } else if (auto in = inProcessSeconds().find(input); in != inProcessSeconds().end() && in->second > 0) {
        state.counters["vs_in_process"] = perLoad / in->second;
        state.counters["goal"] = kGoal;
    }
}

void loadFile(benchmark::State& state, const std::string& path, bool worker) {
    useWorker(worker);
    timeCpu(state, path, worker, [&] {
        int32_t id = 0;
        if (LoadImageFromFile(id, path) != 0) fail("cannot load " + path);
        const ImageEntry* e = modMain::FindEntry(id);
        if (!e || e->SourceKind != SourcePluginBitmap) fail("the plug-in did not read " + path);
        modMain::ReleaseImage(id);
    });
}

// Selecting the pages of the open TIFF one after the other.
void selectPages(benchmark::State& state, bool worker) {
    useWorker(worker);
    int32_t id = 0;
    if (LoadImageFromFile(id, inputs().tiff) != 0 || !modMain::IsMultiPageTiff(id))
        fail("the plug-in did not open the TIFF's pages");
    int32_t page = 0;
    timeCpu(state, "pages", worker, [&] {
        page = (page + 1) % kTiffPages;
        if (modMain::SelectTiffPage(id, page) != 0) fail("cannot select a page");
    });
    modMain::ReleaseImage(id);
}

void BM_WorkerJpeg(benchmark::State& s) { loadFile(s, inputs().jpeg, true); }
void BM_InProcessJpeg(benchmark::State& s) { loadFile(s, inputs().jpeg, false); }
void BM_WorkerTiffPage(benchmark::State& s) { selectPages(s, true); }
void BM_InProcessTiffPage(benchmark::State& s) { selectPages(s, false); }
void BM_WorkerTarga(benchmark::State& s) { loadFile(s, inputs().targa, true); }
void BM_InProcessTarga(benchmark::State& s) { loadFile(s, inputs().targa, false); }
void BM_WorkerPsd(benchmark::State& s) { loadFile(s, inputs().psd, true); }
void BM_InProcessPsd(benchmark::State& s) { loadFile(s, inputs().psd, false); }

// Starting a worker and its first answer (the plug-in's version).
void reportStartUp() {
    useWorker(true);
    plugin::reloadCodecPluginForTesting();
    const auto start = std::chrono::steady_clock::now();
    const std::string version = PluginVersion();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (version == "Undefined") fail("the worker does not start or binds no plug-in: " + codecWorkerLog());
    std::printf("worker start-up and first answer: %.2f ms (plug-in %s)\n", ms, version.c_str());
}

}  // namespace

// Each in-process run before its worker run, which reports the ratio.
BENCHMARK(BM_InProcessJpeg)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_WorkerJpeg)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_InProcessTiffPage)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_WorkerTiffPage)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_InProcessTarga)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_WorkerTarga)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_InProcessPsd)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_WorkerPsd)->Unit(benchmark::kMillisecond)->UseManualTime();

int main(int argc, char** argv) {
    if (!modMain::StartGdiPlus()) fail("no imaging session");
    inputs();
    reportStartUp();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    modMain::ShutdownGdiPlus();
    return 0;
}
