#include "platform/kernel/messages.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orrery::kernel {

namespace {
// Room for more descriptors than a message may carry, so that a peer
// sending several is seen (and its descriptors closed) rather than cut.
constexpr size_t kMaxDescriptorsSeen = 8;
}  // namespace

bool makeMessagePair(UniqueFd& first, UniqueFd& second) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) return false;
    first = UniqueFd(fds[0]);
    second = UniqueFd(fds[1]);
    return true;
}

bool sendMessage(int socket, std::span<const uint8_t> bytes, std::span<const int> fds) {
    if (bytes.empty() || fds.size() > kMaxDescriptorsSeen) return false;
    iovec iov{const_cast<uint8_t*>(bytes.data()), bytes.size()};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxDescriptorsSeen)] = {};
    if (!fds.empty()) {
        msg.msg_control = control;
        msg.msg_controllen = CMSG_SPACE(sizeof(int) * fds.size());
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
        std::memcpy(CMSG_DATA(c), fds.data(), sizeof(int) * fds.size());
    }
    ssize_t n;
    do {
        n = ::sendmsg(socket, &msg, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(bytes.size());
}

bool sendMessage(int socket, std::span<const uint8_t> bytes, int fd) {
    if (fd < 0) return sendMessage(socket, bytes, std::span<const int>());
    return sendMessage(socket, bytes, std::span<const int>(&fd, 1));
}

Received receiveMessage(int socket, size_t maxBytes, std::vector<uint8_t>& bytes, UniqueFd& fd) {
    fd.reset();
    // One byte more than allowed, so that an overlong message shows as
    // truncated.
    bytes.resize(maxBytes + 1);
    iovec iov{bytes.data(), bytes.size()};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxDescriptorsSeen)] = {};
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n;
    do {
        n = ::recvmsg(socket, &msg, MSG_CMSG_CLOEXEC);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        bytes.clear();
        return Received::Failed;
    }
    bool malformed = (msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0 || static_cast<size_t>(n) > maxBytes;
    int descriptors = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) {
            malformed = true;
            continue;
        }
        const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int received = -1;
            std::memcpy(&received, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
            if (++descriptors == 1) fd = UniqueFd(received);
            else ::close(received);
        }
    }
    if (descriptors > 1) malformed = true;
    if (n == 0 && descriptors == 0) {
        bytes.clear();
        return Received::Closed;
    }
    if (malformed) {
        fd.reset();
        bytes.clear();
        return Received::Malformed;
    }
    bytes.resize(static_cast<size_t>(n));
    return Received::Message;
}

}  // namespace orrery::kernel
