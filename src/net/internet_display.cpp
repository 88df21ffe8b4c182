#include "net/internet_display.h"

#include <cctype>

#include "orrery/quillon_status.h"
#include "platform/kernel/files.h"

namespace orrery::net {

namespace {

int32_t statusOf(QuillonStatus status) { return static_cast<int32_t>(status); }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

// Sets a flag for the length of a scope.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
};

}  // namespace

bool DropSchemePrefixes(std::string& host) {
    if (const std::string_view t = trimmed(host); startsWithNoCase(t, "HTTP://")) host = t.substr(7);
    if (const std::string_view t = trimmed(host); startsWithNoCase(t, "HTTPS://")) {
        host = t.substr(8);
        return true;
    }
    return false;
}

std::string NormaliseFtpPath(std::string_view path) {
    std::string slashed(path);
    for (char& c : slashed)
        if (c == '\\') c = '/';
    std::string_view remote = trimmed(slashed);
    for (int i = 0; i < 2 && !remote.empty() && remote.front() == '/'; ++i) remote.remove_prefix(1);
    return std::string(remote);
}

std::unique_ptr<cInet> InternetDisplay::newTransfer() {
    auto inet = std::make_unique<cInet>([this] { host_.runMessageLoop(); });
    inet->PacketReceieved = [this](int32_t& percentRemaining, int32_t& left, int32_t& total) {
        host_.dataReceived(100 - percentRemaining, left, total);
    };
    return inet;
}

int32_t InternetDisplay::DisplayFromURL(std::string sHost, const std::string& sPath, int32_t nHTTPPort) {
    if (host_.documentIsPdf()) host_.closePdfDocument();
    // A transfer that runs (or an FTP download waiting on the network) keeps
    // its transfer object: nothing starts until it ends.
    if (busy_ || ftpRunning_) return host_.lastStatus();
    std::unique_ptr<cInet> inet = newTransfer();
    host_.resetForNewDocument();
    if (inet->hInternet() == 0) return statusOf(QuillonStatus::InternetOpenError);
    transfer_ = inet.get();
    const int32_t status = [&] {
        FlagScope busy(busy_);
        return fetchOverHttp(*inet, std::move(sHost), sPath, nHTTPPort);
    }();
    transfer_ = nullptr;
    terminated_ = false;
    return status;
}

int32_t InternetDisplay::fetchOverHttp(cInet& inet, std::string host, const std::string& path, int32_t port) {
    inet.setBufferSize(httpBufferSize_ >= 1 ? httpBufferSize_ : kDefaultHttpBufferSize);
    Transport transport = Transport::ByPort;
    if (DropSchemePrefixes(host)) {
        // An https:// server is reached over TLS, on its own default port
        // unless the caller named another than HTTP's.
        transport = Transport::Tls;
        if (port == 80) port = 443;
    }
    if (inet.Request("GET", host, path, port, inet::INTERNET_SERVICE_HTTP, transport) == 0)
        return statusOf(inet.hSession() == 0 ? QuillonStatus::InternetConnectError
                                             : QuillonStatus::InternetHttpOpenRequestError);
    if (!inet.SendRequest({}, {})) return statusOf(QuillonStatus::InternetHttpSendRequestError);
    std::string unused;
    int32_t length = 0;
    if (!inet.QueryInfo(inet::HTTP_QUERY_CONTENT_LENGTH | inet::HTTP_QUERY_FLAG_NUMBER, unused, length))
        return statusOf(QuillonStatus::InternetHttpQueryError);
    if (length < 1 || length > kMaxDownloadBytes) return statusOf(QuillonStatus::InternetHttpInvalidFileLength);
    std::vector<uint8_t> bytes;
    if (!inet.ReadArray(bytes, length) || terminated_) return statusOf(QuillonStatus::InternetHttpTransferError);
    return host_.displayDownloadedBytes(bytes);
}

int32_t InternetDisplay::DisplayFromFTP(const std::string& sHost, const std::string& sPath, const std::string& sLogin,
                                        const std::string& sPassword, int32_t nFTPPort) {
    // A new transfer object would pull the running one from under its read.
    if (busy_ || ftpRunning_) return host_.lastStatus();
    std::unique_ptr<cInet> inet = newTransfer();
    if (host_.documentIsPdf()) host_.closePdfDocument();
    host_.resetForNewDocument();
    if (inet->hInternet() == 0) return statusOf(QuillonStatus::InternetOpenError);
    transfer_ = inet.get();
    const int32_t status = [&] {
        FlagScope running(ftpRunning_);
        return fetchOverFtp(*inet, sHost, sPath, sLogin, sPassword, nFTPPort);
    }();
    transfer_ = nullptr;
    terminated_ = false;
    return status;
}

int32_t InternetDisplay::fetchOverFtp(cInet& inet, const std::string& host, const std::string& path,
                                      const std::string& login, const std::string& password, int32_t port) {
    inet.bFtpPassiveMode = ftpPassiveMode_;
    if (inet.FtpOpenSession(host, port, login, password) == 0) {
        return statusOf(terminated_ ? QuillonStatus::InternetHttpTransferError
                                    : QuillonStatus::InternetConnectError);
    }
    const std::string file = host_.freshTempFileName();
    const bool fetched = inet::FtpGetFileA(inet.hSession(), NormaliseFtpPath(path), file, false, 0, 0, 0,
                                           static_cast<uint64_t>(kMaxDownloadBytes));
    int32_t status = statusOf(QuillonStatus::InternetFtpGetFileError);
    if (terminated_) {
        kernel::removeQuietly(file);
        return statusOf(QuillonStatus::InternetHttpTransferError);
    }
    if (fetched) status = host_.displayDownloadedFile(file);
    inet::InternetCloseHandle(inet.hSession());
    return status;
}

void InternetDisplay::DisplayFromURLStop() {
    if (busy_ && transfer_) transfer_->bStopReadArray = true;
}

void InternetDisplay::terminate() {
    if (!transfer_) return;
    terminated_ = true;
    transfer_->bStopReadArray = true;
    transfer_->Cancel();
}

}  // namespace orrery::net
