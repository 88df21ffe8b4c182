// A private X server for the tests and benchmarks of the desktop host: Xvfb
// on a display number it picks itself, with one screen of the given size
// (WIDTHxHEIGHTxDEPTH), stopped when the object goes away.
#pragma once
#include <string>
#include <sys/types.h>

namespace orrery::qt {

class XvfbServer {
public:
    explicit XvfbServer(const std::string& screen = "1280x1024x24");
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // ":N" once the server accepts clients; empty when it could not start.
    const std::string& display() const { return display_; }
    const std::string& error() const { return error_; }

private:
    pid_t pid_ = -1;
    std::string display_;
    std::string error_;
};

}  // namespace orrery::qt
