// Normalises arbitrary FTP paths as DisplayFromFTP does. The result has no
// backslash and no trailing blank, starts with at most one "/", and is
// what remains of the input once the rules are applied.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/internet_display.h"
#include "platform/inet/url_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string given(reinterpret_cast<const char*>(data), size);
    const std::string remote = orrery::net::NormaliseFtpPath(given);
    if (remote.find('\\') != std::string::npos) std::abort();
    if (!remote.empty() && remote.back() == ' ') std::abort();
    if (remote.size() > given.size()) std::abort();
    std::string slashed = given;
    for (char& c : slashed)
        if (c == '\\') c = '/';
    if (slashed.find(remote) == std::string::npos) std::abort();
    // Three leading slashes keep one; fewer keep none.
    const size_t first = slashed.find_first_not_of(' ');
    const size_t slashes = first == std::string::npos ? 0 : slashed.find_first_not_of('/', first) - first;
    if (remote.size() > 0 && (remote.front() == '/') != (slashes >= 3)) std::abort();
    // Its URL path never leaves the server's folders for another host.
    const std::string path = orrery::inet::EncodeFtpPath(remote);
    if (path.empty() || path.front() != '/' || path.find_first_of(" \r\n#?") != std::string::npos) std::abort();
    return 0;
}
