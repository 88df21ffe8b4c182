#include "net/cinet.h"

#include <algorithm>
#include <cmath>

namespace orrery::net {

using namespace inet;

namespace {

// The request flags of a verb: TLS on port 443 (or when asked for), and the
// cache flags of GET and PUT.
uint32_t requestFlags(const std::string& verb, bool secure) {
    if (verb == "GET") return secure ? INTERNET_FLAG_SECURE : INTERNET_FLAG_RELOAD;
    if (verb == "PUT") return INTERNET_FLAG_NO_CACHE_WRITE | (secure ? INTERNET_FLAG_SECURE : 0);
    return secure ? INTERNET_FLAG_SECURE : 0;
}

}  // namespace

cInet::cInet(std::function<void()> runMessageLoop) : runMessageLoop_(std::move(runMessageLoop)) {
    hInternet_ = InternetOpenA("quillon", INTERNET_OPEN_TYPE_PRECONFIG, {}, {}, 0);
    if (hInternet_ == 0) {
        recordError();
        return;
    }
    InternetSetWaitCallback(hInternet_, [this] {
        if (runMessageLoop_) runMessageLoop_();
        return !cancelled_ && !(reading_ && bStopReadArray);
    });
}

cInet::~cInet() {
    if (hInternet_ != 0) InternetCloseHandle(hInternet_);
}

HINTERNET cInet::Request(const std::string& verb, const std::string& host, const std::string& path, int32_t port,
                         uint32_t service, Transport transport) {
    const bool secure = port == 443 || transport == Transport::Tls;
    hSession_ = InternetConnectA(hInternet_, host, port, {}, {}, service, 0, 0);
    if (hSession_ == 0) {
        recordError();
        return 0;
    }
    hRequest_ = HttpOpenRequestA(hSession_, verb, path, "HTTP/1.0", requestFlags(verb, secure), 0);
    if (hRequest_ == 0) recordError();
    return hRequest_;
}

HINTERNET cInet::FtpOpenSession(const std::string& host, int32_t port, const std::string& login,
                                const std::string& password) {
    hSession_ = InternetConnectA(hInternet_, host, port, login, password, INTERNET_SERVICE_FTP,
                                 bFtpPassiveMode ? INTERNET_FLAG_PASSIVE : 0, 0);
    if (hSession_ == 0) recordError();
    return hSession_;
}

bool cInet::SendRequest(const std::string& sHeaders, std::span<const uint8_t> sData) {
    const bool sent = HttpSendRequestA(hRequest_, sHeaders, sData);
    if (!sent) recordError();
    return sent;
}

bool cInet::QueryInfo(uint32_t eQuery, std::string& sBuffer, int32_t& lBuffer) {
    uint32_t index = 0;
    if ((eQuery & HTTP_QUERY_FLAG_NUMBER) != 0) {
        uint32_t length = 4;
        uint32_t number = 0;
        const bool ok = HttpQueryInfoA(hRequest_, eQuery, &number, length, index);
        if (ok) lBuffer = static_cast<int32_t>(number);
        else recordError();
        return ok;
    }
    uint32_t length = 0;
    HttpQueryInfoA(hRequest_, eQuery, nullptr, length, index);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        recordError();
        return false;
    }
    std::string text(length, '\0');
    if (!HttpQueryInfoA(hRequest_, eQuery, text.data(), length, index)) {
        recordError();
        return false;
    }
    text.resize(length);
    sBuffer = std::move(text);
    lBuffer = static_cast<int32_t>(length);
    return true;
}

bool cInet::ReadArray(std::vector<uint8_t>& bData, int32_t lLength) {
    bStopReadArray = false;
    if (lLength < 1) return true;
    bData.assign(static_cast<size_t>(lLength), 0);
    reading_ = true;
    int32_t remaining = lLength;
    const int32_t blockSize = std::max(1, m_BufferSize);
    for (;;) {
        const int32_t block = std::min(blockSize, remaining);
        uint32_t bytesRead = 0;
        if (!InternetReadFile(hRequest_, bData.data() + (lLength - remaining), static_cast<uint32_t>(block),
                              bytesRead))
            recordError();
        remaining -= static_cast<int32_t>(bytesRead);
        int32_t percentRemaining =
                static_cast<int32_t>(std::floor(static_cast<double>(remaining) / lLength * 100));
        int32_t left = remaining;
        int32_t total = lLength;
        if (PacketReceieved) PacketReceieved(percentRemaining, left, total);
        if (runMessageLoop_) runMessageLoop_();
        if (bytesRead < 1 || remaining <= 0 || bStopReadArray) break;
    }
    reading_ = false;
    // A body that ends short is a failed transfer: its tail would be zeros.
    return !bStopReadArray && remaining == 0;
}

}  // namespace orrery::net
