// DisplayFromURL and DisplayFromFTP: the control's internet state (buffer
// size, passive mode, the running transfer) and the two downloads, which end
// in the control's own display of bytes or of a file.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/cinet.h"

namespace orrery::net {

// The bytes DisplayFromURL accepts as one announced body: a longer one is an
// invalid length, refused before anything is allocated. FTP files stop at
// the same size.
inline constexpr int64_t kMaxDownloadBytes = int64_t{512} << 20;
inline constexpr int32_t kDefaultHttpBufferSize = 4096;

// What the downloads need of the control.
class DownloadHost {
public:
    virtual ~DownloadHost() = default;
    virtual bool documentIsPdf() const = 0;
    virtual void closePdfDocument() = 0;
    virtual void resetForNewDocument() = 0;
    // DisplayFromByteArray on the body.
    virtual int32_t displayDownloadedBytes(std::vector<uint8_t>& bytes) = 0;
    // DisplayFromFile on the downloaded temporary file, which then belongs
    // to what displays it (deleted with it, or at once on failure).
    virtual int32_t displayDownloadedFile(const std::string& path) = 0;
    // A fresh name in the private temporary folder; empty when there is none.
    virtual std::string freshTempFileName() = 0;
    virtual void runMessageLoop() = 0;
    virtual void dataReceived(int32_t percentProgress, int32_t leftToTransfer, int32_t totalLength) = 0;
    virtual int32_t lastStatus() const = 0;
};

// "HTTP://" and then "HTTPS://" dropped from the front of `host` in any case,
// after blanks; true when the second was there.
bool DropSchemePrefixes(std::string& host);
// The remote path of DisplayFromFTP: "\" becomes "/", blanks trimmed, then a
// leading "/" dropped and then one more.
std::string NormaliseFtpPath(std::string_view path);

class InternetDisplay {
public:
    explicit InternetDisplay(DownloadHost& host) : host_(host) {}

    int32_t DisplayFromURL(std::string sHost, const std::string& sPath, int32_t nHTTPPort);
    int32_t DisplayFromFTP(const std::string& sHost, const std::string& sPath, const std::string& sLogin,
                           const std::string& sPassword, int32_t nFTPPort);
    // Stops the running HTTP transfer after its current block.
    void DisplayFromURLStop();
    void setHttpTransferBufferSize(int32_t value) { httpBufferSize_ = value; }
    void setFtpPassiveMode(bool value) { ftpPassiveMode_ = value; }
    // The control ends: a running transfer stops and leaves the control alone.
    void terminate();
    bool busy() const { return busy_; }

private:
    int32_t fetchOverHttp(cInet& inet, std::string host, const std::string& path, int32_t port);
    int32_t fetchOverFtp(cInet& inet, const std::string& host, const std::string& path, const std::string& login,
                         const std::string& password, int32_t port);
    std::unique_ptr<cInet> newTransfer();

    DownloadHost& host_;
    int32_t httpBufferSize_ = kDefaultHttpBufferSize;
    bool ftpPassiveMode_ = true;
    bool busy_ = false;
    bool ftpRunning_ = false;
    // Terminate came during the running transfer.
    bool terminated_ = false;
    cInet* transfer_ = nullptr;
};

}  // namespace orrery::net
