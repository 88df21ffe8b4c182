// One request of the platform's calls: a libcurl easy handle driven by its
// own multi handle, only while a call waits for it. HTTP bodies are buffered
// in memory with back-pressure (the transfer pauses while the reader lags);
// FTP files are written to a descriptor.
#pragma once
#include <curl/curl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/inet/response_headers.h"
#include "platform/inet/wininet.h"

namespace orrery::inet {

// What the proxies are, from InternetOpenA.
struct ProxySetup {
    uint32_t accessType = INTERNET_OPEN_TYPE_PRECONFIG;
    std::string proxy;
    std::string bypass;
};

enum class TransferKind { Http, FtpLogin, FtpDownload };

struct TransferSetup {
    TransferKind kind = TransferKind::Http;
    std::string url;
    std::string agent;
    ProxySetup proxies;
    std::string userName;  // FTP; empty: anonymous
    std::string password;
    // HTTP
    std::string verb = "GET";
    std::vector<std::string> headerLines;
    std::vector<uint8_t> body;
    // FTP
    bool passive = true;
    int fileFd = -1;
    uint64_t maxBytes = UINT64_MAX;
};

class Transfer {
public:
    explicit Transfer(TransferSetup setup);
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // Runs until the final response headers are in (HTTP) or the transfer
    // has ended (FTP). False with the error number on failure.
    bool waitForHeaders(const WaitCallback& wait, uint32_t& error);
    bool waitForEnd(const WaitCallback& wait, uint32_t& error);
    // Up to `wanted` bytes of the body: fewer only at its end, on failure
    // (false when nothing could be copied) or when the wait was cancelled.
    bool read(uint8_t* out, uint32_t wanted, uint32_t& got, const WaitCallback& wait, uint32_t& error);

    // True when a read of `wanted` bytes returns without waiting.
    bool readsWithoutWaiting(uint32_t wanted) const { return buffered() >= wanted || ended_; }

    const ResponseHeaders& headers() const { return headers_; }
    long responseCode() const;
    // The absolute URL a redirect response points to; empty for none.
    std::string redirectUrl() const;

private:
    enum class Pump { Ready, Ended, Cancelled };
    Pump pumpUntil(const std::function<bool()>& ready, const WaitCallback& wait);
    bool configure();
    void resume();
    size_t buffered() const { return buffer_.size() - head_; }
    uint32_t endError() const;

    static size_t onHeader(char* data, size_t size, size_t count, void* self);
    static size_t onBody(char* data, size_t size, size_t count, void* self);

    TransferSetup setup_;
    CURLM* multi_ = nullptr;
    CURL* easy_ = nullptr;
    curl_slist* headerList_ = nullptr;
    std::string caBlob_;
    char errorText_[CURL_ERROR_SIZE] = {};
    bool started_ = false;
    bool ended_ = false;
    CURLcode result_ = CURLE_OK;
    uint32_t setupError_ = 0;

    ResponseHeaders pending_;
    ResponseHeaders headers_;
    bool headersDone_ = false;

    std::vector<uint8_t> buffer_;
    size_t head_ = 0;
    size_t highWater_ = 1 << 20;
    bool paused_ = false;
    uint64_t received_ = 0;
    int writeErrno_ = 0;
};

}  // namespace orrery::inet
