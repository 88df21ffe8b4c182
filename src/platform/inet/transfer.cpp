#include "platform/inet/transfer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <span>

#include "platform/kernel/files.h"

namespace orrery::inet {

namespace {

// How often, at most, a waiting call runs the wait callback.
constexpr auto kWaitSlice = std::chrono::milliseconds(20);

// The extra trusted certificates named by ORRERY_CA_FILE (PEM), read for each
// transfer; empty when the variable is unset or the file unreadable.
std::string extraTrustedCertificates() {
    const char* path = std::getenv("ORRERY_CA_FILE");
    if (!path || !*path) return {};
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// OpenSSL's verification results that tell the causes apart.
constexpr long kVerifiedChain = 0;
constexpr long kCertificateNotYetValid = 9;
constexpr long kCertificateExpired = 10;
constexpr long kHostNameMismatch = 62;

uint32_t certificateError(CURL* easy, const char* errorText) {
    long verifyResult = 0;
    curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
    // The chain verified and the name did not: libcurl checks the name
    // itself and says so in its text, or OpenSSL reports the mismatch.
    if (verifyResult == kVerifiedChain || verifyResult == kHostNameMismatch ||
        std::strstr(errorText, "subject name") != nullptr)
        return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    if (verifyResult == kCertificateExpired || verifyResult == kCertificateNotYetValid)
        return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
    return ERROR_INTERNET_INVALID_CA;
}

uint32_t errorOfCurl(CURLcode code, CURL* easy, const char* errorText) {
    switch (code) {
        case CURLE_OK: return 0;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY: return ERROR_INTERNET_NAME_NOT_RESOLVED;
        case CURLE_COULDNT_CONNECT: return ERROR_INTERNET_CANNOT_CONNECT;
        case CURLE_OPERATION_TIMEDOUT: return ERROR_INTERNET_TIMEOUT;
        case CURLE_LOGIN_DENIED: return ERROR_INTERNET_INCORRECT_PASSWORD;
        case CURLE_ABORTED_BY_CALLBACK: return ERROR_INTERNET_OPERATION_CANCELLED;
        case CURLE_PEER_FAILED_VERIFICATION: return certificateError(easy, errorText);
        case CURLE_SSL_CACERT_BADFILE: return ERROR_INTERNET_INVALID_CA;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_USE_SSL_FAILED: return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
        case CURLE_URL_MALFORMAT: return ERROR_INTERNET_INVALID_URL;
        case CURLE_UNSUPPORTED_PROTOCOL: return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE: return ERROR_INTERNET_CONNECTION_ABORTED;
        case CURLE_WEIRD_SERVER_REPLY: return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        case CURLE_OUT_OF_MEMORY: return ENOMEM;
        case CURLE_FILESIZE_EXCEEDED: return EFBIG;
        case CURLE_REMOTE_FILE_NOT_FOUND:
        case CURLE_REMOTE_ACCESS_DENIED:
        case CURLE_FTP_COULDNT_RETR_FILE:
        case CURLE_FTP_ACCEPT_FAILED:
        case CURLE_FTP_ACCEPT_TIMEOUT:
        case CURLE_FTP_PORT_FAILED:
        case CURLE_FTP_CANT_GET_HOST:
        case CURLE_FTP_WEIRD_PASV_REPLY:
        case CURLE_FTP_WEIRD_227_FORMAT:
        case CURLE_FTP_COULDNT_SET_TYPE:
        case CURLE_QUOTE_ERROR: return ERROR_INTERNET_EXTENDED_ERROR;
        default: return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

const char* protocolOf(TransferKind kind, const std::string& url) {
    if (kind != TransferKind::Http) return "ftp";
    return url.rfind("https:", 0) == 0 ? "https" : "http";
}

}  // namespace

Transfer::Transfer(TransferSetup setup) : setup_(std::move(setup)) {
    multi_ = curl_multi_init();
    easy_ = curl_easy_init();
    if (!multi_ || !easy_) {
        setupError_ = ENOMEM;
        return;
    }
    if (!configure()) {
        if (setupError_ == 0) setupError_ = ERROR_INTERNET_INTERNAL_ERROR;
        return;
    }
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
        setupError_ = ERROR_INTERNET_INTERNAL_ERROR;
        return;
    }
    started_ = true;
}

Transfer::~Transfer() {
    if (started_) curl_multi_remove_handle(multi_, easy_);
    if (easy_) curl_easy_cleanup(easy_);
    if (multi_) curl_multi_cleanup(multi_);
    curl_slist_free_all(headerList_);
}

bool Transfer::configure() {
    const Timeouts limits = GetTimeouts();
    bool ok = true;
    const auto set = [&](CURLoption option, auto value) { ok = ok && curl_easy_setopt(easy_, option, value) == CURLE_OK; };
    set(CURLOPT_URL, setup_.url.c_str());
    set(CURLOPT_PROTOCOLS_STR, protocolOf(setup_.kind, setup_.url));
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_ERRORBUFFER, errorText_);
    set(CURLOPT_USERAGENT, setup_.agent.c_str());
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectMs));
    // No byte for the whole interval ends the transfer; a transfer paused
    // because its reader lags is not checked.
    set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    set(CURLOPT_LOW_SPEED_TIME, static_cast<long>(std::max(1, limits.noDataSeconds)));
    set(CURLOPT_FOLLOWLOCATION, 0L);
    // TLS always verifies the chain and the host name.
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    caBlob_ = extraTrustedCertificates();
    if (!caBlob_.empty()) {
        curl_blob blob{caBlob_.data(), caBlob_.size(), CURL_BLOB_NOCOPY};
        set(CURLOPT_CAINFO_BLOB, &blob);
    }
    switch (setup_.proxies.accessType) {
        case INTERNET_OPEN_TYPE_DIRECT: set(CURLOPT_NOPROXY, "*"); break;
        case INTERNET_OPEN_TYPE_PROXY:
            set(CURLOPT_PROXY, setup_.proxies.proxy.c_str());
            if (!setup_.proxies.bypass.empty()) set(CURLOPT_NOPROXY, setup_.proxies.bypass.c_str());
            break;
        default: break;  // libcurl reads http_proxy, https_proxy, ftp_proxy, all_proxy and no_proxy
    }
    set(CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    set(CURLOPT_WRITEDATA, this);
    if (setup_.kind == TransferKind::Http) {
        set(CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
        set(CURLOPT_HEADERDATA, this);
        set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
        if (setup_.verb == "GET") {
            set(CURLOPT_HTTPGET, 1L);
        } else if (setup_.verb == "HEAD") {
            set(CURLOPT_NOBODY, 1L);
        } else {
            set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(setup_.body.size()));
            set(CURLOPT_COPYPOSTFIELDS, setup_.body.empty() ? "" : reinterpret_cast<const char*>(setup_.body.data()));
            set(CURLOPT_CUSTOMREQUEST, setup_.verb.c_str());
            // Only the caller's own Content-Type goes with the data.
            headerList_ = curl_slist_append(headerList_, "Content-Type:");
        }
        for (const std::string& line : setup_.headerLines) headerList_ = curl_slist_append(headerList_, line.c_str());
        if (headerList_) set(CURLOPT_HTTPHEADER, headerList_);
        return ok;
    }
    set(CURLOPT_USERNAME, setup_.userName.empty() ? "anonymous" : setup_.userName.c_str());
    set(CURLOPT_PASSWORD, setup_.userName.empty() ? "anonymous@" : setup_.password.c_str());
    set(CURLOPT_FTP_USE_EPSV, 0L);
    set(CURLOPT_FTP_USE_EPRT, 0L);
    set(CURLOPT_FTPPORT, setup_.passive ? nullptr : "-");
    set(CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(limits.connectMs));
    set(CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(std::max(1, limits.noDataSeconds)));
    set(CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    set(CURLOPT_TRANSFERTEXT, 0L);
    if (setup_.kind == TransferKind::FtpLogin) set(CURLOPT_CONNECT_ONLY, 1L);
    if (setup_.maxBytes != UINT64_MAX)
        set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(std::min<uint64_t>(setup_.maxBytes, INT64_MAX)));
    return ok;
}

size_t Transfer::onHeader(char* data, size_t size, size_t count, void* self) {
    auto& t = *static_cast<Transfer*>(self);
    const std::string_view line(data, size * count);
    if (line.find_first_not_of("\r\n") != std::string_view::npos) {
        t.pending_.addLine(line);
        return line.size();
    }
    // The blank line ends a header block: an interim (1xx) one is dropped.
    long code = 0;
    curl_easy_getinfo(t.easy_, CURLINFO_RESPONSE_CODE, &code);
    if (code >= 200 || code == 0) {
        t.headers_ = t.pending_;
        t.headersDone_ = true;
    }
    t.pending_.clear();
    return line.size();
}

size_t Transfer::onBody(char* data, size_t size, size_t count, void* self) {
    auto& t = *static_cast<Transfer*>(self);
    const size_t n = size * count;
    if (t.setup_.fileFd >= 0) {
        if (t.received_ + n > t.setup_.maxBytes) {
            t.writeErrno_ = EFBIG;
            return 0;
        }
        if (!kernel::writeAll(t.setup_.fileFd, std::span(reinterpret_cast<const uint8_t*>(data), n))) {
            t.writeErrno_ = errno != 0 ? errno : EIO;
            return 0;
        }
        t.received_ += n;
        return n;
    }
    if (t.buffered() >= t.highWater_) {
        t.paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (t.head_ > 0 && t.head_ >= t.buffer_.size() / 2) {
        t.buffer_.erase(t.buffer_.begin(), t.buffer_.begin() + static_cast<std::ptrdiff_t>(t.head_));
        t.head_ = 0;
    }
    t.buffer_.insert(t.buffer_.end(), data, data + n);
    t.received_ += n;
    return n;
}

void Transfer::resume() {
    if (!paused_) return;
    paused_ = false;
    curl_easy_pause(easy_, CURLPAUSE_CONT);
}

Transfer::Pump Transfer::pumpUntil(const std::function<bool()>& ready, const WaitCallback& wait) {
    auto lastWait = std::chrono::steady_clock::now();
    for (;;) {
        int running = 0;
        curl_multi_perform(multi_, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
            if (message->msg != CURLMSG_DONE) continue;
            ended_ = true;
            result_ = message->data.result;
        }
        if (ready()) return Pump::Ready;
        if (ended_) return Pump::Ended;
        curl_multi_poll(multi_, nullptr, 0, wait ? static_cast<int>(kWaitSlice.count()) : 1000, nullptr);
        if (wait && std::chrono::steady_clock::now() - lastWait >= kWaitSlice) {
            if (!wait()) return Pump::Cancelled;
            lastWait = std::chrono::steady_clock::now();
        }
    }
}

uint32_t Transfer::endError() const {
    if (writeErrno_ != 0) return static_cast<uint32_t>(writeErrno_);
    return errorOfCurl(result_, easy_, errorText_);
}

bool Transfer::waitForHeaders(const WaitCallback& wait, uint32_t& error) {
    if (!started_) {
        error = setupError_;
        return false;
    }
    const bool http = setup_.kind == TransferKind::Http;
    const Pump pump = pumpUntil([&] { return http && headersDone_; }, wait);
    if (pump == Pump::Cancelled) {
        error = ERROR_INTERNET_OPERATION_CANCELLED;
        return false;
    }
    if (pump == Pump::Ready || (ended_ && result_ == CURLE_OK && (headersDone_ || !http))) return true;
    error = ended_ && result_ == CURLE_OK ? ERROR_HTTP_INVALID_SERVER_RESPONSE : endError();
    return false;
}

bool Transfer::waitForEnd(const WaitCallback& wait, uint32_t& error) {
    if (!started_) {
        error = setupError_;
        return false;
    }
    if (pumpUntil([] { return false; }, wait) == Pump::Cancelled) {
        error = ERROR_INTERNET_OPERATION_CANCELLED;
        return false;
    }
    if (result_ == CURLE_OK) return true;
    error = endError();
    return false;
}

bool Transfer::read(uint8_t* out, uint32_t wanted, uint32_t& got, const WaitCallback& wait, uint32_t& error) {
    got = 0;
    if (!started_) {
        error = setupError_;
        return false;
    }
    highWater_ = std::max<size_t>(highWater_, size_t{2} * wanted);
    Pump pump = Pump::Ready;
    if (buffered() < wanted && !ended_) {
        resume();
        pump = pumpUntil([&] { return buffered() >= wanted; }, wait);
    }
    got = static_cast<uint32_t>(std::min<size_t>(wanted, buffered()));
    if (got > 0) std::memcpy(out, buffer_.data() + head_, got);
    head_ += got;
    if (buffered() < highWater_ / 2) resume();
    if (got == wanted || got > 0) return true;
    if (pump == Pump::Cancelled) {
        error = ERROR_INTERNET_OPERATION_CANCELLED;
        return false;
    }
    if (ended_ && result_ != CURLE_OK) {
        error = endError();
        return false;
    }
    return true;  // the end of the body
}

long Transfer::responseCode() const {
    long code = 0;
    curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

std::string Transfer::redirectUrl() const {
    char* url = nullptr;
    curl_easy_getinfo(easy_, CURLINFO_REDIRECT_URL, &url);
    return url ? std::string(url) : std::string();
}

}  // namespace orrery::inet
