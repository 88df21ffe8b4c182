#include "platform/inet/url_builder.h"

#include <curl/curl.h>

#include <memory>

namespace orrery::inet {

namespace {

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool isIpv6Literal(std::string_view host) {
    if (host.size() < 4 || host.front() != '[' || host.back() != ']') return false;
    const std::string_view inner = host.substr(1, host.size() - 2);
    bool colon = false;
    for (const char c : inner) {
        if (c == ':') colon = true;
        else if (!isHexDigit(c) && c != '.') return false;
    }
    return colon;
}

// Bytes a path may carry as they are: unreserved, sub-delimiters, ":", "@"
// and "/"; `extra` adds the query's "?".
bool isSafePathByte(char c, bool inQuery) {
    if (isNameChar(c) || c == '~' || c == '/' || c == ':' || c == '@') return true;
    switch (c) {
        case '!': case '$': case '&': case '\'': case '(': case ')': case '*': case '+': case ',': case ';': case '=':
            return true;
        case '?': return inQuery;
        default: return false;
    }
}

void appendEncoded(std::string& out, std::string_view text, bool inQuery) {
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (isSafePathByte(c, inQuery) ||
            (c == '%' && i + 2 < text.size() && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2]))) {
            out += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        out += '%';
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    }
}

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct TextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

const char* schemeName(Scheme scheme) {
    switch (scheme) {
        case Scheme::Http: return "http";
        case Scheme::Https: return "https";
        case Scheme::Ftp: return "ftp";
    }
    return "http";
}

}  // namespace

bool IsValidHostName(std::string_view host) {
    if (host.empty() || host.size() > 253) return false;
    if (host.front() == '[') return isIpv6Literal(host);
    for (const char c : host)
        if (!isNameChar(c)) return false;
    return host.front() != '.' && host.front() != '-';
}

bool IsSingleLine(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) == text.npos; }

std::string EncodeHttpObject(std::string_view object) {
    const size_t query = object.find('?');
    const std::string_view path = object.substr(0, query);
    std::string out;
    if (path.empty() || path.front() != '/') out += '/';
    appendEncoded(out, path, false);
    if (query != std::string_view::npos) {
        out += '?';
        appendEncoded(out, object.substr(query + 1), true);
    }
    return out;
}

std::string EncodeFtpPath(std::string_view remoteFile) {
    std::string out = "/";
    if (!remoteFile.empty() && remoteFile.front() == '/') {
        out += "%2F";
        remoteFile.remove_prefix(1);
    }
    appendEncoded(out, remoteFile, false);
    return out;
}

std::string BuildUrl(Scheme scheme, std::string_view host, int32_t port, std::string_view encodedPath) {
    if (!IsValidHostName(host) || port < 0 || port > 65535 || !IsSingleLine(encodedPath)) return {};
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url) return {};
    const std::string hostText(host);
    const size_t query = encodedPath.find('?');
    const std::string path(encodedPath.substr(0, query));
    bool ok = curl_url_set(url.get(), CURLUPART_SCHEME, schemeName(scheme), 0) == CURLUE_OK &&
              curl_url_set(url.get(), CURLUPART_HOST, hostText.c_str(), 0) == CURLUE_OK &&
              curl_url_set(url.get(), CURLUPART_PATH, path.c_str(), 0) == CURLUE_OK;
    if (ok && port != 0) ok = curl_url_set(url.get(), CURLUPART_PORT, std::to_string(port).c_str(), 0) == CURLUE_OK;
    if (ok && query != std::string_view::npos) {
        const std::string queryText(encodedPath.substr(query + 1));
        ok = curl_url_set(url.get(), CURLUPART_QUERY, queryText.c_str(), 0) == CURLUE_OK;
    }
    char* text = nullptr;
    if (!ok || curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK) return {};
    std::unique_ptr<char, TextDeleter> owned(text);
    // The URL must name the very host it was given: one that libcurl would
    // read differently (a shortened IPv4 address, say) is refused.
    std::unique_ptr<CURLU, UrlDeleter> check(curl_url());
    char* parsedHost = nullptr;
    if (!check || curl_url_set(check.get(), CURLUPART_URL, text, 0) != CURLUE_OK ||
        curl_url_get(check.get(), CURLUPART_HOST, &parsedHost, 0) != CURLUE_OK)
        return {};
    std::unique_ptr<char, TextDeleter> ownedHost(parsedHost);
    if (hostText != parsedHost) return {};
    return std::string(text);
}

}  // namespace orrery::inet
