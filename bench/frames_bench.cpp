// Frames, pages, animation and rotation through an 800 x 600 control (zoom
// fit, fast painting) against the imaging layer's bare calls on an image
// decoded from the same file:
//   - one animation step of a 500 x 500, 50-frame GIF against selecting the
//     next frame (goal: under 1.1x);
//   - one DisplayNextFrame of a 500-page CCITT G4 TIFF (1728 x 2292 pages)
//     against selecting the next page (goal: under 1.5x); the control also
//     paints the fitted 1-bit page;
//   - DisplayFrame(499) from page 1 against libtiff moving to that directory
//     on an open handle and decoding its strips (goal: under 3x);
//   - Rotate90 of a 24-megapixel picture against the image's rotateFlip
//     (goal: under 1.2x);
//   - DisplayPreviousFrame from the GIF's last frame, reported only.
// Every control figure is taken at ViewerQuality 0 and, as a separate line
// without a goal, at the high-quality setting (4). The animation step and the
// rotation run paired with their bare calls in one loop, median of five
// repetitions. The codec plug-in is off
// (ORRERY_CODEC_PLUGIN=none), so the imaging layer decodes every file; the
// two TIFF figures are taken again at the end with the plug-in reading the
// pages, when it is installed. The inputs are written at start-up into the
// temporary folder and removed at exit.
#include <gif_lib.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "control/orrery.h"
#include "imaging/codec_plugin.h"
#include "imaging/image_table.h"
#include "imaging/plugin_api.h"
#include "platform/gdiplus/factory.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/bench_support.h"

using namespace orrery;

namespace {

constexpr int kViewW = 800, kViewH = 600;
constexpr int32_t kZoomFit = 2;
constexpr int32_t kQualityLow = 0, kQualityHigh = 4;

constexpr int kGifSide = 500, kGifFrames = 50;
constexpr int kGifDelayCs = 10;  // the control plays it every 100 ms
constexpr uint32_t kPageW = 1728, kPageH = 2292;
constexpr int kPages = 500;
constexpr int32_t kFarPage = 499;  // DisplayFrame's page numbers start at 1
constexpr int kPictureW = 6000, kPictureH = 4000;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "frames_bench: %s\n", what.c_str());
    std::exit(1);
}

// Per-process names: other people may run the same bench on this machine.
std::string tempPath(const char* stem, const char* extension) {
    const std::string name = "orrery-frames-bench-" + std::to_string(getpid()) + "-" + stem + extension;
    return (std::filesystem::temp_directory_path() / name).string();
}

// ---------------------------------------------------------------------------
// Inputs

// A 256-entry palette: a hue ring, so neighbouring indices differ in colour.
ColorMapObject* ringPalette() {
    GifColorType colors[256];
    for (int i = 0; i < 256; ++i) {
        const int phase = i * 6 % 256;
        colors[i].Red = static_cast<GifByteType>(i);
        colors[i].Green = static_cast<GifByteType>(255 - phase);
        colors[i].Blue = static_cast<GifByteType>((i * 3 + 64) & 0xff);
    }
    return GifMakeMapObject(256, colors);
}

// Frame f: rings drifting across the picture with a fine dither, so that
// every frame differs everywhere and compresses like a real animation.
void gifRow(int f, int y, std::vector<GifPixelType>& row) {
    for (int x = 0; x < kGifSide; ++x) {
        const int dx = x - 250 + f * 3, dy = y - 250 + f * 2;
        const int ring = (dx * dx + dy * dy) / (300 + f * 4);
        const int dither = ((x * 7 + y * 13 + f) >> 1) & 3;
        row[static_cast<size_t>(x)] = static_cast<GifPixelType>((ring + x / 16 + dither) & 0xff);
    }
}

void writeAnimatedGif(const std::string& path) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (!gif) fail("cannot create " + path);
    EGifSetGifVersion(gif, true);
    ColorMapObject* palette = ringPalette();
    EGifPutScreenDesc(gif, kGifSide, kGifSide, 8, 0, palette);
    const GifByteType app[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    const GifByteType loopForever[] = {1, 0, 0};
    EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(gif, sizeof app, app);
    EGifPutExtensionBlock(gif, sizeof loopForever, loopForever);
    EGifPutExtensionTrailer(gif);
    std::vector<GifPixelType> row(kGifSide);
    for (int f = 0; f < kGifFrames; ++f) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSE_DO_NOT;
        gcb.DelayTime = kGifDelayCs;
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        GifByteType block[4];
        EGifGCBToExtension(&gcb, block);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
        EGifPutImageDesc(gif, 0, 0, kGifSide, kGifSide, false, nullptr);
        for (int y = 0; y < kGifSide; ++y) {
            gifRow(f, y, row);
            if (EGifPutLine(gif, row.data(), kGifSide) != GIF_OK) fail("cannot write " + path);
        }
    }
    GifFreeMapObject(palette);
    if (EGifCloseFile(gif, &error) != GIF_OK) fail("cannot close " + path);
}

// A typed page: lines of 16-pixel letters in words of 2 to 9 letters, the
// words changing from line to line and from page to page. Letters are
// strokes that run down several rows, as printed text does, so the page
// compresses as a scanned letter would.
class PageText {
public:
    static constexpr uint32_t kRowBytes = (kPageW + 7) / 8;

    void row(int page, uint32_t y, uint8_t* out) const {
        std::memset(out, 0, kRowBytes);
        if (y < kMargin || y >= kPageH - kMargin) return;
        const uint32_t line = (y - kMargin) / kLineRows, r = (y - kMargin) % kLineRows;
        if (r >= kLetterRows) return;
        uint32_t k = line * 2654435761u ^ static_cast<uint32_t>(page + 1) * 40503u;
        // A short last line ends each paragraph.
        const uint32_t end = (line + static_cast<uint32_t>(page)) % 9 == 8 ? kRowBytes / 2 : kRowBytes - 12;
        uint32_t at = 12;  // bytes; two per letter
        while (at + 2 <= end) {
            k = k * 1103515245u + 12345u;
            const uint32_t letters = 2 + (k >> 16) % 8;
            for (uint32_t i = 0; i < letters && at + 2 <= end; ++i, at += 2) {
                k = k * 1103515245u + 12345u;
                const uint16_t bits = letterRow((k >> 16) % 6, r);
                out[at] = static_cast<uint8_t>(bits >> 8);
                out[at + 1] = static_cast<uint8_t>(bits);
            }
            at += 2;  // the space between words
        }
    }

private:
    static constexpr uint32_t kMargin = 120, kLineRows = 48, kLetterRows = 32;

    // Row r (0 at the ascender line) of one of six letter shapes, 16 pixels
    // wide, most significant bit on the left: strokes 3 pixels thick.
    static uint16_t letterRow(uint32_t shape, uint32_t r) {
        constexpr uint16_t left = 0x1C00, right = 0x0070, middle = 0x0380, bar = 0x1FF0;
        const bool xHeight = r >= 10, top = r >= 10 && r < 13, bottom = r >= 29;
        switch (shape) {
            case 0: return middle;                                        // l
            case 1: return r < 4 ? middle : xHeight ? middle : 0;         // i
            case 2: return top || bottom ? bar : xHeight ? left | right : 0;  // o
            case 3: return top ? bar : xHeight ? left | right : 0;        // n
            case 4: return r < 10 ? left : top || bottom ? bar : left | right;  // b
            default: return top || (r >= 19 && r < 22) ? bar : bottom ? bar : xHeight ? left : 0;  // e
        }
    }
};

void writeFaxTiff(const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) fail("cannot create " + path);
    const PageText text{};
    std::vector<uint8_t> row(PageText::kRowBytes);
    for (int page = 0; page < kPages; ++page) {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kPageW);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kPageH);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kPageH);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, 200.0);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, 200.0);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(page), static_cast<uint16_t>(kPages));
        for (uint32_t y = 0; y < kPageH; ++y) {
            text.row(page, y, row.data());
            if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) fail("cannot write " + path);
        }
        if (!TIFFWriteDirectory(tif)) fail("cannot write a page of " + path);
    }
    TIFFClose(tif);
}

void writePicture(const std::string& path) {
    auto pattern = bench::makePatternImage(kPictureW, kPictureH, gdiplus::PixelFormat24bppRGB);
    if (!pattern || pattern->save(path, gdiplus::CodecClsid::JPEG,
                                  {{gdiplus::EncoderParam::Quality, gdiplus::EncoderParameterValueTypeLong, {90}}}) !=
                        gdiplus::Status::Ok)
        fail("cannot write " + path);
}

// ---------------------------------------------------------------------------
// Controls

// One file shown in its own control, and the same file decoded by the
// imaging layer for the bare calls.
struct Shown {
    std::string path;
    window::HeadlessBackend backend;
    std::unique_ptr<control::Orrery> viewer;
    std::unique_ptr<gdiplus::Image> bare;

    explicit Shown(std::string file) : path(std::move(file)) {
        viewer = std::make_unique<control::Orrery>(backend);
        viewer->setSilentMode(true);
        viewer->setBorderStyle(0);
        viewer->controlWindow().setWindowSize(kViewW, kViewH);
        viewer->setZoomMode(kZoomFit);
        viewer->setViewerQuality(kQualityLow);
        if (viewer->DisplayFromFile(path) != 0) fail("the control cannot show " + path);
        if (gdiplus::loadImageFromFile(path, {}, bare) != gdiplus::Status::Ok) fail("cannot decode " + path);
    }
};

// A file the bench wrote, removed when the bench ends.
struct TempFile {
    std::string path;
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (!path.empty()) std::remove(path.c_str());
    }
};

// Each input is made when a benchmark first needs it. The files outlive the
// controls that show them.
struct Inputs {
    TempFile gifFile, faxFile, pictureFile;
    std::unique_ptr<Shown> gif, fax, picture, pluginFax;
    bool pluginTried = false;
};

// The inputs live until main ends them: a control must be gone before the
// thread's image store is destroyed at exit.
std::unique_ptr<Inputs>& inputsHolder() {
    static std::unique_ptr<Inputs> in;
    return in;
}

Inputs& inputs() {
    if (!inputsHolder()) inputsHolder() = std::make_unique<Inputs>();
    return *inputsHolder();
}

Shown& gif() {
    Inputs& in = inputs();
    if (!in.gif) {
        in.gifFile.path = tempPath("animation", ".gif");
        writeAnimatedGif(in.gifFile.path);
        std::printf("GIF %dx%d, %d frames, %ju bytes\n", kGifSide, kGifSide, kGifFrames,
                    static_cast<uintmax_t>(std::filesystem::file_size(in.gifFile.path)));
        in.gif = std::make_unique<Shown>(in.gifFile.path);
        if (in.gif->viewer->GetTotalFrame() != kGifFrames) fail("the control does not see the GIF's frames");
    }
    return *in.gif;
}

const std::string& faxPath() {
    TempFile& file = inputs().faxFile;
    if (file.path.empty()) {
        file.path = tempPath("fax", ".tif");
        writeFaxTiff(file.path);
        std::printf("TIFF G4 %ux%u 1 bpp, %d pages, %ju bytes\n", kPageW, kPageH, kPages,
                    static_cast<uintmax_t>(std::filesystem::file_size(file.path)));
    }
    return file.path;
}

Shown& fax() {
    Inputs& in = inputs();
    if (!in.fax) {
        in.fax = std::make_unique<Shown>(faxPath());
        if (in.fax->viewer->PageCount() != kPages) fail("the control does not see the TIFF's pages");
    }
    return *in.fax;
}

// The same pages read through the codec plug-in, as the control reads a
// TIFF when the plug-in is present; null when it cannot be bound. Binding
// it again is safe here: the controls made before loaded without it and
// hold no plug-in handle.
Shown* pluginFax() {
    Inputs& in = inputs();
    if (!in.pluginTried) {
        in.pluginTried = true;
        const std::string& path = faxPath();
        unsetenv("ORRERY_CODEC_PLUGIN");
        imaging::plugin::reloadCodecPluginForTesting();
        if (!imaging::IsPluginAvailable()) return nullptr;
        in.pluginFax = std::make_unique<Shown>(path);
        const imaging::ImageEntry* entry = imaging::modMain::FindEntry(in.pluginFax->viewer->GetNativeImage());
        if (!entry || !entry->PluginBitmap) fail("the plug-in did not read " + path);
        if (in.pluginFax->viewer->PageCount() != kPages) fail("the control does not see the TIFF's pages");
    }
    return in.pluginFax.get();
}

Shown& picture() {
    Inputs& in = inputs();
    if (!in.picture) {
        in.pictureFile.path = tempPath("picture", ".jpg");
        writePicture(in.pictureFile.path);
        std::printf("JPEG %dx%d, %ju bytes\n", kPictureW, kPictureH,
                    static_cast<uintmax_t>(std::filesystem::file_size(in.pictureFile.path)));
        in.picture = std::make_unique<Shown>(in.pictureFile.path);
    }
    return *in.picture;
}

int32_t qualityOf(const benchmark::State& state) { return static_cast<int32_t>(state.range(0)); }

// ---------------------------------------------------------------------------
// GIF animation

// The animation's own path: the virtual clock moves by one frame delay, the
// timer fires and the step selects and paints the next frame; paired in one
// loop with the bare image's selection of its next frame.
void BM_GifAnimationStep(benchmark::State& state) {
    Shown& s = gif();
    s.viewer->setViewerQuality(qualityOf(state));
    s.viewer->PlayGif();
    uint32_t frame = s.bare->activeFrame();
    bench::pairedRatio(
        state, [&] { return s.backend.advance(kGifDelayCs * 10).fired == 1; },
        [&] {
            frame = (frame + 1) % kGifFrames;
            return s.bare->selectActiveFrame(gdiplus::FrameDimension::Time, frame) == gdiplus::Status::Ok;
        },
        qualityOf(state) == kQualityLow ? 1.1 : 0);
    s.viewer->StopGif();
}

// The same step asked for by the host: the next frame, the first after the last.
void BM_GifDisplayNextFrame(benchmark::State& state) {
    Shown& s = gif();
    s.viewer->setViewerQuality(qualityOf(state));
    for (auto _ : state) {
        if (s.viewer->CurrentPage() >= kGifFrames) s.viewer->DisplayFirstFrame();
        else s.viewer->DisplayNextFrame();
    }
}

void BM_GifBareNextFrame(benchmark::State& state) {
    Shown& s = gif();
    uint32_t frame = s.bare->activeFrame();
    for (auto _ : state) {
        frame = (frame + 1) % kGifFrames;
        if (s.bare->selectActiveFrame(gdiplus::FrameDimension::Time, frame) != gdiplus::Status::Ok) {
            state.SkipWithError("frame selection failed");
            break;
        }
    }
}

// Going back one frame from the last: frames compose on one canvas, so the
// previous frame is composed again from the first.
void BM_GifPreviousFromLast(benchmark::State& state) {
    Shown& s = gif();
    s.viewer->setViewerQuality(qualityOf(state));
    for (auto _ : state) {
        state.PauseTiming();
        s.viewer->DisplayLastFrame();
        state.ResumeTiming();
        s.viewer->DisplayPreviousFrame();
    }
    if (s.viewer->CurrentPage() != kGifFrames - 1) state.SkipWithError("not on the frame before the last");
}

void BM_GifBarePreviousFromLast(benchmark::State& state) {
    Shown& s = gif();
    for (auto _ : state) {
        state.PauseTiming();
        s.bare->selectActiveFrame(gdiplus::FrameDimension::Time, kGifFrames - 1);
        state.ResumeTiming();
        s.bare->selectActiveFrame(gdiplus::FrameDimension::Time, kGifFrames - 2);
    }
}

// ---------------------------------------------------------------------------
// TIFF pages

// One page on, each page decoded and painted; back to the first untimed.
void tiffDisplayNextFrame(benchmark::State& state, Shown& s) {
    s.viewer->setViewerQuality(qualityOf(state));
    s.viewer->DisplayFirstFrame();
    for (auto _ : state) {
        if (s.viewer->CurrentPage() >= kPages) {
            state.PauseTiming();
            s.viewer->DisplayFirstFrame();
            state.ResumeTiming();
        }
        s.viewer->DisplayNextFrame();
    }
    if (s.viewer->GetStat() != 0) state.SkipWithError("the page was not shown");
}

void BM_TiffDisplayNextFrame(benchmark::State& state) { tiffDisplayNextFrame(state, fax()); }

void BM_TiffBareNextPage(benchmark::State& state) {
    Shown& s = fax();
    uint32_t page = 0;
    s.bare->selectActiveFrame(gdiplus::FrameDimension::Page, page);
    for (auto _ : state) {
        if (page + 1 >= kPages) {
            state.PauseTiming();
            page = 0;
            s.bare->selectActiveFrame(gdiplus::FrameDimension::Page, page);
            state.ResumeTiming();
        }
        if (s.bare->selectActiveFrame(gdiplus::FrameDimension::Page, ++page) != gdiplus::Status::Ok) {
            state.SkipWithError("page selection failed");
            break;
        }
    }
}

// From page 1 to page 499 in one call: the move, the decoding and the painting.
void tiffDisplayFarPage(benchmark::State& state, Shown& s) {
    s.viewer->setViewerQuality(qualityOf(state));
    for (auto _ : state) {
        state.PauseTiming();
        s.viewer->DisplayFrame(1);
        state.ResumeTiming();
        s.viewer->DisplayFrame(kFarPage);
    }
    if (s.viewer->CurrentPage() != kFarPage || s.viewer->GetStat() != 0) state.SkipWithError("the page was not shown");
}

void BM_TiffDisplayFarPage(benchmark::State& state) { tiffDisplayFarPage(state, fax()); }

// The imaging layer's share of it: the same move on the bare image.
void BM_TiffBareSelectFarPage(benchmark::State& state) {
    Shown& s = fax();
    for (auto _ : state) {
        state.PauseTiming();
        s.bare->selectActiveFrame(gdiplus::FrameDimension::Page, 0);
        state.ResumeTiming();
        s.bare->selectActiveFrame(gdiplus::FrameDimension::Page, kFarPage - 1);
    }
}

// libtiff alone: to the directory on an open handle, then every strip.
void BM_TiffLibtiffFarPage(benchmark::State& state) {
    Shown& s = fax();
    TIFF* tif = TIFFOpen(s.path.c_str(), "r");
    if (!tif) {
        state.SkipWithError("cannot open the file");
        return;
    }
    std::vector<uint8_t> pixels(static_cast<size_t>(PageText::kRowBytes) * kPageH);
    for (auto _ : state) {
        state.PauseTiming();
        TIFFSetDirectory(tif, 0);
        state.ResumeTiming();
        if (!TIFFSetDirectory(tif, kFarPage - 1)) {
            state.SkipWithError("the directory is missing");
            break;
        }
        const tmsize_t stripSize = TIFFStripSize(tif);
        for (uint32_t strip = 0; strip < TIFFNumberOfStrips(tif); ++strip)
            TIFFReadEncodedStrip(tif, strip, pixels.data() + static_cast<size_t>(stripSize) * strip, -1);
        benchmark::DoNotOptimize(pixels.data());
    }
    TIFFClose(tif);
}

// ---------------------------------------------------------------------------
// Rotation: a few turns only, each moves 72 MB (4 iterations turn each picture
// once around).

// Each iteration turns the shown picture and then the bare image once.
void BM_Rotate90(benchmark::State& state) {
    Shown& s = picture();
    s.viewer->setViewerQuality(qualityOf(state));
    bench::pairedRatio(
        state,
        [&] {
            s.viewer->Rotate90();
            return s.viewer->GetStat() == 0;
        },
        [&] { return s.bare->rotateFlip(gdiplus::Rotate90FlipNone) == gdiplus::Status::Ok; },
        qualityOf(state) == kQualityLow ? 1.2 : 0);
}


// ---------------------------------------------------------------------------
// TIFF pages through the codec plug-in. These run last: once the plug-in is
// bound, files the control opens afterwards go through it.

void BM_PluginTiffDisplayNextFrame(benchmark::State& state) {
    if (Shown* s = pluginFax()) tiffDisplayNextFrame(state, *s);
    else state.SkipWithError("the codec plug-in is not installed");
}

void BM_PluginTiffDisplayFarPage(benchmark::State& state) {
    if (Shown* s = pluginFax()) tiffDisplayFarPage(state, *s);
    else state.SkipWithError("the codec plug-in is not installed");
}

}  // namespace

BENCHMARK(BM_GifAnimationStep)
    ->Arg(kQualityLow)
    ->Arg(kQualityHigh)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_GifDisplayNextFrame)->Arg(kQualityLow)->Arg(kQualityHigh)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifBareNextFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifPreviousFromLast)->Arg(kQualityLow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifBarePreviousFromLast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffDisplayNextFrame)->Arg(kQualityLow)->Arg(kQualityHigh)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffBareNextPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffDisplayFarPage)->Arg(kQualityLow)->Arg(kQualityHigh)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffBareSelectFarPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffLibtiffFarPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate90)
    ->Arg(kQualityLow)
    ->Arg(kQualityHigh)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->UseManualTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PluginTiffDisplayNextFrame)->Arg(kQualityLow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PluginTiffDisplayFarPage)->Arg(kQualityLow)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // Before the first control: the codec plug-in binds once, when first used.
    setenv("ORRERY_CODEC_PLUGIN", "none", 1);
    const std::string low = "/" + std::to_string(kQualityLow), high = "/" + std::to_string(kQualityHigh);
    const std::vector<bench::Ratio> ratios = {
        {"BM_GifDisplayNextFrame" + low, "BM_GifBareNextFrame", 1.1},
        {"BM_GifDisplayNextFrame" + high, "BM_GifBareNextFrame"},
        {"BM_GifPreviousFromLast" + low, "BM_GifBarePreviousFromLast"},
        {"BM_TiffDisplayNextFrame" + low, "BM_TiffBareNextPage", 1.5},
        {"BM_TiffDisplayNextFrame" + high, "BM_TiffBareNextPage"},
        {"BM_TiffDisplayFarPage" + low, "BM_TiffLibtiffFarPage", 3.0},
        {"BM_TiffDisplayFarPage" + high, "BM_TiffLibtiffFarPage"},
        {"BM_TiffBareSelectFarPage", "BM_TiffLibtiffFarPage"},
        {"BM_PluginTiffDisplayNextFrame" + low, "BM_TiffBareNextPage"},
        {"BM_PluginTiffDisplayFarPage" + low, "BM_TiffLibtiffFarPage"},
    };
    const int code = bench::runWithRatios(argc, argv, ratios);
    inputsHolder().reset();
    return code;
}
