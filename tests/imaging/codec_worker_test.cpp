// The codec plug-in in its worker process: a plug-in that crashes, hangs,
// breaks the confinement or lies on the socket costs one call, which fails
// as an empty plug-in answer would, and the next call gets a new worker;
// pictures arrive read-only, containers survive a restart, and the
// in-process mode starts no worker.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "imaging/codec_plugin.h"
#include "imaging/codec_worker.h"
#include "imaging/image_table.h"
#include "imaging/loaders.h"
#include "imaging/plugin_api.h"
#include "platform/gdiplus/factory.h"
#include "platform/kernel/files.h"
#include "support/jpeg_builder.h"
#include "support/test_support.h"

using namespace orrery::imaging;
namespace gp = orrery::gdiplus;
namespace fs = std::filesystem;

namespace {

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* before = std::getenv(name)) saved_ = before, had_ = true;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedEnv() { restore(); }
    void restore() {
        if (had_) setenv(name_, saved_.c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::string saved_;
    bool had_ = false;
};

bool sanitized() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

// Whether an address lies in one of this process's mappings.
bool isMapped(const void* address) {
    std::ifstream maps("/proc/self/maps");
    const auto at = reinterpret_cast<uintptr_t>(address);
    std::string line;
    while (std::getline(maps, line)) {
        uintptr_t from = 0, to = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx", &from, &to) == 2 && at >= from && at < to) return true;
    }
    return false;
}

// The test plug-in in the worker, a short deadline, an open session.
class HostileWorker : public ::testing::Test {
protected:
    void SetUp() override {
        plugin::reloadCodecPluginForTesting();
        setWorkerCallDeadlineForTesting(std::chrono::milliseconds(1500));
        ASSERT_TRUE(modMain::StartGdiPlus());
        ASSERT_TRUE(codecSandboxEnabled());
        ASSERT_EQ(PluginVersion(), "9.1.0.0") << codecWorkerLog();
    }
    void TearDown() override {
        modMain::ShutdownGdiPlus();
        EXPECT_EQ(modMain::TableSize(), 0u);
        setWorkerCallDeadlineForTesting(std::chrono::milliseconds(0));
        plugin_.restore();
        plugin::reloadCodecPluginForTesting();
    }

    fs::path hostileFile(const std::string& command) {
        const std::string text = "HOSTILE " + command + "\n";
        const fs::path path = dir_.file(command + ".psd");
        orrery::test::writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
        return path;
    }

    // Loads the PICTURE file and checks its pixels, top row first.
    void expectPictureLoads() {
        int32_t id = 0;
        ASSERT_EQ(LoadWithPlugin(id, hostileFile("PICTURE").string(), false), 0) << codecWorkerLog();
        const gp::Image* image = modMain::GetGdiImage(id);
        ASSERT_NE(image, nullptr);
        gp::ARGB c[4] = {};
        image->getPixel(0, 0, c[0]);
        image->getPixel(1, 0, c[1]);
        image->getPixel(0, 1, c[2]);
        image->getPixel(1, 1, c[3]);
        EXPECT_EQ(c[0], 0xFFFF0000u);
        EXPECT_EQ(c[1], 0xFF00FF00u);
        EXPECT_EQ(c[2], 0xFF0000FFu);
        EXPECT_EQ(c[3], 0xFFFFFFFFu);
        EXPECT_EQ(modMain::FindEntry(id)->FormatName, "PSD");
        EXPECT_FLOAT_EQ(image->horizontalResolution(), 96.0f);
        EXPECT_EQ(modMain::ReleaseImage(id), gp::Status::Ok);
    }

    orrery::test::TempDir dir_;
    ScopedEnv plugin_{"ORRERY_CODEC_PLUGIN", ORRERY_HOSTILE_PLUGIN};
};

TEST_F(HostileWorker, PicturesComeBackReadOnlyWithTheirFacts) {
    expectPictureLoads();
    int32_t id = 0;
    ASSERT_EQ(LoadWithPlugin(id, hostileFile("PICTURE").string(), false), 0);
    gp::Image* image = modMain::GetGdiImage(id);
    const ImageEntry* e = modMain::FindEntry(id);
    EXPECT_TRUE(image->pixels().isReadOnly());
    EXPECT_EQ(e->SourceKind, SourcePluginBitmap);
    EXPECT_TRUE(isWorkerHandle(e->PluginBitmap));
    // A change goes to a copy of the image's own; the mapping (read-only:
    // a write to it would fault) is not written, and goes with the last
    // pixels over it, though the entry stays.
    const uint8_t* mapped = image->pixels().scan0();
    EXPECT_TRUE(isMapped(mapped));
    EXPECT_EQ(image->setPixel(0, 0, 0xFF123456u), gp::Status::Ok);
    EXPECT_FALSE(image->pixels().isReadOnly());
    EXPECT_FALSE(isMapped(mapped));
    gp::ARGB c = 0;
    image->getPixel(0, 0, c);
    EXPECT_EQ(c, 0xFF123456u);
    image->getPixel(1, 1, c);
    EXPECT_EQ(c, 0xFFFFFFFFu);
    EXPECT_EQ(modMain::ReleaseImage(id), gp::Status::Ok);
}

// Each misbehaviour costs its call (the plug-in's "no bitmap", status 3),
// leaves nothing in the store, ends that worker, and the next load works in
// a new one.
TEST_F(HostileWorker, MisbehavingPluginFailsOneCallAndTheNextWorks) {
    std::vector<std::string> commands = {"CRASH", "HANG", "GARBAGE", "FORGE"};
    if (!sanitized()) commands.push_back("HOG");  // checked builds set no address-space limit
    for (const std::string& command : commands) {
        const int startsBefore = codecWorkerStarts();
        int32_t id = 0;
        const auto began = std::chrono::steady_clock::now();
        EXPECT_EQ(LoadWithPlugin(id, hostileFile(command).string(), false), 3) << command;
        EXPECT_EQ(id, 0) << command;
        EXPECT_EQ(modMain::LiveEntryCount(), 0u) << command;
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(20)) << command;
        expectPictureLoads();
        if (command != "HOG") {
            EXPECT_EQ(codecWorkerStarts(), startsBefore + 1) << command;
        }
    }
    const std::string log = codecWorkerLog();
    EXPECT_NE(log.find("the worker died"), std::string::npos) << log;
    EXPECT_NE(log.find("deadline"), std::string::npos) << log;
    EXPECT_NE(log.find("broke the protocol"), std::string::npos) << log;
}

// Opening files, starting programs or processes, making sockets and setting
// signal handlers are outside the filter (threads are not: see
// EveryFormatLoadsAsItDoesInProcess): the worker is killed by the system
// (SIGSYS, 31) before the call returns, and the load falls back.
TEST_F(HostileWorker, FilterKillsForbiddenSystemCalls) {
    for (const char* command : {"OPEN", "EXEC", "SOCKET", "FORK", "SIGNAL"}) {
        int32_t id = 0;
        const size_t logBefore = codecWorkerLog().size();
        EXPECT_EQ(LoadWithPlugin(id, hostileFile(command).string(), false), 3) << command;
        const std::string log = codecWorkerLog().substr(std::min(logBefore, codecWorkerLog().size()));
        EXPECT_NE(log.find("signal 31"), std::string::npos) << command << ": " << log;
        expectPictureLoads();
    }
}

// /proc/PID/stat of a process, empty when there is none.
std::string procStat(const std::string& pid) {
    std::ifstream in("/proc/" + pid + "/stat");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Processes whose parent is `host` that are not zombies.
std::vector<pid_t> liveChildrenOf(pid_t host) {
    std::vector<pid_t> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string text = procStat(name);
        const size_t close = text.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        int parent = 0;
        if (std::sscanf(text.c_str() + close + 1, " %c %d", &state, &parent) == 2 && parent == host && state != 'Z')
            found.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return found;
}

// True when `pid` is gone or a zombie within `bound`.
bool endsWithin(pid_t pid, std::chrono::milliseconds bound) {
    const auto until = std::chrono::steady_clock::now() + bound;
    do {
        const std::string text = procStat(std::to_string(pid));
        const size_t close = text.rfind(')');
        if (text.empty() || (close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z'))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < until);
    return false;
}

// The worker does not outlive its host: a host killed by SIGTERM in the
// middle of a call that hangs takes its worker with it, and a host that
// exits normally has reaped its worker when it is gone.
TEST_F(HostileWorker, WorkerEndsWithItsHost) {
    for (const bool killed : {true, false}) {
        stopCodecWorker();  // the child starts a worker of its own
        int go[2];
        ASSERT_EQ(::pipe(go), 0);
        const std::string file = hostileFile(killed ? "HANG" : "PICTURE").string();
        const pid_t host = fork();
        if (host == 0) {
            setWorkerCallDeadlineForTesting(std::chrono::milliseconds(120000));
            int32_t id = 0;
            const int32_t s = LoadWithPlugin(id, file, false);
            char byte = 0;
            if (::read(go[0], &byte, 1) != 1) _exit(3);
            std::exit(s == 0 ? 0 : 2);  // normally, through the exit hooks
        }
        std::vector<pid_t> workers;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (workers.empty() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            workers = liveChildrenOf(host);
        }
        ASSERT_EQ(workers.size(), 1u) << (killed ? "killed" : "exited");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // into the call
        int status = 0;
        if (killed) {
            ::kill(host, SIGTERM);
            ::waitpid(host, &status, 0);
            EXPECT_TRUE(WIFSIGNALED(status));
            EXPECT_TRUE(endsWithin(workers[0], std::chrono::seconds(10))) << "worker " << workers[0];
        } else {
            ASSERT_EQ(::write(go[1], "x", 1), 1);
            ::waitpid(host, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            EXPECT_EQ(::kill(workers[0], 0), -1) << "worker " << workers[0] << " outlived its host";
        }
        ::close(go[0]);
        ::close(go[1]);
    }
    expectPictureLoads();
}

// A JPEG the plug-in crashes on is read by the imaging layer's own decoder.
TEST_F(HostileWorker, CrashedFileFallsBackToOwnDecoder) {
    const fs::path path = dir_.file("photo.jpg");
    orrery::test::JpegParams layout;
    layout.width = 32;
    layout.height = 16;
    orrery::test::writeFile(path, orrery::test::compressJpeg(std::vector<uint8_t>(32 * 16 * 3, 128), layout));
    int32_t id = 0;
    ASSERT_EQ(LoadImageFromFile(id, path.string()), 0);
    EXPECT_EQ(modMain::FindEntry(id)->SourceKind, SourceFile);
    EXPECT_EQ(modMain::GetGdiImage(id)->width(), 32);
    EXPECT_NE(codecWorkerLog().find("the worker died"), std::string::npos);
    modMain::ReleaseImage(id);
}

// The installed plug-in through the worker.
class RealWorker : public ::testing::Test {
protected:
    void SetUp() override {
        if (!IsPluginAvailable()) GTEST_SKIP() << "codec plug-in not installed";
        ASSERT_TRUE(modMain::StartGdiPlus());
    }
    void TearDown() override {
        if (!modMain::IsSessionOpen()) return;
        modMain::ShutdownGdiPlus();
        EXPECT_EQ(modMain::TableSize(), 0u);
    }
};

// A 16 x 16 8-bit icon whose bitmap header gives a negative height: the
// plug-in writes before its heap block reading it.
std::vector<uint8_t> iconWithNegativeHeight() {
    using orrery::test::put16;
    using orrery::test::put32;
    std::vector<uint8_t> bitmap;
    put32(bitmap, 40);
    put32(bitmap, 16);
    put32(bitmap, static_cast<uint32_t>(-32));
    put16(bitmap, 1);
    put16(bitmap, 8);
    for (int i = 0; i < 6; ++i) put32(bitmap, 0);
    for (int i = 0; i < 256; ++i) put32(bitmap, 0x00302010);
    bitmap.resize(bitmap.size() + 16 * 16 + 4 * 16, 0x55);
    std::vector<uint8_t> ico;
    put16(ico, 0);
    put16(ico, 1);
    put16(ico, 1);
    ico.insert(ico.end(), {16, 16, 0, 0});
    put16(ico, 1);
    put16(ico, 8);
    put32(ico, static_cast<uint32_t>(bitmap.size()));
    put32(ico, 22);
    ico.insert(ico.end(), bitmap.begin(), bitmap.end());
    return ico;
}

// A JPEG whose EXIF block announces 65535 tags in its first directory and
// holds two: the plug-in reads far past the block.
std::vector<uint8_t> jpegWithLyingExif() {
    orrery::test::JpegParams layout;
    layout.width = 48;
    layout.height = 32;
    const std::vector<uint8_t> jpeg = orrery::test::compressJpeg(std::vector<uint8_t>(48 * 32 * 3, 90), layout);
    std::vector<uint8_t> exif = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF};
    for (uint32_t tag : {0x010Fu, 0x0110u}) {
        orrery::test::put16(exif, tag);
        orrery::test::put16(exif, 2);
        orrery::test::put32(exif, 4);
        orrery::test::put32(exif, 0x00414141);
    }
    orrery::test::put32(exif, 0);
    std::vector<uint8_t> out = {0xFF, 0xD8, 0xFF, 0xE1};
    orrery::test::put16be(out, static_cast<uint32_t>(exif.size() + 2));
    out.insert(out.end(), exif.begin(), exif.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// A 16 x 16 grey TIFF in tiles of 2^30 x 2^30 pixels: the plug-in asks for
// 2^60 bytes.
std::vector<uint8_t> tiffWithHugeTiles() {
    using orrery::test::put16;
    using orrery::test::put32;
    std::vector<uint8_t> t = {'I', 'I', 42, 0};
    put32(t, 8);
    const uint32_t entries[][3] = {{256, 3, 16},      {257, 3, 16},      {258, 3, 8},   {259, 3, 1}, {262, 3, 1},
                                   {277, 3, 1},       {322, 4, 1u << 30}, {323, 4, 1u << 30}, {324, 4, 200},
                                   {325, 4, 256}};
    put16(t, static_cast<uint32_t>(std::size(entries)));
    for (const auto& e : entries) {
        put16(t, e[0]);
        put16(t, e[1]);
        put32(t, 1);
        if (e[1] == 3) {
            put16(t, e[2]);
            put16(t, 0);
        } else {
            put32(t, e[2]);
        }
    }
    put32(t, 0);
    t.resize(200, 0);
    t.resize(456, 0x80);
    return t;
}

// Files that break the plug-in in-process: through the worker each gives
// what the next loader makes of it (the imaging layer reads the icon and
// the JPEG) or the plug-in's status, and the plug-in keeps working.
TEST_F(RealWorker, FilesThatBreakThePluginGiveTheNextLoadersResult) {
    ORRERY_REQUIRE_CORPUS();
    orrery::test::TempDir dir;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int32_t status;
        int width;
    };
    const Case cases[] = {{"negative.ico", iconWithNegativeHeight(), 0, 16},
                          {"exif.jpg", jpegWithLyingExif(), 0, 48},
                          {"tiles.tif", tiffWithHugeTiles(), 3, 0}};
    for (const Case& c : cases) {
        const fs::path path = dir.file(c.name);
        orrery::test::writeFile(path, c.bytes);
        int32_t id = 0;
        ASSERT_EQ(LoadImageFromFile(id, path.string()), c.status) << c.name;
        if (c.status == 0) {
            EXPECT_EQ(modMain::GetGdiImage(id)->width(), c.width) << c.name;
            EXPECT_EQ(modMain::ReleaseImage(id), gp::Status::Ok);
        }
        EXPECT_EQ(modMain::LiveEntryCount(), 0u) << c.name;
        int32_t photo = 0;
        ASSERT_EQ(LoadWithPlugin(photo, orrery::test::corpusPath("pillow/hopper.jpg").string(), false), 0) << c.name;
        EXPECT_EQ(modMain::GetGdiImage(photo)->width(), 128);
        modMain::ReleaseImage(photo);
    }
}

// A picture with some structure in every channel, row by row, top row first.
std::vector<uint8_t> patternRgb(int width, int height) {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            rgb.push_back(static_cast<uint8_t>(x * 7 + y * 3));
            rgb.push_back(static_cast<uint8_t>(x * y + 40));
            rgb.push_back(static_cast<uint8_t>(255 - x * 5 - y));
        }
    return rgb;
}

// The pattern as a plug-in bitmap of `bpp` bits (24: B, G, R; 8: the green
// samples as grey levels; 1: the green samples' top bit), or as floating-point
// RGB for `floatRgb`. Null when the plug-in cannot make it.
PluginHandle pluginPicture(int width, int height, int bpp, bool floatRgb) {
    const plugin::Functions* f = plugin::functions();
    if (!f || !f->ConvertFromRawBits || !f->ConvertToType) return nullptr;
    const std::vector<uint8_t> rgb = patternRgb(width, height);
    const int pitch = ((width * bpp + 31) / 32) * 4;
    std::vector<uint8_t> bits(static_cast<size_t>(pitch) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* px = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            uint8_t* row = &bits[static_cast<size_t>(pitch) * y];
            if (bpp == 24) {
                row[x * 3] = px[2];
                row[x * 3 + 1] = px[1];
                row[x * 3 + 2] = px[0];
            } else if (bpp == 8) {
                row[x] = px[1];
            } else if (px[1] & 0x80) {
                row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
            }
        }
    PluginHandle bitmap = f->ConvertFromRawBits(bits.data(), width, height, pitch, static_cast<unsigned>(bpp),
                                                0xFF0000, 0x00FF00, 0x0000FF, 1);
    if (!floatRgb || !bitmap) return bitmap;
    PluginHandle converted = f->ConvertToType(static_cast<plugin::FIBITMAP*>(bitmap), plugin::ImageType::RGBF, 1);
    plugin::Unload(bitmap);
    return converted;
}

// Formats the plug-in reads but cannot write, made byte by byte from the
// pattern: ZSoft PCX (three planes, run-length coded), Sun raster, SGI
// (verbatim), DirectDraw surface (uncompressed 32 bits) and X bitmap.
std::vector<uint8_t> pcxFile(int width, int height) {
    using orrery::test::put16;
    const std::vector<uint8_t> rgb = patternRgb(width, height);
    const int bytesPerLine = (width + 1) & ~1;
    std::vector<uint8_t> out = {0x0A, 5, 1, 8};
    for (uint32_t v : {0u, 0u, uint32_t(width - 1), uint32_t(height - 1), 72u, 72u}) put16(out, v);
    out.resize(65, 0);
    out.push_back(3);
    put16(out, static_cast<uint32_t>(bytesPerLine));
    put16(out, 1);
    out.resize(128, 0);
    for (int y = 0; y < height; ++y)
        for (int plane = 0; plane < 3; ++plane)
            for (int x = 0; x < bytesPerLine; ++x) {
                const uint8_t v = x < width ? rgb[(static_cast<size_t>(y) * width + x) * 3 + plane] : 0;
                if ((v & 0xC0) == 0xC0) out.push_back(0xC1);
                out.push_back(v);
            }
    return out;
}

std::vector<uint8_t> sunRasterFile(int width, int height) {
    using orrery::test::put32be;
    const std::vector<uint8_t> rgb = patternRgb(width, height);
    const int rowBytes = (width * 3 + 1) & ~1;
    std::vector<uint8_t> out;
    for (uint32_t v : {0x59A66A95u, uint32_t(width), uint32_t(height), 24u, uint32_t(rowBytes * height), 1u, 0u, 0u})
        put32be(out, v);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            for (int c = 2; c >= 0; --c) out.push_back(rgb[(static_cast<size_t>(y) * width + x) * 3 + c]);
        if (width * 3 < rowBytes) out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> sgiFile(int width, int height) {
    using orrery::test::put16be;
    using orrery::test::put32be;
    const std::vector<uint8_t> rgb = patternRgb(width, height);
    std::vector<uint8_t> out;
    put16be(out, 474);
    out.push_back(0);  // verbatim
    out.push_back(1);  // one byte per sample
    for (uint32_t v : {3u, uint32_t(width), uint32_t(height), 3u}) put16be(out, v);
    put32be(out, 0);
    put32be(out, 255);
    out.resize(512, 0);
    for (int c = 0; c < 3; ++c)
        for (int y = height - 1; y >= 0; --y)  // bottom row first
            for (int x = 0; x < width; ++x) out.push_back(rgb[(static_cast<size_t>(y) * width + x) * 3 + c]);
    return out;
}

std::vector<uint8_t> ddsFile(int width, int height) {
    using orrery::test::put32;
    const std::vector<uint8_t> rgb = patternRgb(width, height);
    std::vector<uint8_t> out = {'D', 'D', 'S', ' '};
    for (uint32_t v : {124u, 0x100Fu, uint32_t(height), uint32_t(width), uint32_t(width * 4), 0u, 0u}) put32(out, v);
    out.resize(out.size() + 11 * 4, 0);
    for (uint32_t v : {32u, 0x41u, 0u, 32u, 0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u, 0x1000u})
        put32(out, v);
    out.resize(4 + 124, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* px = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            out.insert(out.end(), {px[2], px[1], px[0], static_cast<uint8_t>(x * 9 + y)});
        }
    return out;
}

std::vector<uint8_t> xbmFile(int width, int height) {
    const std::vector<uint8_t> rgb = patternRgb(width, height);
    std::string text = "#define p_width " + std::to_string(width) + "\n#define p_height " + std::to_string(height) +
                       "\nstatic unsigned char p_bits[] = {\n";
    const int rowBytes = (width + 7) / 8;
    for (int y = 0; y < height; ++y)
        for (int b = 0; b < rowBytes; ++b) {
            unsigned v = 0;
            for (int bit = 0; bit < 8 && b * 8 + bit < width; ++bit)
                if (rgb[(static_cast<size_t>(y) * width + b * 8 + bit) * 3 + 1] & 0x80) v |= 1u << bit;
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02x,", v);
            text += hex;
        }
    text += "};\n";
    return std::vector<uint8_t>(text.begin(), text.end());
}

// One file of every format the plug-in reads that can be made here goes
// through the worker and through the plug-in in this process (the same
// detection and binding, without the worker), and both give the same
// picture, pixel for pixel. (The plug-in as Debian builds it neither writes
// nor reads JPEG XR, so that format has no case.) WebP, lossy and lossless, decodes on threads of
// the plug-in's own: the worker's filter lets it make them.
TEST_F(RealWorker, EveryFormatLoadsAsItDoesInProcess) {
    // Wide enough for the plug-in's WebP decoder to use its threads (from 512
    // columns), large enough for the JPEG 2000 encoder's six levels.
    // Icons are square.
    constexpr int kWide = 600, kWidth = 67, kHeight = 45;
    struct Case {
        const char* file;
        int width;
        const char* formatName;
        int saveFormat;  // written by the plug-in; -1 when `bytes` makes it
        int bpp;
        bool floatRgb;
        int saveFlags;
        std::vector<uint8_t> (*bytes)(int, int);
    };
    constexpr int kWebpLossless = 0x100;
    constexpr int kTargaRle = 2;
    constexpr int kPnmAscii = 1;
    // The plug-in reads every PNM variant as PBM.
    const Case cases[] = {
        {"lossy.webp", kWide, "WEBP", PluginFormat::WEBP, 24, false, 0, nullptr},
        {"lossless.webp", kWidth, "WEBP", PluginFormat::WEBP, 24, false, kWebpLossless, nullptr},
        {"picture.exr", kWidth, "EXR", PluginFormat::EXR, 24, true, 0, nullptr},
        {"picture.hdr", kWidth, "HDR", PluginFormat::HDR, 24, true, 0, nullptr},
        {"picture.pfm", kWidth, "PFM", 32, 24, true, 0, nullptr},
        {"picture.j2k", kWidth, "J2K", PluginFormat::J2K, 24, false, 0, nullptr},
        {"picture.jp2", kWidth, "JP2", PluginFormat::JP2, 24, false, 0, nullptr},
        {"picture.psd", kWidth, "PSD", 20, 24, false, 0, nullptr},
        {"picture.tga", kWidth, "TARGA", PluginFormat::TARGA, 24, false, 0, nullptr},
        {"packed.tga", kWidth, "TARGA", PluginFormat::TARGA, 24, false, kTargaRle, nullptr},
        {"picture.tif", kWidth, "TIFF", PluginFormat::TIFF, 24, false, 0, nullptr},
        {"picture.jpg", kWidth, "JPEG", PluginFormat::JPEG, 24, false, 0, nullptr},
        {"picture.jng", kWidth, "JNG", 3, 24, false, 0, nullptr},
        {"picture.ico", kHeight, "ICO", PluginFormat::ICO, 24, false, 0, nullptr},
        {"picture.xpm", kWidth, "XPM", 23, 24, false, 0, nullptr},
        {"raw.ppm", kWidth, "PBM", 15, 24, false, 0, nullptr},
        {"text.ppm", kWidth, "PBM", 14, 24, false, kPnmAscii, nullptr},
        {"raw.pgm", kWidth, "PBM", 12, 8, false, 0, nullptr},
        {"text.pgm", kWidth, "PBM", 11, 8, false, kPnmAscii, nullptr},
        {"raw.pbm", kWidth, "PBM", 8, 1, false, 0, nullptr},
        {"text.pbm", kWidth, "PBM", 7, 1, false, kPnmAscii, nullptr},
        {"picture.pcx", kWidth, "PCX", -1, 0, false, 0, pcxFile},
        {"picture.ras", kWidth, "RAS", -1, 0, false, 0, sunRasterFile},
        {"picture.sgi", kWidth, "SGI", -1, 0, false, 0, sgiFile},
        {"picture.dds", kWidth, "DDS", -1, 0, false, 0, ddsFile},
        {"picture.xbm", kWidth, "XBM", -1, 0, false, 0, xbmFile},
    };
    orrery::test::TempDir dir;
    const int starts = codecWorkerStarts();
    for (const Case& c : cases) {
        const fs::path path = dir.file(c.file);
        if (c.bytes) {
            orrery::test::writeFile(path, c.bytes(c.width, kHeight));
        } else {
            PluginHandle picture = pluginPicture(c.width, kHeight, c.bpp, c.floatRgb);
            ASSERT_NE(picture, nullptr) << c.file;
            const bool saved = plugin::Save(c.saveFormat, picture, path.string(), c.saveFlags);
            plugin::Unload(picture);
            ASSERT_TRUE(saved) << c.file;
        }
        int32_t inWorker = 0;
        ASSERT_EQ(LoadWithPlugin(inWorker, path.string(), false), 0) << c.file << "\n" << codecWorkerLog();
        const ImageEntry* e = modMain::FindEntry(inWorker);
        ASSERT_NE(e, nullptr) << c.file;
        EXPECT_TRUE(isWorkerHandle(e->PluginBitmap)) << c.file;
        EXPECT_EQ(e->FormatName, c.formatName) << c.file;

        orrery::kernel::UniqueFd fd;
        ASSERT_EQ(orrery::kernel::openRegularFile(path.string(), fd), orrery::kernel::OpenError::None);
        const int format = detectPluginFormat(fd.get(), path.string());
        int32_t here = 0;
        PluginContainer container;
        ASSERT_EQ(loadWithBoundPlugin(fd.get(), format, false, here, container), 0) << c.file;
        ASSERT_EQ(container.multi, nullptr) << c.file;
        ASSERT_NE(modMain::GetGdiImage(inWorker), nullptr) << c.file;
        ASSERT_NE(modMain::GetGdiImage(here), nullptr) << c.file;
        const gp::Image& a = *modMain::GetGdiImage(inWorker);
        const gp::Image& b = *modMain::GetGdiImage(here);
        EXPECT_EQ(a.width(), c.width) << c.file;
        EXPECT_EQ(a.height(), kHeight) << c.file;
        EXPECT_EQ(a.pixelFormat(), b.pixelFormat()) << c.file;
        EXPECT_EQ(orrery::test::compareImages(a, b).max, 0) << c.file;
        EXPECT_EQ(modMain::ReleaseImage(inWorker), gp::Status::Ok);
        EXPECT_EQ(modMain::ReleaseImage(here), gp::Status::Ok);
    }
    // One worker served them all: none crashed or was ended.
    EXPECT_LE(codecWorkerStarts(), starts + 1) << codecWorkerLog();
}

// A progressive grey JPEG of 1448 x 1448 pixels: a DC scan, then `acScans`
// scans of 12 bytes each that all give the whole first AC band of every
// block (one end-of-band run over the picture's 181 x 181 blocks). Each scan
// costs a decoder a pass over every block.
std::vector<uint8_t> jpegScanBomb(int acScans) {
    using orrery::test::put16be;
    constexpr int kSide = 1448, kBlocks = (kSide / 8) * (kSide / 8);
    std::vector<uint8_t> out = {0xFF, 0xD8, 0xFF, 0xDB};
    put16be(out, 67);
    out.push_back(0);
    out.insert(out.end(), 64, 1);
    out.insert(out.end(), {0xFF, 0xC2});  // progressive frame, one component
    put16be(out, 11);
    out.push_back(8);
    put16be(out, kSide);
    put16be(out, kSide);
    out.insert(out.end(), {1, 1, 0x11, 0});
    // Huffman tables of one code each, "0": DC difference 0, and an end of
    // band run of 2^14 plus 14 extra bits.
    for (uint8_t table : {0x00, 0x10}) {
        out.insert(out.end(), {0xFF, 0xC4});
        put16be(out, 20);
        out.push_back(table);
        out.push_back(1);
        out.insert(out.end(), 15, 0);
        out.push_back(table == 0 ? 0x00 : 0xE0);
    }
    const auto startOfScan = [&](uint8_t first, uint8_t last) {
        out.insert(out.end(), {0xFF, 0xDA});
        put16be(out, 8);
        out.insert(out.end(), {1, 1, 0x00, first, last, 0x00});
    };
    startOfScan(0, 0);
    out.insert(out.end(), (kBlocks + 7) / 8 - 1, 0x00);  // one "0" bit per block
    out.push_back(static_cast<uint8_t>(0xFF >> (kBlocks % 8)));
    // "0", then kBlocks - 2^14 in 14 bits, then a padding bit of 1.
    const uint32_t run = ((uint32_t(kBlocks) - (1u << 14)) << 1) | 1u;
    for (int i = 0; i < acScans; ++i) {
        startOfScan(1, 63);
        out.push_back(static_cast<uint8_t>(run >> 8));
        out.push_back(static_cast<uint8_t>(run));
    }
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

// Files that would hold a decoder for many seconds fail at once with the
// status of bad data (InvalidParameter, 2) from the plug-in's binding in the
// worker and from the imaging layer's decoder, and the worker survives them:
// a progressive JPEG of 70,000 scans (the binding and the decoder refuse
// more than 500), and raw PNM and PFM files announcing far more pixels than
// they hold (refused from their header and the file's size).
TEST_F(RealWorker, FilesThatWouldHoldTheDecoderFailAtOnce) {
    orrery::test::TempDir dir;
    const auto text = [](const std::string& header, size_t dataBytes) {
        std::vector<uint8_t> bytes(header.begin(), header.end());
        bytes.resize(bytes.size() + dataBytes, 0x5A);
        return bytes;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"bomb.jpg", jpegScanBomb(70000)},
        {"bitmap.pbm", text("P4\n30000 30000\n", 100)},
        {"grey.pgm", text("P5 # a comment\n20000 20000 255\n", 1000)},
        {"deep.pgm", text("P5\n300 200\n65535\n", 300 * 200)},  // needs two bytes per sample
        {"colour.ppm", text("P6\n20000\n20000\n255\n", 1000)},
        {"float.pfm", text("PF\n20000 20000\n-1.0\n", 1000)},
    };
    PluginVersion();
    const int starts = codecWorkerStarts();
    for (const Case& c : cases) {
        const fs::path path = dir.file(c.name);
        orrery::test::writeFile(path, c.bytes);
        int32_t id = 0;
        EXPECT_EQ(LoadImageFromFile(id, path.string()), 2) << c.name;
        EXPECT_EQ(id, 0) << c.name;
        if (id != 0) modMain::ReleaseImage(id);
    }
    EXPECT_EQ(codecWorkerStarts(), starts) << codecWorkerLog();
    // The scan limit leaves ordinary progressive files alone: twenty scans
    // are read.
    const fs::path fine = dir.file("fine.jpg");
    orrery::test::writeFile(fine, jpegScanBomb(20));
    int32_t id = 0;
    ASSERT_EQ(LoadImageFromFile(id, fine.string()), 0) << codecWorkerLog();
    EXPECT_EQ(modMain::GetGdiImage(id)->width(), 1448);
    EXPECT_EQ(modMain::ReleaseImage(id), gp::Status::Ok);
    EXPECT_EQ(codecWorkerStarts(), starts) << codecWorkerLog();
}

// A call's deadline grows with the file and the picture its header
// announces, within the longest deadline: a file under 1 MB of a few
// megapixels gets about two seconds (four times as much in sanitizer
// builds), a large photo many, and a picture of unknown size the longest.
TEST(WorkerCallDeadline, FollowsTheFileAndThePicture) {
    using std::chrono::milliseconds;
    const double slow = sanitized() ? 4 : 1;
    struct Case {
        uint64_t bytes, pixels;
        bool withPixels;
        milliseconds atLeast, atMost;
    };
    const Case cases[] = {
        {914'000, 1448 * 1448, true, milliseconds(1000), milliseconds(static_cast<int>(2000 * slow))},
        {100, 30000ull * 30000ull, false, milliseconds(1000), milliseconds(static_cast<int>(1100 * slow))},
        {8'000'000, 24'000'000, true, milliseconds(5000), kWorkerCallDeadline},
        {100, 0, true, kWorkerCallDeadline, kWorkerCallDeadline},
        {1ull << 40, 1ull << 40, true, kWorkerCallDeadline, kWorkerCallDeadline},
    };
    for (const Case& c : cases) {
        const milliseconds d = workerCallDeadline(c.bytes, c.pixels, c.withPixels);
        EXPECT_GE(d, c.atLeast) << c.bytes << " bytes, " << c.pixels << " pixels";
        EXPECT_LE(d, c.atMost) << c.bytes << " bytes, " << c.pixels << " pixels";
    }
}

// Pages of a multi-page container stay reachable when its worker is
// replaced: the host opens the file again in the new one.
TEST_F(RealWorker, ContainerSurvivesARestart) {
    ORRERY_REQUIRE_CORPUS();
    const fs::path path = orrery::test::corpusPath("pillow/multipage.tiff");
    int32_t id = 0;
    ASSERT_EQ(LoadWithPlugin(id, path.string(), false), 0);
    ASSERT_TRUE(isWorkerHandle(modMain::FindEntry(id)->PluginBitmap));
    std::unique_ptr<gp::Image> own;
    ASSERT_EQ(gp::loadImageFromFile(path.string(), {}, own), gp::Status::Ok);
    stopCodecWorker();
    const int starts = codecWorkerStarts();
    ASSERT_EQ(modMain::SelectTiffPage(id, 2), 0);
    EXPECT_EQ(codecWorkerStarts(), starts + 1);
    ASSERT_EQ(own->selectActiveFrame(gp::FrameDimension::Page, 2), gp::Status::Ok);
    EXPECT_EQ(orrery::test::compareImages(*modMain::GetGdiImage(id), *own).max, 0);
    EXPECT_EQ(modMain::ReleaseImage(id), gp::Status::Ok);
}

// ORRERY_CODEC_SANDBOX=0: the plug-in runs here, no worker starts, and the
// entry keeps the plug-in's own bitmap.
TEST_F(RealWorker, SandboxOffRunsThePluginInProcess) {
    ORRERY_REQUIRE_CORPUS();
    ScopedEnv off("ORRERY_CODEC_SANDBOX", "0");
    plugin::reloadCodecPluginForTesting();
    const int starts = codecWorkerStarts();
    int32_t id = 0;
    ASSERT_EQ(LoadWithPlugin(id, orrery::test::corpusPath("pillow/hopper.jpg").string(), false), 0);
    EXPECT_EQ(codecWorkerStarts(), starts);
    const ImageEntry* e = modMain::FindEntry(id);
    EXPECT_FALSE(isWorkerHandle(e->PluginBitmap));
    EXPECT_FALSE(modMain::GetGdiImage(id)->pixels().isReadOnly());
    EXPECT_EQ(modMain::ReleaseImage(id), gp::Status::Ok);
    modMain::ShutdownGdiPlus();
    off.restore();
    plugin::reloadCodecPluginForTesting();
    EXPECT_TRUE(codecSandboxEnabled());
}

// ORRERY_CODEC_PLUGIN=none: nothing for a worker to load, so none starts,
// and files go to the other loaders.
TEST(CodecWorkerSwitchedOff, StartsNoWorker) {
    ScopedEnv off("ORRERY_CODEC_PLUGIN", "none");
    plugin::reloadCodecPluginForTesting();
    const int starts = codecWorkerStarts();
    ASSERT_TRUE(modMain::StartGdiPlus());
    EXPECT_FALSE(IsPluginAvailable());
    orrery::test::TempDir dir;
    const fs::path path = dir.file("tiny.bmp");
    auto image = gp::Image::fromPixels([] {
        gp::PixelData pixels;
        EXPECT_EQ(gp::PixelData::allocate(2, 2, gp::PixelFormat24bppRGB, pixels), gp::Status::Ok);
        return pixels;
    }());
    ASSERT_EQ(image->save(path.string(), gp::CodecClsid::BMP, {}), gp::Status::Ok);
    int32_t id = 0;
    constexpr int32_t kPluginMissing = 9;
    EXPECT_EQ(LoadWithPlugin(id, path.string(), false), kPluginMissing);
    ASSERT_EQ(LoadImageFromFile(id, path.string()), 0);
    EXPECT_EQ(modMain::ReleaseImage(id), gp::Status::Ok);
    modMain::ShutdownGdiPlus();
    EXPECT_EQ(codecWorkerStarts(), starts);
    off.restore();
    plugin::reloadCodecPluginForTesting();
}

}  // namespace
