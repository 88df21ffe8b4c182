#include "control/document_url.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdlib>
#include <memory>

namespace orrery::control {

namespace {

bool startsWithNoCase(const std::string& text, const char* prefix) {
    for (size_t i = 0; prefix[i] != '\0'; ++i)
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

}  // namespace

bool IsDocumentUrl(const std::string& text) {
    return startsWithNoCase(text, "http://") || startsWithNoCase(text, "https://") || startsWithNoCase(text, "ftp://");
}

bool ParseDocumentUrl(const std::string& text, DocumentUrl& url) {
    if (!IsDocumentUrl(text)) return false;
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), &curl_url_cleanup);
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return false;
    const auto get = [&](CURLUPart part, std::string& out, unsigned flags) {
        char* value = nullptr;
        if (curl_url_get(parsed.get(), part, &value, flags) != CURLUE_OK) return false;
        out = value;
        curl_free(value);
        return true;
    };
    std::string scheme, port, query;
    get(CURLUPART_SCHEME, scheme, 0);
    url.scheme = scheme == "ftp" ? DocumentUrl::Scheme::Ftp
                 : scheme == "https" ? DocumentUrl::Scheme::Https
                                     : DocumentUrl::Scheme::Http;
    if (!get(CURLUPART_HOST, url.host, 0) || url.host.empty()) return false;
    url.port = get(CURLUPART_PORT, port, 0) ? std::atoi(port.c_str()) : 0;
    // FTP paths name files, decoded; HTTP paths go as they were written.
    const bool ftp = url.scheme == DocumentUrl::Scheme::Ftp;
    get(CURLUPART_PATH, url.path, ftp ? CURLU_URLDECODE : 0);
    if (!ftp && get(CURLUPART_QUERY, query, 0)) url.path += "?" + query;
    get(CURLUPART_USER, url.user, CURLU_URLDECODE);
    url.hasPassword = get(CURLUPART_PASSWORD, url.password, CURLU_URLDECODE);
    return true;
}

int32_t DisplayDocumentUrl(Orrery& control, const DocumentUrl& url) {
    switch (url.scheme) {
        case DocumentUrl::Scheme::Ftp:
            return control.DisplayFromFTP(url.host, url.path, url.user, url.password, url.port ? url.port : 21);
        case DocumentUrl::Scheme::Https:
            return control.DisplayFromURL("HTTPS://" + url.host, url.path, url.port ? url.port : 443);
        case DocumentUrl::Scheme::Http: break;
    }
    return control.DisplayFromURL(url.host, url.path, url.port ? url.port : 80);
}

}  // namespace orrery::control
