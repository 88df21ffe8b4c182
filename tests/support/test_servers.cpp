#include "support/test_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace orrery::test {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStartLimit = std::chrono::seconds(20);
constexpr auto kStopGrace = std::chrono::seconds(5);

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// The first line the child writes, within the start limit.
std::string firstLine(int fd) {
    std::string line;
    const auto deadline = Clock::now() + kStartLimit;
    while (Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char c = 0;
        if (::read(fd, &c, 1) != 1) break;
        if (c == '\n') return line;
        line += c;
    }
    return {};
}

bool exited(pid_t pid, std::chrono::milliseconds within) {
    const auto deadline = Clock::now() + within;
    do {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (Clock::now() < deadline);
    return false;
}

std::string systemPython() { return "/usr/bin/python3"; }

std::filesystem::path serverScript(const char* name) {
    return std::filesystem::path(ORRERY_TEST_SOURCE_DIR) / "net" / name;
}

}  // namespace

std::unique_ptr<ServerProcess> ServerProcess::start(const std::vector<std::string>& argv,
                                                    const std::filesystem::path& folder, std::vector<int> knownPorts,
                                                    const std::vector<int>& inheritedFds,
                                                    const std::vector<std::string>& environment) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return nullptr;
    const pid_t pid = ::fork();
    if (pid < 0) return nullptr;
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        for (const int fd : inheritedFds) ::fcntl(fd, F_SETFD, 0);
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        for (const std::string& entry : environment) ::putenv(const_cast<char*>(entry.c_str()));
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::unique_ptr<ServerProcess> server(new ServerProcess);
    server->pid_ = pid;
    if (knownPorts.empty()) {
        const std::string line = firstLine(out[0]);
        if (!line.empty()) knownPorts.push_back(std::atoi(line.c_str()));
    }
    ::close(out[0]);
    server->ports_ = knownPorts;
    if (knownPorts.empty()) return nullptr;  // the destructor stops the child
    const auto deadline = Clock::now() + kStartLimit;
    for (const int port : knownPorts)
        while (!accepts(port)) {
            if (exited(pid, std::chrono::milliseconds(0))) {
                server->pid_ = -1;
                return nullptr;
            }
            if (Clock::now() > deadline) return nullptr;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    // Another server on the port answered for one that could not bind it.
    if (exited(pid, std::chrono::milliseconds(50))) {
        server->pid_ = -1;
        return nullptr;
    }
    return server;
}

ServerProcess::~ServerProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    if (!exited(pid_, kStopGrace)) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

int listenOnLoopback(int port, int& boundPort) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    boundPort = ntohs(address.sin_port);
    return fd;
}

bool makeCertificate(const std::filesystem::path& folder, const std::string& name) {
    const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=" + name +
                                " -addext subjectAltName=DNS:" + name + " -keyout '" +
                                (folder / (name + ".key")).string() + "' -out '" +
                                (folder / (name + ".pem")).string() + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

int freeLoopbackPort() {
    int port = 0;
    ::close(listenOnLoopback(0, port));
    return port;
}

std::unique_ptr<ServerProcess> startNginx(const std::filesystem::path& folder, const std::filesystem::path& www,
                                          const std::string& certName, int httpPort, int httpsPort) {
    std::filesystem::create_directories(folder / "tmp");
    std::ofstream conf(folder / "nginx.conf");
    conf << "daemon off;\nmaster_process off;\nworker_processes 1;\npid nginx.pid;\nerror_log error.log;\n"
         << "events { worker_connections 64; }\nhttp {\n  access_log off;\n"
         << "  client_body_temp_path tmp; proxy_temp_path tmp; fastcgi_temp_path tmp;\n"
         << "  uwsgi_temp_path tmp; scgi_temp_path tmp;\n  default_type application/octet-stream;\n"
         << "  server { listen 127.0.0.1:" << httpPort << "; root " << www.string() << "; }\n"
         << "  server { listen 127.0.0.1:" << httpsPort << " ssl; root " << www.string() << ";\n"
         << "    ssl_certificate " << certName << ".pem; ssl_certificate_key " << certName << ".key; }\n}\n";
    conf.close();
    return ServerProcess::start({"/usr/sbin/nginx", "-p", folder.string() + "/", "-c", "nginx.conf", "-e",
                                 "error.log"},
                                folder, {httpPort, httpsPort});
}

std::unique_ptr<ServerProcess> startFtpServer(const std::filesystem::path& folder, const std::filesystem::path& root) {
    return ServerProcess::start({systemPython(), serverScript("ftp_server.py").string(), root.string()}, folder);
}

std::unique_ptr<ServerProcess> startMisbehavingServer(const std::filesystem::path& folder,
                                                      const std::filesystem::path& files,
                                                      const std::string& certName) {
    std::vector<std::string> argv = {systemPython(), serverScript("misbehaving_server.py").string(), "--files",
                                     files.string()};
    if (!certName.empty()) {
        argv.insert(argv.end(), {"--tls", (folder / (certName + ".pem")).string(),
                                 (folder / (certName + ".key")).string()});
    }
    return ServerProcess::start(argv, folder);
}

}  // namespace orrery::test
