// The URL of a transfer, built from its parts through curl's URL interface
// after each part was checked: no URL is ever made by joining strings, so a
// host name cannot smuggle in a user, a port, a path or a second request.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orrery::inet {

enum class Scheme { Http, Https, Ftp };

// A server name the transfer may use: a DNS name or dotted address of
// letters, digits, ".", "-" and "_", or an IPv6 address in brackets; at most
// 253 characters. Everything else ("/", "@", "?", "#", ":", "%", blanks,
// control characters, ...) is refused.
bool IsValidHostName(std::string_view host);
// True when `text` holds no CR, LF or NUL: what a request line, a login or a
// password must not carry.
bool IsSingleLine(std::string_view text);
// An HTTP object name as a path and query for the request line: a leading
// "/" added when missing, bytes outside the safe set percent-encoded ("%"
// stays when two hex digits follow it). The query starts at the first "?".
std::string EncodeHttpObject(std::string_view object);
// An FTP file name as a URL path: relative names stay relative to the login
// folder, a leading "/" names the server's root.
std::string EncodeFtpPath(std::string_view remoteFile);
// The URL of `scheme`://`host`:`port` followed by an encoded path (and query)
// from the encoders above; empty when a part is refused. Port 0 is the
// scheme's default.
std::string BuildUrl(Scheme scheme, std::string_view host, int32_t port, std::string_view encodedPath);

}  // namespace orrery::inet
