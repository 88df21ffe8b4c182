// Messages between two processes over a packet socket (AF_UNIX,
// SOCK_SEQPACKET): each message arrives whole or not at all, and may carry
// one open descriptor (SCM_RIGHTS).
#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "platform/kernel/files.h"

namespace orrery::kernel {

// Two connected packet sockets, close-on-exec; false when none can be made.
bool makeMessagePair(UniqueFd& first, UniqueFd& second);

// Sends `bytes` (at least one) with duplicates of `fds`. Never raises
// SIGPIPE; false when the peer is gone or the send fails.
bool sendMessage(int socket, std::span<const uint8_t> bytes, std::span<const int> fds);
// The same with one descriptor, or none when `fd` is -1.
bool sendMessage(int socket, std::span<const uint8_t> bytes, int fd = -1);

enum class Received {
    Message,    // a whole message of at most the asked size
    Closed,     // the peer closed its end
    Malformed,  // too long, more than one descriptor, or a descriptor of another kind
    Failed,     // the receive itself failed
};

// Receives one message of at most `maxBytes` into `bytes` and the descriptor
// it carried, if any, into `fd` (close-on-exec). A message that breaks the
// limits is consumed and its descriptors closed.
Received receiveMessage(int socket, size_t maxBytes, std::vector<uint8_t>& bytes, UniqueFd& fd);

}  // namespace orrery::kernel
