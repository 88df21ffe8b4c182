// Documents named by a URL, as a host's user types it: http://, https:// or
// ftp://, with a user and password for FTP. Hosts (the orrery tool, the
// viewer) show them through DisplayFromURL or DisplayFromFTP.
#pragma once
#include <cstdint>
#include <string>

#include "orrery/orrery.h"

namespace orrery::control {

struct DocumentUrl {
    enum class Scheme { Http, Https, Ftp };
    Scheme scheme = Scheme::Http;
    std::string host;
    std::string path;  // with its query
    int32_t port = 0;  // 0: the scheme's default
    std::string user;
    std::string password;
    bool hasPassword = false;
};

// True when `text` starts with http://, https:// or ftp:// (any case).
bool IsDocumentUrl(const std::string& text);
// The parts of such a URL; false when it is none or cannot be read.
bool ParseDocumentUrl(const std::string& text, DocumentUrl& url);
// Shows the URL's document in `control` and returns the member's status.
int32_t DisplayDocumentUrl(Orrery& control, const DocumentUrl& url);

}  // namespace orrery::control
