// PDF pages at 200 dots per inch: every page of a generated 100-page
// document (text, vector paths and a JPEG on each page) and of the corpus
// PDFs, through the control's page rendering (select, rasterise, register,
// release), against the whole runs of pdftoppm -r 200 and of mutool draw
// -r 200 without output over the same files. Each benchmark reports CPU time
// (user and system): its own for the control, the child process's for the
// baselines, so that a loaded machine does not decide the ratio.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/image_table.h"
#include "pdf/modpagrent.h"
#include "viewer/pdf_display.h"
#include "support/bench_support.h"
#include "support/jpeg_builder.h"
#include "support/pdf_writer.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace modpagrent = orrery::pdf::modpagrent;
using orrery::test::PdfPagePlan;
using orrery::test::PdfPlan;

constexpr int32_t kDpi = 200;
constexpr int kGeneratedPages = 100;

// A page of text lines, curves and a photograph-like JPEG.
PdfPagePlan generatedPage(int number, const orrery::test::PdfJpeg& jpeg) {
    PdfPagePlan page;
    std::string& c = page.content;
    c += "q 200 0 0 150 60 620 cm /Im0 Do Q\n";
    c += "0.1 0.2 0.6 RG 1.5 w\n";
    for (int i = 0; i < 12; ++i) {
        const int y = 560 - i * 20;
        c += std::to_string(300 + i * 4) + " " + std::to_string(y) + " m " + std::to_string(380 + i * 7) + " " +
             std::to_string(y + 40) + " " + std::to_string(460 - i * 3) + " " + std::to_string(y - 30) + " 540 " +
             std::to_string(y) + " c S\n";
    }
    c += "0.8 0.3 0.1 rg 330 640 m 420 760 l 520 650 l h f\n";
    c += "BT /F1 10 Tf 12 TL 60 580 Td\n";
    for (int line = 0; line < 40; ++line)
        c += "(Page " + std::to_string(number) + ", line " + std::to_string(line) +
             ": the quick brown fox jumps over the lazy dog 0123456789) '\n";
    c += "ET\n";
    page.jpeg = jpeg;
    return page;
}

orrery::test::PdfJpeg makeJpeg() {
    constexpr int kSize = 384;
    std::vector<uint8_t> rgb(static_cast<size_t>(kSize) * kSize * 3);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * kSize + x) * 3];
            p[0] = static_cast<uint8_t>(x * 255 / kSize);
            p[1] = static_cast<uint8_t>(128 + 100 * std::sin(x * 0.05) * std::cos(y * 0.07));
            p[2] = static_cast<uint8_t>(((x ^ y) & 0x3F) * 4);
        }
    orrery::test::JpegParams params;
    params.width = params.height = kSize;
    params.quality = 85;
    return {orrery::test::compressJpeg(rgb, params), kSize, kSize};
}

struct Inputs {
    fs::path folder;
    std::vector<std::string> generated;  // one file
    std::vector<std::string> corpus;     // the corpus PDFs that open without a password
};

bool opensWithoutPassword(const std::string& file) {
    const int32_t doc = modpagrent::LoadFromFile(file);
    const bool ok = doc != 0 && modpagrent::HasEncryption(doc) == 0 && modpagrent::PageCount(doc) > 0;
    if (doc != 0) modpagrent::Close(doc);
    return ok;
}

Inputs& inputs() {
    static Inputs in = [] {
        Inputs made;
        made.folder = fs::temp_directory_path() / ("orrery-pdf-bench-" + std::to_string(getpid()));
        fs::create_directories(made.folder);
        PdfPlan plan;
        const orrery::test::PdfJpeg jpeg = makeJpeg();
        for (int page = 1; page <= kGeneratedPages; ++page) plan.pages.push_back(generatedPage(page, jpeg));
        const fs::path file = made.folder / "generated.pdf";
        const std::vector<uint8_t> bytes = orrery::test::writePdf(plan);
        FILE* out = std::fopen(file.c_str(), "wb");
        if (out) {
            std::fwrite(bytes.data(), 1, bytes.size(), out);
            std::fclose(out);
        }
        made.generated.push_back(file.string());
        const fs::path corpus = fs::path(ORRERY_CORPUS_DIR) / "qpdf";
        if (fs::is_directory(corpus))
            for (const auto& entry : fs::directory_iterator(corpus))
                if (entry.path().extension() == ".pdf" && opensWithoutPassword(entry.path().string()))
                    made.corpus.push_back(entry.path().string());
        std::sort(made.corpus.begin(), made.corpus.end());
        return made;
    }();
    return in;
}

// Render page as the control does it, without a window: select, measure,
// rasterise, register in the image store, release.
bool renderEveryPage(const std::string& file) {
    const int32_t doc = modpagrent::LoadFromFile(file);
    if (doc == 0) return false;
    const int32_t pages = modpagrent::PageCount(doc);
    bool ok = true;
    for (int32_t page = 1; page <= pages; ++page) {
        if (modpagrent::SelectPage(doc, page) != 1) continue;
        int32_t width = orrery::pdf::PagePixels(modpagrent::PageWidth(doc), kDpi);
        int32_t height = orrery::pdf::PagePixels(modpagrent::PageHeight(doc), kDpi);
        const int32_t rotation = std::abs(modpagrent::PageRotation(doc));
        if (rotation == 90 || rotation == 270) std::swap(width, height);
        int32_t output = 0;
        if (modpagrent::Rasterize(doc, kDpi, output, width, height, 0, -1) != 1) {
            ok = false;
            continue;
        }
        int32_t id = 0;
        orrery::imaging::modMain::AddImage(id, modpagrent::TakePageImage(output), "", "", orrery::imaging::SourcePlain);
        orrery::imaging::modMain::ReleaseImage(id);
    }
    modpagrent::Close(doc);
    return ok;
}

// CPU seconds (user and system) this process has used so far.
double ownCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; }

// Runs a program to its end with its output discarded and returns the CPU
// seconds it used; negative when it could not run. Its exit code does not
// matter: a damaged file may fail after the work was done.
double runProcess(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)) return -1;
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

const std::vector<std::string>& filesOf(const std::string& set) {
    return set == "generated" ? inputs().generated : inputs().corpus;
}

void PdfRender(benchmark::State& state, const std::string& set) {
    for (auto _ : state) {
        const double start = ownCpuSeconds();
        for (const std::string& file : filesOf(set))
            if (!renderEveryPage(file)) state.SkipWithError(("cannot render " + file).c_str());
        state.SetIterationTime(ownCpuSeconds() - start);
    }
}

// A baseline program run once a file; `command` gives its words for a file.
template <typename Command>
void Baseline(benchmark::State& state, const std::string& set, Command command) {
    for (auto _ : state) {
        double cpu = 0;
        for (const std::string& file : filesOf(set)) {
            const double used = runProcess(command(file));
            if (used < 0) state.SkipWithError("the baseline program did not run (poppler-utils, mupdf-tools)");
            cpu += std::max(used, 0.0);
        }
        state.SetIterationTime(cpu);
    }
}

std::vector<std::string> pdftoppm(const std::string& file) {
    return {"pdftoppm", "-r", "200", file, (inputs().folder / "page").string()};
}

std::vector<std::string> mutoolDraw(const std::string& file) { return {"mutool", "draw", "-q", "-r", "200", file}; }

}  // namespace

int main(int argc, char** argv) {
    setenv("ORRERY_PDF_PLUGIN", ORRERY_PAGRENT_PATH, 1);
    orrery::imaging::modMain::StartGdiPlus();
    if (!modpagrent::IsAvailable()) {
        std::fprintf(stderr, "pdf_bench: the PDF plug-in %s cannot be loaded\n", ORRERY_PAGRENT_PATH);
        return 1;
    }
    // CPU seconds as each benchmark reports them (manual time).
    const std::string suffix = "/iterations:3/manual_time";
    std::vector<orrery::bench::Ratio> ratios;
    for (const std::string set : {"generated", "corpus"}) {
        const auto add = [&](const std::string& name, auto function) {
            benchmark::RegisterBenchmark((name + "/" + set).c_str(), function)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(3);
        };
        add("PdfRender", [set](benchmark::State& s) { PdfRender(s, set); });
        add("Pdftoppm", [set](benchmark::State& s) { Baseline(s, set, pdftoppm); });
        add("MutoolDraw", [set](benchmark::State& s) { Baseline(s, set, mutoolDraw); });
        using orrery::bench::Clock;
        ratios.push_back({"PdfRender/" + set + suffix, "Pdftoppm/" + set + suffix, 1.0, Clock::Manual});
        ratios.push_back({"PdfRender/" + set + suffix, "MutoolDraw/" + set + suffix, 1.2, Clock::Manual});
    }
    const int code = orrery::bench::runWithRatios(argc, argv, ratios);
    std::error_code ignored;
    fs::remove_all(inputs().folder, ignored);
    orrery::imaging::modMain::ShutdownGdiPlus();
    return code;
}
