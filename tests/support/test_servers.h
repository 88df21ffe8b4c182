// Real servers a test starts as its children on 127.0.0.1: nginx for HTTP
// and HTTPS, pyftpdlib for FTP, and the tests' own misbehaving HTTP server.
// Each is configured inside the test's folder, waited for until it accepts
// (bounded), and stopped by SIGTERM (SIGKILL after 5 s) when it goes away.
#pragma once
#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace orrery::test {

class ServerProcess {
public:
    // Runs `argv` in `folder`. With `knownPorts` empty, the server's first
    // line of output is its port; `inheritedFds` stay open in the child.
    static std::unique_ptr<ServerProcess> start(const std::vector<std::string>& argv,
                                                const std::filesystem::path& folder,
                                                std::vector<int> knownPorts = {},
                                                const std::vector<int>& inheritedFds = {},
                                                const std::vector<std::string>& environment = {});
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int port(size_t which = 0) const { return ports_.at(which); }

private:
    ServerProcess() = default;
    pid_t pid_ = -1;
    std::vector<int> ports_;
};

// A listening TCP socket on 127.0.0.1:`port` (0: a free one), or -1.
int listenOnLoopback(int port, int& boundPort);

// A self-signed certificate (which is its own CA) for DNS name `name`, made
// by openssl in `folder`: NAME.pem and NAME.key.
bool makeCertificate(const std::filesystem::path& folder, const std::string& name);

// A port that was free a moment ago (bound to port 0 and closed), for
// servers that cannot report the port they bound.
int freeLoopbackPort();
// nginx serving `www` over HTTP and over HTTPS (with certificate `certName`)
// on the two ports.
std::unique_ptr<ServerProcess> startNginx(const std::filesystem::path& folder, const std::filesystem::path& www,
                                          const std::string& certName, int httpPort, int httpsPort);
// pyftpdlib: user "reader", password "secret", and anonymous, reading `root`.
std::unique_ptr<ServerProcess> startFtpServer(const std::filesystem::path& folder, const std::filesystem::path& root);
// The misbehaving HTTP server (tests/net/misbehaving_server.py), files from
// `files`; over TLS with certificate `certName` when it is not empty.
std::unique_ptr<ServerProcess> startMisbehavingServer(const std::filesystem::path& folder,
                                                      const std::filesystem::path& files,
                                                      const std::string& certName = {});

}  // namespace orrery::test
