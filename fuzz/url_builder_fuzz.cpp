// Builds URLs from arbitrary parts. A URL is only ever built for a host the
// validation accepted, and parsing it back gives exactly that host, the port
// and a path without line breaks: nothing in a part reaches another part.
#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/inet/url_builder.h"

using namespace orrery::inet;

namespace {

std::string partOf(CURLU* url, CURLUPart part) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK) return {};
    std::string copy(text);
    curl_free(text);
    return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const auto scheme = static_cast<Scheme>(data[0] % 3);
    const int32_t port = (data[1] << 8 | data[2]) % 70000 - 1000;
    const std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
    const size_t split = rest.find('\x01');
    const std::string host(rest.substr(0, split));
    const std::string object(split == std::string_view::npos ? std::string_view() : rest.substr(split + 1));
    const std::string path = scheme == Scheme::Ftp ? EncodeFtpPath(object) : EncodeHttpObject(object);
    if (path.find_first_of(std::string_view("\r\n\0 #", 5)) != std::string::npos) std::abort();
    const std::string url = BuildUrl(scheme, host, port, path);
    if (url.empty()) return 0;
    if (!IsValidHostName(host) || port < 0 || port > 65535) std::abort();
    CURLU* parsed = curl_url();
    if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) std::abort();
    if (partOf(parsed, CURLUPART_HOST) != host) std::abort();
    if (!partOf(parsed, CURLUPART_USER).empty() || !partOf(parsed, CURLUPART_FRAGMENT).empty()) std::abort();
    if (port != 0 && partOf(parsed, CURLUPART_PORT) != std::to_string(port)) std::abort();
    curl_url_cleanup(parsed);
    return 0;
}
