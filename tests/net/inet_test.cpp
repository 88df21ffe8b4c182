// The platform's internet calls and cInet against real servers on
// 127.0.0.1: nginx (HTTP and HTTPS), pyftpdlib, and a misbehaving server of
// the tests' own. Error numbers are the platform's.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>

#include "net/cinet.h"
#include "platform/inet/url_builder.h"
#include "platform/inet/wininet.h"
#include "support/test_servers.h"
#include "support/test_support.h"

using namespace orrery;
using namespace orrery::inet;
using net::cInet;
using net::Transport;

namespace {

std::vector<uint8_t> patternBytes(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    return bytes;
}

// nginx (HTTP and HTTPS for localhost), the misbehaving server in clear and
// over TLS with a certificate for another name, and the FTP server, all on
// files of the test's own folder.
struct Servers {
    Servers() {
        for (const char* name : {"PROXY", "http_proxy", "https_proxy", "ftp_proxy", "all_proxy", "no_proxy",
                                 "HTTP_PROXY", "HTTPS_PROXY", "FTP_PROXY", "ALL_PROXY", "NO_PROXY"})
            unsetenv(name);
        std::filesystem::create_directories(dir.file("www"));
        test::writeFile(dir.file("www/10000.bin"), patternBytes(10000));
        EXPECT_TRUE(test::makeCertificate(dir.path(), "localhost"));
        EXPECT_TRUE(test::makeCertificate(dir.path(), "other.example"));
        // Both certificates are trusted: the one for another name then fails
        // on its name alone.
        std::vector<uint8_t> trusted = test::readFile(dir.file("localhost.pem"));
        const std::vector<uint8_t> other = test::readFile(dir.file("other.example.pem"));
        trusted.insert(trusted.end(), other.begin(), other.end());
        test::writeFile(dir.file("trusted.pem"), trusted);
        setenv("ORRERY_CA_FILE", dir.file("trusted.pem").c_str(), 1);
        nginx = test::startNginx(dir.path(), dir.file("www"), "localhost", test::freeLoopbackPort(),
                                 test::freeLoopbackPort());
        odd = test::startMisbehavingServer(dir.path(), dir.file("www"));
        oddTls = test::startMisbehavingServer(dir.path(), dir.file("www"), "localhost");
        wrongName = test::startMisbehavingServer(dir.path(), dir.file("www"), "other.example");
        ftp = test::startFtpServer(dir.path(), dir.file("www"));
        EXPECT_TRUE(nginx && odd && oddTls && wrongName && ftp) << "a server did not start";
        SetTimeouts({5000, 1});
    }
    ~Servers() { SetTimeouts({}); }

    test::TempDir dir;
    std::unique_ptr<test::ServerProcess> nginx, odd, oddTls, wrongName, ftp;
};

// One GET through cInet: the error of the step that failed, 0 when the
// headers arrived.
uint32_t sendGet(cInet& inet, const std::string& host, const std::string& path, int port,
                 Transport transport = Transport::ByPort) {
    if (inet.Request("GET", host, path, port, INTERNET_SERVICE_HTTP, transport) == 0) return inet.lastError();
    return inet.SendRequest({}, {}) ? 0 : inet.lastError();
}

}  // namespace

TEST(InternetCalls, RefuseHostsAndLinesThatCouldReachElsewhere) {
    struct Case {
        const char* host;
        bool valid;
    };
    for (const Case& c : {Case{"localhost", true}, {"127.0.0.1", true}, {"[::1]", true}, {"a-b.example_x", true},
                          {"", false}, {"evil.example/x", false}, {"user@host", false}, {"host?q", false},
                          {"host#f", false}, {"ho st", false}, {"host\r\nX: y", false}, {"host:80", false},
                          {"%68ost", false}, {"[::1", false}})
        EXPECT_EQ(IsValidHostName(c.host), c.valid) << c.host;
    // A built URL names exactly the host it was given, or nothing.
    EXPECT_EQ(BuildUrl(Scheme::Http, "localhost", 8080, EncodeHttpObject("a b#c?x y")),
              "http://localhost:8080/a%20b%23c?x%20y");
    EXPECT_EQ(BuildUrl(Scheme::Https, "user@evil", 0, "/"), "");
    EXPECT_EQ(EncodeFtpPath("/root file"), "/%2Froot%20file");
    EXPECT_EQ(EncodeHttpObject("/100%25/%zz"), "/100%25/%25zz");

    const HINTERNET root = InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, {}, {}, 0);
    ASSERT_NE(root, 0u);
    EXPECT_EQ(InternetConnectA(root, "host/x", 80, {}, {}, INTERNET_SERVICE_HTTP, 0, 0), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_URL);
    EXPECT_EQ(InternetConnectA(root, "localhost", 21, "u\r\nDELE x", "p", INTERNET_SERVICE_FTP, 0, 0), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_URL);
    const HINTERNET connect = InternetConnectA(root, "localhost", 1, {}, {}, INTERNET_SERVICE_HTTP, 0, 0);
    ASSERT_NE(connect, 0u);
    EXPECT_EQ(HttpOpenRequestA(connect, "GET", "/a\r\nHost: b", "HTTP/1.0", 0, 0), 0u);
    const HINTERNET request = HttpOpenRequestA(connect, "GET", "/", "HTTP/1.0", 0, 0);
    ASSERT_NE(request, 0u);
    // Closing the root closes what was made from it.
    EXPECT_TRUE(InternetCloseHandle(root));
    uint32_t read = 0;
    char byte = 0;
    EXPECT_FALSE(InternetReadFile(request, &byte, 1, read));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
}

TEST(InternetCalls, EachFailureHasItsPlatformNumber) {
    Servers s;
    const int odd = s.odd->port();
    int closedPort = 0;
    ::close(test::listenOnLoopback(0, closedPort));
    struct Case {
        const char* what;
        std::string host;
        std::string path;
        int port;
        Transport transport;
        uint32_t error;
    };
    const std::string toHttp = "/redirect?http://localhost:" + std::to_string(s.nginx->port(0)) + "/10000.bin";
    for (const Case& c : {
             Case{"nginx over http", "localhost", "/10000.bin", s.nginx->port(0), Transport::ByPort, 0},
             Case{"nginx over TLS, extra CA", "localhost", "/10000.bin", s.nginx->port(1), Transport::Tls, 0},
             Case{"refused", "localhost", "/", closedPort, Transport::ByPort, ERROR_INTERNET_CANNOT_CONNECT},
             Case{"certificate for another name", "localhost", "/file/10000.bin", s.wrongName->port(),
                  Transport::Tls, ERROR_INTERNET_SEC_CERT_CN_INVALID},
             Case{"https to http", "localhost", toHttp, s.oddTls->port(), Transport::Tls,
                  ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR},
             Case{"https to https", "localhost", "/redirect?https://localhost:" + std::to_string(s.nginx->port(1)) +
                  "/10000.bin", s.oddTls->port(), Transport::Tls, 0},
             Case{"redirect loop", "localhost", "/loop", odd, Transport::ByPort, ERROR_HTTP_REDIRECT_FAILED},
             Case{"redirect to ftp", "localhost", "/redirect?ftp://localhost/10000.bin", odd, Transport::ByPort,
                  ERROR_HTTP_REDIRECT_FAILED},
             Case{"stall before headers", "localhost", "/stall-headers", odd, Transport::ByPort,
                  ERROR_INTERNET_TIMEOUT},
         }) {
        cInet inet(nullptr);
        EXPECT_EQ(sendGet(inet, c.host, c.path, c.port, c.transport), c.error) << c.what;
    }
    // Without the extra CA nothing of the test's own is trusted.
    unsetenv("ORRERY_CA_FILE");
    cInet untrusted(nullptr);
    EXPECT_EQ(sendGet(untrusted, "localhost", "/10000.bin", s.nginx->port(1), Transport::Tls),
              ERROR_INTERNET_INVALID_CA);
}

TEST(InternetCalls, ReadsQueriesAndUploads) {
    Servers s;
    cInet inet(nullptr);
    ASSERT_EQ(sendGet(inet, "localhost", "/10000.bin", s.nginx->port(0)), 0u);
    std::string text;
    int32_t number = 0;
    ASSERT_TRUE(inet.QueryInfo(HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, text, number));
    EXPECT_EQ(number, 200);
    ASSERT_TRUE(inet.QueryInfo(HTTP_QUERY_RAW_HEADERS_CRLF, text, number));
    EXPECT_NE(text.find("Content-Length: 10000\r\n"), std::string::npos) << text;
    // Reads return whole blocks, fewer bytes only at the end.
    const HINTERNET request = inet.Request("GET", "localhost", "/10000.bin", s.nginx->port(0), INTERNET_SERVICE_HTTP);
    ASSERT_TRUE(inet.SendRequest({}, {}));
    std::vector<uint32_t> sizes;
    std::vector<uint8_t> body, block(4096);
    for (uint32_t got = 1; got != 0;) {
        ASSERT_TRUE(InternetReadFile(request, block.data(), 4096, got));
        sizes.push_back(got);
        body.insert(body.end(), block.begin(), block.begin() + got);
    }
    EXPECT_EQ(sizes, (std::vector<uint32_t>{4096, 4096, 1808, 0}));
    EXPECT_EQ(body, patternBytes(10000));

    // A PUT's data arrives whole, with the caller's headers.
    const std::vector<uint8_t> data = patternBytes(70000);
    ASSERT_NE(inet.Request("PUT", "localhost", "/echo", s.odd->port(), INTERNET_SERVICE_HTTP), 0u);
    ASSERT_TRUE(inet.SendRequest("Content-Type: application/octet-stream\r\n", data));
    std::vector<uint8_t> echoed;
    ASSERT_TRUE(inet.QueryInfo(HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, text, number));
    ASSERT_TRUE(inet.ReadArray(echoed, number));
    EXPECT_EQ(echoed, data);
}

TEST(InternetCalls, FtpLogsInAtConnectAndFetchesOneFile) {
    Servers s;
    test::TempDir local;
    struct Case {
        const char* what;
        const char* login;
        const char* password;
        bool passive;
        const char* remote;
        uint32_t connectError;
        uint32_t getError;
    };
    for (const Case& c : {Case{"user, passive", "reader", "secret", true, "10000.bin", 0, 0},
                          Case{"anonymous, active", "", "", false, "/10000.bin", 0, 0},
                          Case{"wrong password", "reader", "nope", true, "", ERROR_INTERNET_INCORRECT_PASSWORD, 0},
                          Case{"missing file", "", "", true, "missing.bin", 0, ERROR_INTERNET_EXTENDED_ERROR}}) {
        cInet inet(nullptr);
        inet.bFtpPassiveMode = c.passive;
        const HINTERNET session = inet.FtpOpenSession("localhost", s.ftp->port(), c.login, c.password);
        EXPECT_EQ(session == 0 ? inet.lastError() : 0u, c.connectError) << c.what;
        if (session == 0) continue;
        const std::string file = local.file("got").string();
        const bool fetched = FtpGetFileA(session, c.remote, file, false, 0, 0, 0);
        EXPECT_EQ(fetched ? 0u : GetLastError(), c.getError) << c.what;
        EXPECT_EQ(std::filesystem::exists(file), fetched) << c.what;
        if (fetched) {
            EXPECT_EQ(test::readFile(file), patternBytes(10000)) << c.what;
        }
    }
    // A file that passes the bound stops the download and leaves nothing.
    cInet inet(nullptr);
    const HINTERNET session = inet.FtpOpenSession("localhost", s.ftp->port(), "", "");
    ASSERT_NE(session, 0u);
    EXPECT_FALSE(FtpGetFileA(session, "10000.bin", local.file("big").string(), false, 0, 0, 0, 9999));
    EXPECT_FALSE(std::filesystem::exists(local.file("big")));
}

TEST(InternetCalls, ErrorSentences) {
    struct Case {
        int32_t code;
        const char* text;
    };
    for (const Case& c : {
             Case{12002, "The request has timed out."},
             {12007, "The server name could not be resolved."},
             {12013, "The request to connect and login to an FTP server could not be completed because the supplied "
                     "user name is incorrect."},
             {12014, "The request to connect and login to an FTP server could not be completed because the supplied "
                     "password is incorrect. "},
             {12017, "The operation was canceled, usually because the handle on which the request was operating "
                     "was closed before the operation completed."},
             {12029, "The attempt to connect to the server failed."},
             {12030, "The connection with the server has been terminated."},
             {12156, "The redirection failed because either the scheme changed"},
             {ENOENT, "No such file or directory"},
         })
        EXPECT_EQ(cInet::TranslateErrorCode(c.code), c.text) << c.code;
    // Each of the 59 numbers has a sentence of its own; the numbers between
    // them have the system's texts.
    std::set<std::string> sentences;
    const auto range = [&](int32_t from, int32_t to) {
        for (int32_t code = from; code <= to; ++code) sentences.insert(cInet::TranslateErrorCode(code));
    };
    range(12001, 12033), range(12036, 12043), range(12110, 12111), range(12130, 12138), range(12150, 12156);
    EXPECT_EQ(sentences.size(), 59u);
    EXPECT_EQ(cInet::TranslateErrorCode(12034), std::string(std::strerror(12034)));
}
