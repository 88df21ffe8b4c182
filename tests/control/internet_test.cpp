// DisplayFromURL, DisplayFromFTP and their companions, by dispatch and as C++
// members, against real servers the test starts on 127.0.0.1 (nginx for
// HTTP and HTTPS, pyftpdlib, and a misbehaving server of the tests' own).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "imaging/image_info.h"
#include "net/internet_display.h"
#include "orrery/window/headless_backend.h"
#include "platform/inet/wininet.h"
#include "support/headless_viewer.h"
#include "pdf/pdf_fixture.h"
#include "support/jpeg_builder.h"
#include "support/test_servers.h"
#include "support/test_support.h"

using namespace orrery;
using namespace orrery::automation;
using window::HeadlessBackend;
namespace EventId = control::EventId;

namespace {

const bool kNoPlugin = [] { return setenv("ORRERY_CODEC_PLUGIN", "none", 1) == 0; }();

constexpr int32_t kJpegWidth = 64, kJpegHeight = 48;

std::vector<uint8_t> smallJpeg() {
    test::JpegParams params;
    params.width = kJpegWidth;
    params.height = kJpegHeight;
    std::vector<uint8_t> samples(size_t{kJpegWidth} * kJpegHeight * 3);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 13);
    return test::compressJpeg(samples, params);
}

size_t temporaryFileCount() {
    const std::string folder = imaging::GetPrivateTempFolder();
    if (folder.empty() || !std::filesystem::exists(folder)) return 0;
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) n += entry.is_regular_file();
    return n;
}

class InternetTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"http_proxy", "https_proxy", "ftp_proxy", "all_proxy", "no_proxy", "HTTP_PROXY",
                                 "HTTPS_PROXY", "FTP_PROXY", "ALL_PROXY", "NO_PROXY"})
            unsetenv(name);
        std::filesystem::create_directories(dir.file("www/sub"));
        test::writeFile(dir.file("www/pic.jpg"), smallJpeg());
        test::writeFile(dir.file("www/sub/pic.jpg"), smallJpeg());
        test::writeFile(dir.file("www/bad.bin"), std::vector<uint8_t>(3000, 0x5A));
        test::writeFile(dir.file("www/10000.bin"), std::vector<uint8_t>(10000, 0x5A));
        ASSERT_TRUE(test::makeCertificate(dir.path(), "localhost"));
        ASSERT_TRUE(test::makeCertificate(dir.path(), "other.example"));
        std::vector<uint8_t> trusted = test::readFile(dir.file("localhost.pem"));
        const std::vector<uint8_t> other = test::readFile(dir.file("other.example.pem"));
        trusted.insert(trusted.end(), other.begin(), other.end());
        test::writeFile(dir.file("trusted.pem"), trusted);
        setenv("ORRERY_CA_FILE", dir.file("trusted.pem").c_str(), 1);
        inet::SetTimeouts({5000, 1});
    }
    void TearDown() override {
        inet::SetTimeouts({});
        unsetenv("ORRERY_CA_FILE");
    }

    void startHttp() {
        nginx = test::startNginx(dir.path(), dir.file("www"), "localhost", test::freeLoopbackPort(),
                                 test::freeLoopbackPort());
        odd = test::startMisbehavingServer(dir.path(), dir.file("www"));
        wrongName = test::startMisbehavingServer(dir.path(), dir.file("www"), "other.example");
        ASSERT_TRUE(nginx && odd && wrongName);
    }

    int32_t url(const std::string& host, const std::string& path, int32_t port) {
        std::vector<Variant> args{Variant(host), Variant(path), Variant(port)};
        Variant result;
        EXPECT_EQ(invokeByName(v.control, "DisplayFromURL", DISPATCH_METHOD, args, &result), S_OK);
        return result.i4();
    }

    int32_t ftp(const std::string& path, const std::string& login = {}, const std::string& password = {}) {
        std::vector<Variant> args{Variant(std::string("localhost")), Variant(path), Variant(login),
                                  Variant(password), Variant(int32_t(ftpServer->port()))};
        Variant result;
        EXPECT_EQ(invokeByName(v.control, "DisplayFromFTP", DISPATCH_METHOD, args, &result), S_OK);
        return result.i4();
    }

    std::vector<std::string> progress() const {
        std::vector<std::string> calls;
        for (const std::string& call : v.calls)
            if (call.rfind("DataReceived", 0) == 0) calls.push_back(call);
        return calls;
    }

    test::TempDir dir;
    HeadlessBackend backend;
    test::HeadlessViewer v{backend};
    std::unique_ptr<test::ServerProcess> nginx, odd, wrongName, ftpServer;
};

}  // namespace

TEST_F(InternetTest, EachResponseGivesItsStatus) {
    startHttp();
    const int32_t plain = nginx->port(0), tls = nginx->port(1), bad = odd->port();
    struct Case {
        const char* what;
        std::string host;
        std::string path;
        int32_t port;
        int32_t status;
    };
    for (const Case& c : {
             Case{"a picture", "localhost", "/pic.jpg", plain, 0},
             Case{"HTTP:// in any case", " hTtP://localhost", "pic.jpg", plain, 0},
             Case{"HTTPS:// means TLS", "HTTPS://localhost", "/pic.jpg", tls, 0},
             Case{"HTTPS:// to a clear-text server", "https://localhost", "/pic.jpg", plain, 105},
             Case{"certificate for another host", "HTTPS://localhost", "/file/pic.jpg", wrongName->port(), 105},
             Case{"404 with a picture", "localhost", "/status/404/pic.jpg", bad, 0},
             Case{"500 with a picture", "localhost", "/status/500/pic.jpg", bad, 0},
             Case{"no Content-Length", "localhost", "/none/100", bad, 103},
             Case{"non-numeric length", "localhost", "/length/12ab", bad, 103},
             Case{"length 0", "localhost", "/length/0", bad, 106},
             Case{"length beyond 32 bits", "localhost", "/length/4294967297", bad, 106},
             Case{"length beyond a Long", "localhost", "/length/2147483648", bad, 106},
             Case{"a huge announced body", "localhost", "/length/1073741824", bad, 106},
             Case{"body shorter than announced", "localhost", "/longer/5000", bad, 107},
             Case{"stall and drop mid-body", "localhost", "/stall-body/9000", bad, 107},
             Case{"stall before headers", "localhost", "/stall-headers", bad, 105},
             Case{"redirect loop", "localhost", "/loop", bad, 105},
             Case{"redirect to ftp", "localhost", "/redirect?ftp://localhost/pic.jpg", bad, 105},
             Case{"refused connection", "localhost", "/", test::freeLoopbackPort(), 105},
             Case{"host with a path", "localhost/pic.jpg", "/", plain, 101},
             Case{"path with a line break", "localhost", "/pic.jpg\r\nX: y", plain, 102},
         }) {
        EXPECT_EQ(url(c.host, c.path, c.port), c.status) << c.what;
        EXPECT_EQ(v.control.GetStat(), c.status) << c.what;
        // Only a decoded body shows anything.
        EXPECT_EQ(v.control.ImageWidth(), c.status == 0 ? kJpegWidth : 0) << c.what;
    }
    // The same members as C++ on the control.
    EXPECT_EQ(v.control.DisplayFromURL("localhost", "/sub/pic.jpg", plain), 0);
    EXPECT_EQ(v.control.ImageHeight(), kJpegHeight);
}

TEST_F(InternetTest, ProgressStopReentryAndTerminate) {
    startHttp();
    const int32_t port = nginx->port(0);
    // 10 000 bytes in blocks of 4096 (also what a size below 1 gives).
    for (const int32_t size : {4096, 0}) {
        v.control.SetHttpTransfertBufferSize(size);
        v.calls.clear();
        url("localhost", "/10000.bin", port);
        EXPECT_EQ(progress(), (std::vector<std::string>{"DataReceived(41, 5904, 10000)", "DataReceived(82, 1808, 10000)",
                                                        "DataReceived(100, 0, 10000)"}));
    }
    // Without a transfer the stop does nothing.
    const int32_t before = v.control.GetStat();
    v.control.DisplayFromURLStop();
    EXPECT_EQ(v.control.GetStat(), before);

    // A stop in a handler ends the transfer after its block: nothing shown.
    v.handler = [&](DISPID id, std::span<Variant>) {
        if (id == EventId::DataReceived) v.control.DisplayFromURLStop();
    };
    v.calls.clear();
    EXPECT_EQ(url("localhost", "/10000.bin", port), 107);
    EXPECT_EQ(progress().size(), 1u);
    EXPECT_EQ(v.control.ImageWidth(), 0);

    // While a transfer runs, another DisplayFromURL or DisplayFromFTP returns
    // the last status and leaves the running one alone.
    int32_t nested = -1, nestedFtp = -1, lastStatus = -1;
    v.handler = [&](DISPID id, std::span<Variant>) {
        if (id != EventId::DataReceived || nested != -1) return;
        lastStatus = v.control.GetStat();
        nested = v.control.DisplayFromURL("localhost", "/none/1", odd->port());
        nestedFtp = v.control.DisplayFromFTP("localhost", "pic.jpg", {}, {}, 1);
    };
    EXPECT_EQ(v.control.DisplayFromURL("localhost", "/pic.jpg", port), 0);
    EXPECT_EQ(nested, lastStatus);
    EXPECT_EQ(nestedFtp, lastStatus);
    EXPECT_EQ(v.control.ImageWidth(), kJpegWidth);

    // Terminate in a handler ends the transfer as stopped and leaves the control.
    v.handler = [&](DISPID id, std::span<Variant>) {
        if (id == EventId::DataReceived) v.control.Terminate();
    };
    EXPECT_EQ(url("localhost", "/pic.jpg", port), 107);
    EXPECT_EQ(v.control.ImageWidth(), 0);
    v.handler = nullptr;
}

TEST_F(InternetTest, FtpDownloadsThroughATemporaryFile) {
    ftpServer = test::startFtpServer(dir.path(), dir.file("www"));
    ASSERT_TRUE(ftpServer);
    const size_t baseline = temporaryFileCount();
    struct Case {
        const char* what;
        std::string path;
        std::string login;
        std::string password;
        bool passive;
        int32_t status;
    };
    for (const Case& c : {
             Case{"user and password, passive", "pic.jpg", "reader", "secret", true, 0},
             Case{"anonymous, active", "/pic.jpg", "", "", false, 0},
             Case{"backslashes", " \\sub\\pic.jpg ", "", "", true, 0},
             Case{"two leading slashes", "//sub/pic.jpg", "", "", true, 0},
             Case{"three leading slashes", "///sub/pic.jpg", "", "", true, 0},
             Case{"wrong password", "pic.jpg", "reader", "wrong", true, 101},
             Case{"missing file", "nothing.jpg", "", "", true, 104},
         }) {
        v.control.SetFtpPassiveMode(c.passive);
        EXPECT_EQ(ftp(c.path, c.login, c.password), c.status) << c.what;
        EXPECT_EQ(v.control.ImageWidth(), c.status == 0 ? kJpegWidth : 0) << c.what;
        // The file lives as long as the picture.
        EXPECT_EQ(temporaryFileCount(), baseline + (c.status == 0 ? 1 : 0)) << c.what;
        v.control.CloseImage();
        EXPECT_EQ(temporaryFileCount(), baseline) << c.what;
    }
    // A file no decoder reads leaves no file behind.
    EXPECT_NE(ftp("bad.bin"), 0);
    EXPECT_EQ(temporaryFileCount(), baseline);
}

TEST_F(InternetTest, ADownloadedPdfKeepsItsFileWhilePagesChange) {
    ORRERY_REQUIRE_PAGRENT();
    test::PdfPlan plan;
    for (int page = 0; page < 3; ++page)
        plan.pages.push_back({200, 100, {}, {}, test::filledRect(10, 10, 50 + 40 * page, 50, 0.2, 0.4, 0.6), {}});
    test::writeFile(dir.file("www/doc.pdf"), test::writePdf(plan));
    startHttp();
    const size_t baseline = temporaryFileCount();
    ASSERT_EQ(v.control.DisplayFromURL("localhost", "/doc.pdf", nginx->port(0)), 0);
    EXPECT_EQ(v.control.GetDocumentType(), static_cast<int32_t>(viewer::DocumentTypePDF));
    EXPECT_EQ(v.control.PageCount(), 3);
    // Every page change releases the page image; the document stays readable.
    for (const int32_t page : {2, 3, 1}) {
        EXPECT_EQ(v.control.DisplayFrame(page), 0) << page;
        EXPECT_EQ(v.control.CurrentPage(), page);
    }
    v.control.CloseImage();
    EXPECT_EQ(v.control.GetnativePDF(), 0);
    EXPECT_EQ(temporaryFileCount(), baseline);
}

TEST_F(InternetTest, DefaultPortsOfHttpAndHttps) {
    int port80 = 0, port443 = 0;
    const int fd80 = test::listenOnLoopback(80, port80), fd443 = test::listenOnLoopback(443, port443);
    if (fd80 >= 0) ::close(fd80);
    if (fd443 >= 0) ::close(fd443);
    if (fd80 < 0 || fd443 < 0) GTEST_SKIP() << "ports 80 and 443 of 127.0.0.1 are taken or need privileges";
    nginx = test::startNginx(dir.path(), dir.file("www"), "localhost", 80, 443);
    // Another run of these tests (the twin class's) may hold them now.
    if (!nginx) GTEST_SKIP() << "ports 80 and 443 of 127.0.0.1 were taken meanwhile";
    // "HTTPS://" with the default port reaches 443 over TLS.
    EXPECT_EQ(v.control.DisplayFromURL("HTTP://localhost", "/pic.jpg"), 0);
    EXPECT_EQ(v.control.DisplayFromURL("HTTPS://localhost", "/pic.jpg"), 0);
    EXPECT_EQ(v.control.DisplayFromURL("localhost", "/pic.jpg", 443), 0);
}

TEST(InternetNames, PrefixesAndFtpPaths) {
    struct Prefix {
        const char* host;
        const char* name;
        bool tls;
    };
    for (const Prefix& c : {Prefix{"localhost", "localhost", false}, {" Http://x ", "x", false},
                            {"HTTPS://x", "x", true}, {"http://https://x", "x", true}, {" x ", " x ", false}}) {
        std::string host = c.host;
        EXPECT_EQ(net::DropSchemePrefixes(host), c.tls) << c.host;
        EXPECT_EQ(host, c.name) << c.host;
    }
    struct Path {
        const char* given;
        const char* remote;
    };
    for (const Path& c : {Path{"\\a\\b.jpg", "a/b.jpg"}, {"//x", "x"}, {"///x", "/x"}, {"  /x  ", "x"}, {"", ""}})
        EXPECT_EQ(net::NormaliseFtpPath(c.given), c.remote) << c.given;
}
