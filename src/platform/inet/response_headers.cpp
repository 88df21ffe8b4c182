#include "platform/inet/response_headers.h"

#include <algorithm>

#include "platform/inet/wininet.h"

namespace orrery::inet {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool sameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// "HTTP/1.1 404 Not Found": the words after the version.
std::string_view statusPart(std::string_view statusLine, bool code) {
    const size_t first = statusLine.find(' ');
    if (first == std::string_view::npos) return {};
    std::string_view rest = trimmed(statusLine.substr(first + 1));
    const size_t second = rest.find(' ');
    if (code) return second == std::string_view::npos ? rest : rest.substr(0, second);
    return second == std::string_view::npos ? std::string_view() : trimmed(rest.substr(second + 1));
}

const char* fieldNameOf(uint32_t level) {
    switch (level) {
        case HTTP_QUERY_CONTENT_TYPE: return "Content-Type";
        case HTTP_QUERY_CONTENT_LENGTH: return "Content-Length";
        case HTTP_QUERY_LOCATION: return "Location";
        default: return nullptr;
    }
}

}  // namespace

void ResponseHeaders::clear() {
    statusLine_.clear();
    fields_.clear();
}

void ResponseHeaders::addLine(std::string_view line) {
    line = trimmed(line);
    if (line.empty()) return;
    if (statusLine_.empty() && fields_.empty()) {
        statusLine_ = line;
        return;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return;  // not a field: ignored
    fields_.push_back({std::string(trimmed(line.substr(0, colon))), std::string(trimmed(line.substr(colon + 1)))});
}

std::optional<std::string> ResponseHeaders::field(std::string_view name, uint32_t index) const {
    for (const Field& f : fields_)
        if (sameName(f.name, name) && index-- == 0) return f.value;
    return std::nullopt;
}

std::optional<std::string> ResponseHeaders::queryText(uint32_t level, uint32_t index, uint32_t& error) const {
    error = ERROR_HTTP_HEADER_NOT_FOUND;
    if (empty()) return std::nullopt;
    const char separator = level == HTTP_QUERY_RAW_HEADERS ? '\0' : '\n';
    switch (level) {
        case HTTP_QUERY_STATUS_CODE:
        case HTTP_QUERY_STATUS_TEXT: {
            const std::string_view part = statusPart(statusLine_, level == HTTP_QUERY_STATUS_CODE);
            if (part.empty()) return std::nullopt;
            return std::string(part);
        }
        case HTTP_QUERY_RAW_HEADERS:
        case HTTP_QUERY_RAW_HEADERS_CRLF: {
            std::string all = statusLine_;
            if (level == HTTP_QUERY_RAW_HEADERS_CRLF) all += '\r';
            all += separator;
            for (const Field& f : fields_) {
                all += f.name + ": " + f.value;
                if (level == HTTP_QUERY_RAW_HEADERS_CRLF) all += '\r';
                all += separator;
            }
            if (level == HTTP_QUERY_RAW_HEADERS_CRLF) all += "\r\n";
            return all;
        }
        default:
            if (const char* name = fieldNameOf(level)) return field(name, index);
            error = ERROR_HTTP_INVALID_QUERY_REQUEST;
            return std::nullopt;
    }
}

std::optional<uint32_t> ResponseHeaders::queryNumber(uint32_t level, uint32_t index, uint32_t& error) const {
    const std::optional<std::string> text = queryText(level, index, error);
    if (!text) return std::nullopt;
    if (text->empty() || !std::all_of(text->begin(), text->end(), [](char c) { return c >= '0' && c <= '9'; })) {
        error = ERROR_HTTP_INVALID_HEADER;
        return std::nullopt;
    }
    uint64_t value = 0;
    for (const char c : *text) {
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > UINT32_MAX) return UINT32_MAX;
    }
    return static_cast<uint32_t>(value);
}

}  // namespace orrery::inet
