// cInet: one HTTP or FTP transfer over the platform's internet calls. The
// control makes one for each DisplayFromURL or DisplayFromFTP and drops it at
// the end; it owns the root handle, whose closing closes the rest.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/inet/wininet.h"

namespace orrery::net {

// How a request reaches its server: by the port alone (443 is TLS), or over
// TLS whatever the port.
enum class Transport { ByPort, Tls };

class cInet {
public:
    // `runMessageLoop` lets the host's event loop process what is pending;
    // it runs after each block ReadArray reads and while a call waits on the
    // network.
    explicit cInet(std::function<void()> runMessageLoop);
    ~cInet();
    cInet(const cInet&) = delete;
    cInet& operator=(const cInet&) = delete;

    // Connects to `host` (service 3 HTTP, 1 FTP) and opens a request for
    // `path` with the flags of `verb`; 0 on failure (hSession tells which
    // step failed).
    inet::HINTERNET Request(const std::string& verb, const std::string& host, const std::string& path,
                            int32_t port, uint32_t service, Transport transport = Transport::ByPort);
    // Connects and logs in to an FTP server, passive when bFtpPassiveMode.
    inet::HINTERNET FtpOpenSession(const std::string& host, int32_t port, const std::string& login,
                                   const std::string& password);
    bool SendRequest(const std::string& sHeaders, std::span<const uint8_t> sData);
    // A numeric query (eQuery with HTTP_QUERY_FLAG_NUMBER) lands in lBuffer,
    // a text query in sBuffer.
    bool QueryInfo(uint32_t eQuery, std::string& sBuffer, int32_t& lBuffer);
    // Reads lLength bytes of the body into bData in blocks of BufferSize,
    // raising PacketReceieved after each block and letting the message loop
    // run. False when stopped through bStopReadArray, or when the body ended
    // before lLength bytes.
    bool ReadArray(std::vector<uint8_t>& bData, int32_t lLength);

    inet::HINTERNET hInternet() const { return hInternet_; }
    inet::HINTERNET hSession() const { return hSession_; }
    void setBufferSize(int32_t value) { m_BufferSize = value; }
    // The platform's error number of the last failed call, 0 when none.
    uint32_t lastError() const { return lastError_; }

    // Ends the call that waits on the network now, and every later one.
    void Cancel() { cancelled_ = true; }

    // A sentence for a platform error number.
    static std::string TranslateErrorCode(int32_t lErrorCode);

    bool bStopReadArray = false;
    bool bFtpPassiveMode = true;
    // Percent remaining, bytes remaining, total bytes.
    std::function<void(int32_t&, int32_t&, int32_t&)> PacketReceieved;

private:
    void recordError() { lastError_ = inet::GetLastError(); }

    std::function<void()> runMessageLoop_;
    inet::HINTERNET hInternet_ = 0;
    inet::HINTERNET hSession_ = 0;
    inet::HINTERNET hRequest_ = 0;
    int32_t m_BufferSize = 1024;
    uint32_t lastError_ = 0;
    bool cancelled_ = false;
    // ReadArray runs: a stop ends the block it waits for.
    bool reading_ = false;
};

}  // namespace orrery::net
