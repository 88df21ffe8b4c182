// Transfers over loopback against bare libcurl. Each benchmark alternates
// the subject and its baseline in one loop and reports the median of the
// per-round ratios (subject time / baseline time) as "ratio":
//   64 MiB from nginx through cInet::ReadArray in 4096- and 65536-byte
//     blocks, no decoding, against a libcurl easy download into memory
//     (goals 1.5 and 1.1);
//   64 MiB by FtpGetFileA against a libcurl FTP download to a file (1.1);
//   DisplayFromURL of a 24-megapixel JPEG against DisplayFromFile of the same
//     file plus the bare download (1.1).
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "control/orrery.h"
#include "net/cinet.h"
#include "orrery/window/headless_backend.h"
#include "platform/inet/wininet.h"
#include "support/bench_support.h"
#include "support/test_servers.h"

namespace {

using namespace orrery;
using Clock = std::chrono::steady_clock;

constexpr size_t kBodyBytes = size_t{64} << 20;

// A fresh folder of the benchmark's, removed at its end.
struct Folder {
    Folder() {
        std::string name = (std::filesystem::temp_directory_path() / "orrery-inet-bench-XXXXXX").string();
        path = ::mkdtemp(name.data()) ? name : std::string();
    }
    ~Folder() { std::filesystem::remove_all(path); }
    std::filesystem::path file(const std::string& name) const { return path / name; }
    std::filesystem::path path;
};

struct Servers {
    Servers() {
        std::filesystem::create_directories(dir.file("www"));
        std::vector<char> body(kBodyBytes);
        for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 31 + (i >> 12));
        std::ofstream(dir.file("www/64m.bin"), std::ios::binary).write(body.data(), static_cast<std::streamsize>(body.size()));
        photoWritten = bench::writePhotoJpeg(dir.file("www/photo.jpg").string());
        test::makeCertificate(dir.path, "localhost");
        nginx = test::startNginx(dir.path, dir.file("www"), "localhost", test::freeLoopbackPort(),
                                 test::freeLoopbackPort());
        ftp = test::startFtpServer(dir.path, dir.file("www"));
    }
    std::string httpUrl(const char* file) const {
        return "http://127.0.0.1:" + std::to_string(nginx->port(0)) + "/" + file;
    }

    Folder dir;
    bool photoWritten = false;
    std::unique_ptr<test::ServerProcess> nginx, ftp;
};

Servers& servers() { return bench::sharedFixture<Servers>(); }

size_t intoMemory(char* data, size_t size, size_t count, void* out) {
    auto& body = *static_cast<std::vector<uint8_t>*>(out);
    body.insert(body.end(), data, data + size * count);
    return size * count;
}

// The bare download: one easy handle, HTTP/1.0 as the control asks, the
// body into fresh memory reserved ahead (as ReadArray's array is fresh).
bool bareHttp(const std::string& url) {
    std::vector<uint8_t> body;
    body.reserve(kBodyBytes);
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &intoMemory);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    const bool ok = curl_easy_perform(easy) == CURLE_OK;
    curl_easy_cleanup(easy);
    return ok;
}

size_t intoFile(char* data, size_t size, size_t count, void* file) {
    return std::fwrite(data, size, count, static_cast<FILE*>(file)) * size;
}

bool bareFtp(const std::string& url, const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(easy, CURLOPT_FTP_USE_EPSV, 0L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &intoFile);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, file);
    const bool ok = curl_easy_perform(easy) == CURLE_OK;
    curl_easy_cleanup(easy);
    std::fclose(file);
    std::filesystem::remove(path);
    return ok;
}

double secondsOf(const std::function<bool()>& run, bool& ok) {
    const auto start = Clock::now();
    ok = run() && ok;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Alternates subject and baseline; the subject's time is the iteration's.
void alternate(benchmark::State& state, const std::function<bool()>& subject, const std::function<bool()>& baseline) {
    std::vector<double> ratios;
    bool ok = true;
    for (auto _ : state) {
        const double ours = secondsOf(subject, ok);
        const double bare = secondsOf(baseline, ok);
        state.SetIterationTime(ours);
        ratios.push_back(ours / bare);
    }
    if (!ok) {
        state.SkipWithError("a transfer failed");
        return;
    }
    std::sort(ratios.begin(), ratios.end());
    state.counters["ratio"] = ratios[ratios.size() / 2];
}

bool readArray(const std::string& path, int32_t blockSize) {
    net::cInet inet(nullptr);
    inet.setBufferSize(blockSize);
    if (inet.Request("GET", "127.0.0.1", path, servers().nginx->port(0), inet::INTERNET_SERVICE_HTTP) == 0 ||
        !inet.SendRequest({}, {}))
        return false;
    std::vector<uint8_t> body;
    return inet.ReadArray(body, static_cast<int32_t>(kBodyBytes));
}

void httpReadArray(benchmark::State& state) {
    const auto block = static_cast<int32_t>(state.range(0));
    alternate(state, [&] { return readArray("/64m.bin", block); }, [&] { return bareHttp(servers().httpUrl("64m.bin")); });
}

void ftpGetFile(benchmark::State& state) {
    const std::string local = servers().dir.file("got.bin").string();
    const std::string url = "ftp://127.0.0.1:" + std::to_string(servers().ftp->port()) + "/64m.bin";
    alternate(
        state,
        [&] {
            net::cInet inet(nullptr);
            if (inet.FtpOpenSession("127.0.0.1", servers().ftp->port(), {}, {}) == 0) return false;
            const bool ok = inet::FtpGetFileA(inet.hSession(), "64m.bin", local, false, 0, 0, 0);
            std::filesystem::remove(local);
            return ok;
        },
        [&] { return bareFtp(url, local); });
}

void displayFromUrl(benchmark::State& state) {
    if (!servers().photoWritten) {
        state.SkipWithError("no photo");
        return;
    }
    window::HeadlessBackend backend;
    control::Orrery control(backend);
    control.setSilentMode(true);
    control.controlWindow().setWindowSize(1024, 768);
    const std::string file = servers().dir.file("www/photo.jpg").string();
    alternate(state, [&] { return control.DisplayFromURL("127.0.0.1", "/photo.jpg", servers().nginx->port(0)) == 0; },
              [&] { return bareHttp(servers().httpUrl("photo.jpg")) && control.DisplayFromFile(file) == 0; });
}

}  // namespace

int main(int argc, char** argv) {
    for (const char* name : {"http_proxy", "ftp_proxy", "all_proxy", "HTTP_PROXY", "FTP_PROXY", "ALL_PROXY"})
        unsetenv(name);
    benchmark::RegisterBenchmark("inet/read_array_64m", httpReadArray)
            ->Arg(4096)->Arg(65536)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);
    benchmark::RegisterBenchmark("inet/ftp_get_file_64m", ftpGetFile)
            ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);
    benchmark::RegisterBenchmark("inet/display_from_url_24mp", displayFromUrl)
            ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);
    std::printf("ratio = median of (ours / bare) per round; goals: read_array 4096 <= 1.5, 65536 <= 1.1, "
                "ftp_get_file <= 1.1, display_from_url <= 1.1\n");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    bench::endFixture<Servers>();
    return 0;
}
