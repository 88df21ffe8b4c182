// Reads arbitrary bytes as the header lines of an HTTP response and asks
// every query of them. A numeric answer must agree with the text answer, and
// raw headers must hold every field that was stored.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/inet/response_headers.h"
#include "platform/inet/wininet.h"

using namespace orrery::inet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ResponseHeaders headers;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        headers.addLine(text.substr(start, end - start));
        start = end + 1;
    }
    for (const uint32_t level : {HTTP_QUERY_CONTENT_TYPE, HTTP_QUERY_CONTENT_LENGTH, HTTP_QUERY_STATUS_CODE,
                                 HTTP_QUERY_STATUS_TEXT, HTTP_QUERY_RAW_HEADERS, HTTP_QUERY_RAW_HEADERS_CRLF,
                                 HTTP_QUERY_LOCATION, 77u}) {
        for (uint32_t index = 0; index < 3; ++index) {
            uint32_t textError = 0, numberError = 0;
            const auto answer = headers.queryText(level, index, textError);
            const auto number = headers.queryNumber(level, index, numberError);
            if (!answer && textError == 0) std::abort();
            if (number) {
                if (!answer || answer->empty()) std::abort();
                // Digits only, saturated at 32 bits.
                uint64_t value = 0;
                for (const char c : *answer) {
                    if (c < '0' || c > '9') std::abort();
                    value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(c - '0'), UINT32_MAX);
                }
                if (value != *number) std::abort();
            }
        }
    }
    return 0;
}
