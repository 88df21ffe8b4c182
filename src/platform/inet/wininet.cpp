// The handle table and the calls. A handle's object is shared with the call
// that uses it, so a host that closes a handle from inside the wait callback
// ends that call (cancelled) instead of pulling the object from under it.
#include "platform/inet/wininet.h"

#include <curl/curl.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "platform/inet/transfer.h"
#include "platform/inet/url_builder.h"
#include "platform/kernel/files.h"

namespace orrery::inet {

namespace {

constexpr int kMaxRedirects = 10;
constexpr uint32_t ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;

enum class Kind { Root, HttpConnect, FtpConnect, Request };

struct Object {
    Kind kind = Kind::Root;
    HINTERNET parent = 0;
    std::vector<HINTERNET> children;
    bool closed = false;
    // Root
    std::string agent;
    ProxySetup proxies;
    WaitCallback wait;
    // Connections
    std::string host;
    int32_t port = 0;
    std::string userName;
    std::string password;
    uint32_t flags = 0;
    // Requests
    std::string verb;
    std::string object;
    std::unique_ptr<Transfer> transfer;
};

struct Table {
    std::map<HINTERNET, std::shared_ptr<Object>> objects;
    HINTERNET next = 1;
};

thread_local Table table;
thread_local uint32_t lastError = 0;
Timeouts timeouts;

bool fail(uint32_t error) {
    lastError = error;
    return false;
}

HINTERNET failHandle(uint32_t error) {
    lastError = error;
    return 0;
}

std::shared_ptr<Object> find(HINTERNET handle, Kind kind) {
    const auto it = table.objects.find(handle);
    if (it == table.objects.end() || it->second->kind != kind) return nullptr;
    return it->second;
}

std::shared_ptr<Object> findAny(HINTERNET handle) {
    const auto it = table.objects.find(handle);
    return it == table.objects.end() ? nullptr : it->second;
}

HINTERNET add(std::shared_ptr<Object> object) {
    while (table.next == 0 || table.objects.count(table.next) != 0) ++table.next;
    const HINTERNET handle = table.next++;
    if (object->parent != 0) table.objects[object->parent]->children.push_back(handle);
    table.objects.emplace(handle, std::move(object));
    return handle;
}

// The root above `object`.
std::shared_ptr<Object> rootOf(std::shared_ptr<Object> object) {
    while (object && object->kind != Kind::Root) object = findAny(object->parent);
    return object;
}

// The wait callback of a call on `object`: the root's, and cancelled once
// the object has been closed.
WaitCallback waitFor(const std::shared_ptr<Object>& object) {
    const std::shared_ptr<Object> root = rootOf(object);
    WaitCallback hostWait = root ? root->wait : WaitCallback();
    return [object, hostWait] {
        if (hostWait && !hostWait()) return false;
        return !object->closed;
    };
}

void closeTree(HINTERNET handle) {
    const auto it = table.objects.find(handle);
    if (it == table.objects.end()) return;
    std::shared_ptr<Object> object = it->second;
    table.objects.erase(it);
    object->closed = true;
    for (const HINTERNET child : object->children) closeTree(child);
}

TransferSetup setupUnder(const Object& connection, TransferKind kind) {
    TransferSetup setup;
    setup.kind = kind;
    if (const std::shared_ptr<Object> root = findAny(connection.parent)) {
        setup.agent = root->agent;
        setup.proxies = root->proxies;
    }
    setup.userName = connection.userName;
    setup.password = connection.password;
    setup.passive = (connection.flags & INTERNET_FLAG_PASSIVE) != 0;
    return setup;
}

bool isRedirect(long code) { return code == 301 || code == 302 || code == 303 || code == 307 || code == 308; }

std::string schemeOf(const std::string& url) {
    const size_t colon = url.find(':');
    std::string scheme = colon == std::string::npos ? std::string() : url.substr(0, colon);
    for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return scheme;
}

// Header lines separated by CR LF, each a single line.
bool splitHeaders(const std::string& headers, std::vector<std::string>& lines) {
    size_t start = 0;
    while (start < headers.size()) {
        size_t end = headers.find("\r\n", start);
        if (end == std::string::npos) end = headers.size();
        const std::string line = headers.substr(start, end - start);
        if (!IsSingleLine(line)) return false;
        if (!line.empty()) lines.push_back(line);
        start = end + 2;
    }
    return true;
}

bool isToken(const std::string& verb) {
    if (verb.empty()) return false;
    for (const char c : verb)
        if (c <= ' ' || c >= 0x7F || c == '(' || c == ')' || c == ',' || c == '/' || c == ':' || c == ';' ||
            c == '<' || c == '>' || c == '=' || c == '?' || c == '@' || c == '[' || c == ']' || c == '\\' ||
            c == '"' || c == '{' || c == '}')
            return false;
    return true;
}

}  // namespace

void SetTimeouts(const Timeouts& value) { timeouts = value; }
Timeouts GetTimeouts() { return timeouts; }
uint32_t GetLastError() { return lastError; }

HINTERNET InternetOpenA(const std::string& agent, uint32_t accessType, const std::string& proxy,
                        const std::string& proxyBypass, uint32_t) {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!ready) return failHandle(ERROR_INTERNET_INTERNAL_ERROR);
    if (accessType != INTERNET_OPEN_TYPE_PRECONFIG && accessType != INTERNET_OPEN_TYPE_DIRECT &&
        accessType != INTERNET_OPEN_TYPE_PROXY)
        return failHandle(EINVAL);
    if (accessType == INTERNET_OPEN_TYPE_PROXY && (proxy.empty() || !IsSingleLine(proxy)))
        return failHandle(EINVAL);
    auto object = std::make_shared<Object>();
    object->kind = Kind::Root;
    object->agent = agent;
    object->proxies = {accessType, proxy, proxyBypass};
    return add(std::move(object));
}

bool InternetSetWaitCallback(HINTERNET internet, WaitCallback callback) {
    const std::shared_ptr<Object> root = find(internet, Kind::Root);
    if (!root) return fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    root->wait = std::move(callback);
    return true;
}

HINTERNET InternetConnectA(HINTERNET internet, const std::string& serverName, int32_t port,
                           const std::string& userName, const std::string& password, uint32_t service,
                           uint32_t flags, uintptr_t) {
    if (!find(internet, Kind::Root)) return failHandle(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (service != INTERNET_SERVICE_HTTP && service != INTERNET_SERVICE_FTP) return failHandle(EINVAL);
    if (!IsValidHostName(serverName) || port < 0 || port > 65535) return failHandle(ERROR_INTERNET_INVALID_URL);
    if (!IsSingleLine(userName) || !IsSingleLine(password)) return failHandle(ERROR_INTERNET_INVALID_URL);
    auto object = std::make_shared<Object>();
    object->kind = service == INTERNET_SERVICE_FTP ? Kind::FtpConnect : Kind::HttpConnect;
    object->parent = internet;
    object->host = serverName;
    object->port = port;
    object->userName = userName;
    object->password = password;
    object->flags = flags;
    if (object->kind == Kind::FtpConnect) {
        // As on the platform, an FTP connection logs in at once.
        TransferSetup setup = setupUnder(*object, TransferKind::FtpLogin);
        setup.url = BuildUrl(Scheme::Ftp, serverName, port, "/");
        Transfer login(std::move(setup));
        uint32_t error = 0;
        if (!login.waitForEnd(waitFor(object), error)) return failHandle(error);
    }
    return add(std::move(object));
}

HINTERNET HttpOpenRequestA(HINTERNET connect, const std::string& verb, const std::string& objectName,
                           const std::string& version, uint32_t flags, uintptr_t) {
    if (!find(connect, Kind::HttpConnect)) return failHandle(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    const std::string method = verb.empty() ? "GET" : verb;
    if (!isToken(method) || !IsSingleLine(objectName) || !IsSingleLine(version))
        return failHandle(ERROR_INTERNET_INVALID_URL);
    auto object = std::make_shared<Object>();
    object->kind = Kind::Request;
    object->parent = connect;
    object->verb = method;
    object->object = objectName;
    object->flags = flags;
    return add(std::move(object));
}

bool HttpSendRequestA(HINTERNET request, const std::string& headers, std::span<const uint8_t> data) {
    const std::shared_ptr<Object> object = find(request, Kind::Request);
    if (!object) return fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    const std::shared_ptr<Object> connection = findAny(object->parent);
    if (!connection) return fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    std::vector<std::string> headerLines;
    if (!splitHeaders(headers, headerLines)) return fail(ERROR_HTTP_INVALID_HEADER);
    const bool secure = (object->flags & INTERNET_FLAG_SECURE) != 0;
    std::string url = BuildUrl(secure ? Scheme::Https : Scheme::Http, connection->host, connection->port,
                               EncodeHttpObject(object->object));
    if (url.empty()) return fail(ERROR_INTERNET_INVALID_URL);
    std::string verb = object->verb;
    std::vector<uint8_t> body(data.begin(), data.end());
    const WaitCallback wait = waitFor(object);
    for (int redirects = 0;; ++redirects) {
        TransferSetup setup = setupUnder(*connection, TransferKind::Http);
        setup.url = url;
        setup.verb = verb;
        setup.headerLines = headerLines;
        setup.body = body;
        object->transfer = std::make_unique<Transfer>(std::move(setup));
        uint32_t error = 0;
        if (!object->transfer->waitForHeaders(wait, error)) return fail(error);
        const long code = object->transfer->responseCode();
        const std::string next = isRedirect(code) ? object->transfer->redirectUrl() : std::string();
        if (next.empty()) return true;
        const std::string from = schemeOf(url), to = schemeOf(next);
        if (from == "https" && to == "http") return fail(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
        if ((to != "http" && to != "https") || redirects == kMaxRedirects) return fail(ERROR_HTTP_REDIRECT_FAILED);
        if (code == 303) {
            verb = "GET";
            body.clear();
        }
        url = next;
    }
}

bool HttpQueryInfoA(HINTERNET request, uint32_t infoLevel, void* buffer, uint32_t& bufferLength, uint32_t& index) {
    const std::shared_ptr<Object> object = find(request, Kind::Request);
    if (!object) return fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (!object->transfer) return fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    const ResponseHeaders& headers = object->transfer->headers();
    const uint32_t level = infoLevel & 0xFFFF;
    uint32_t error = 0;
    if ((infoLevel & HTTP_QUERY_FLAG_NUMBER) != 0) {
        if (bufferLength < 4 || !buffer) return fail(ERROR_INSUFFICIENT_BUFFER);
        const std::optional<uint32_t> number = headers.queryNumber(level, index, error);
        if (!number) return fail(error);
        std::memcpy(buffer, &*number, 4);
        bufferLength = 4;
        ++index;
        return true;
    }
    const std::optional<std::string> text = headers.queryText(level, index, error);
    if (!text) return fail(error);
    if (!buffer || bufferLength < text->size() + 1) {
        bufferLength = static_cast<uint32_t>(text->size() + 1);
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, text->c_str(), text->size() + 1);
    bufferLength = static_cast<uint32_t>(text->size());
    ++index;
    return true;
}

bool InternetReadFile(HINTERNET file, void* buffer, uint32_t bytesToRead, uint32_t& bytesRead) {
    bytesRead = 0;
    const std::shared_ptr<Object> object = find(file, Kind::Request);
    if (!object) return fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (!object->transfer) return fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    if (bytesToRead == 0) return true;
    if (!buffer) return fail(EINVAL);
    uint32_t error = 0;
    // A block already buffered needs no wait callback (built only for waits).
    Transfer& transfer = *object->transfer;
    const WaitCallback wait = transfer.readsWithoutWaiting(bytesToRead) ? WaitCallback() : waitFor(object);
    if (!transfer.read(static_cast<uint8_t*>(buffer), bytesToRead, bytesRead, wait, error)) return fail(error);
    return true;
}

bool FtpGetFileA(HINTERNET connect, const std::string& remoteFile, const std::string& localFile, bool failIfExists,
                 uint32_t, uint32_t, uintptr_t, uint64_t maxBytes) {
    const std::shared_ptr<Object> connection = find(connect, Kind::FtpConnect);
    if (!connection) return fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (remoteFile.empty() || !IsSingleLine(remoteFile)) return fail(ERROR_INTERNET_INVALID_URL);
    if (localFile.empty()) return fail(EINVAL);
    if (!failIfExists) kernel::removeQuietly(localFile);
    kernel::UniqueFd fd = kernel::CreateTempFile(localFile);
    if (!fd) return fail(static_cast<uint32_t>(errno));
    TransferSetup setup = setupUnder(*connection, TransferKind::FtpDownload);
    setup.url = BuildUrl(Scheme::Ftp, connection->host, connection->port, EncodeFtpPath(remoteFile));
    setup.fileFd = fd.get();
    setup.maxBytes = maxBytes;
    uint32_t error = 0;
    bool ok = !setup.url.empty();
    if (!ok) error = ERROR_INTERNET_INVALID_URL;
    if (ok) {
        Transfer download(std::move(setup));
        ok = download.waitForEnd(waitFor(connection), error);
    }
    if (ok && ::close(fd.release()) != 0) {
        ok = false;
        error = static_cast<uint32_t>(errno);
    }
    if (!ok) {
        fd.reset();
        kernel::removeQuietly(localFile);
        return fail(error);
    }
    return true;
}

bool InternetCloseHandle(HINTERNET handle) {
    const std::shared_ptr<Object> object = findAny(handle);
    if (!object) return fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (const std::shared_ptr<Object> parent = findAny(object->parent)) std::erase(parent->children, handle);
    closeTree(handle);
    return true;
}

}  // namespace orrery::inet
