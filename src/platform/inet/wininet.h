// The platform's HTTP and FTP calls, over libcurl. Handles are positive
// numbers of a table of this thread; closing one closes the handles made
// from it. Every call that fails leaves the reason in GetLastError(), in the
// platform's numbers (the ERROR_INTERNET_* and ERROR_HTTP_* values below, or
// an errno value for a local failure such as a file that cannot be written).
//
// The calls block as the platform's do: an HTTP send returns once the final
// response headers are in (redirects followed), a read returns the bytes
// asked for, fewer only at the body's end or on failure. While a call waits
// on the network it runs the root handle's wait callback now and then, which
// is how a host lets its event loop run during a transfer.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace orrery::inet {

using HINTERNET = uint32_t;

// InternetOpenA access types.
inline constexpr uint32_t INTERNET_OPEN_TYPE_PRECONFIG = 0;  // the environment's proxies
inline constexpr uint32_t INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr uint32_t INTERNET_OPEN_TYPE_PROXY = 3;

// InternetConnectA services and the default port.
inline constexpr uint32_t INTERNET_SERVICE_FTP = 1;
inline constexpr uint32_t INTERNET_SERVICE_HTTP = 3;
inline constexpr int32_t INTERNET_DEFAULT_PORT = 0;

// Connection and request flags.
inline constexpr uint32_t INTERNET_FLAG_RELOAD = 0x80000000;
inline constexpr uint32_t INTERNET_FLAG_SECURE = 0x00800000;
inline constexpr uint32_t INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
inline constexpr uint32_t INTERNET_FLAG_PASSIVE = 0x08000000;

// HttpQueryInfoA levels.
inline constexpr uint32_t HTTP_QUERY_CONTENT_TYPE = 1;
inline constexpr uint32_t HTTP_QUERY_CONTENT_LENGTH = 5;
inline constexpr uint32_t HTTP_QUERY_STATUS_CODE = 19;
inline constexpr uint32_t HTTP_QUERY_STATUS_TEXT = 20;
inline constexpr uint32_t HTTP_QUERY_RAW_HEADERS = 21;
inline constexpr uint32_t HTTP_QUERY_RAW_HEADERS_CRLF = 22;
inline constexpr uint32_t HTTP_QUERY_LOCATION = 33;
inline constexpr uint32_t HTTP_QUERY_FLAG_NUMBER = 0x20000000;

// Error numbers.
inline constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr uint32_t ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr uint32_t ERROR_INTERNET_EXTENDED_ERROR = 12003;
inline constexpr uint32_t ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr uint32_t ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr uint32_t ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr uint32_t ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr uint32_t ERROR_INTERNET_INCORRECT_PASSWORD = 12014;
inline constexpr uint32_t ERROR_INTERNET_OPERATION_CANCELLED = 12017;
inline constexpr uint32_t ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
inline constexpr uint32_t ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr uint32_t ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr uint32_t ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
inline constexpr uint32_t ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
inline constexpr uint32_t ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR = 12040;
inline constexpr uint32_t ERROR_INTERNET_INVALID_CA = 12045;
inline constexpr uint32_t ERROR_HTTP_HEADER_NOT_FOUND = 12150;
inline constexpr uint32_t ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr uint32_t ERROR_HTTP_INVALID_HEADER = 12153;
inline constexpr uint32_t ERROR_HTTP_INVALID_QUERY_REQUEST = 12154;
inline constexpr uint32_t ERROR_HTTP_REDIRECT_FAILED = 12156;
inline constexpr uint32_t ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;

// Runs while a call waits on the network; returning false cancels the call
// (ERROR_INTERNET_OPERATION_CANCELLED; a read keeps what it has copied).
using WaitCallback = std::function<bool()>;

// How long a transfer may wait: for a connection, and for the next byte once
// connected (seconds, at least 1). Tests lower them.
struct Timeouts {
    int64_t connectMs = 60000;
    int32_t noDataSeconds = 30;
};
void SetTimeouts(const Timeouts& timeouts);
Timeouts GetTimeouts();

uint32_t GetLastError();

HINTERNET InternetOpenA(const std::string& agent, uint32_t accessType, const std::string& proxy,
                        const std::string& proxyBypass, uint32_t flags);
// The wait callback of a root handle and every call on handles made from it.
bool InternetSetWaitCallback(HINTERNET internet, WaitCallback callback);
// HTTP: remembers the server (refused when the name cannot be one). FTP:
// connects and logs in (an empty user name logs in as anonymous).
HINTERNET InternetConnectA(HINTERNET internet, const std::string& serverName, int32_t port,
                           const std::string& userName, const std::string& password, uint32_t service,
                           uint32_t flags, uintptr_t context);
HINTERNET HttpOpenRequestA(HINTERNET connect, const std::string& verb, const std::string& objectName,
                           const std::string& version, uint32_t flags, uintptr_t context);
// `headers`: lines separated by CR LF, added to the request.
bool HttpSendRequestA(HINTERNET request, const std::string& headers, std::span<const uint8_t> data);
// A numeric query writes a 32-bit number (buffer length at least 4; a value
// beyond 32 bits reads as 0xFFFFFFFF); a text query writes the text and its
// terminating NUL, and on ERROR_INSUFFICIENT_BUFFER sets the length needed.
bool HttpQueryInfoA(HINTERNET request, uint32_t infoLevel, void* buffer, uint32_t& bufferLength, uint32_t& index);
bool InternetReadFile(HINTERNET file, void* buffer, uint32_t bytesToRead, uint32_t& bytesRead);
// Downloads `remoteFile` (binary, one RETR) into a new file `localFile`,
// made exclusively with mode 0600; an existing file of that name is replaced
// unless `failIfExists`. A file that would pass `maxBytes` stops the
// download. On any failure no file is left.
bool FtpGetFileA(HINTERNET connect, const std::string& remoteFile, const std::string& localFile, bool failIfExists,
                 uint32_t attributes, uint32_t flags, uintptr_t context, uint64_t maxBytes = UINT64_MAX);
bool InternetCloseHandle(HINTERNET handle);

}  // namespace orrery::inet
