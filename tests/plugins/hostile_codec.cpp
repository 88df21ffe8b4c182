// A codec plug-in library for tests that misbehaves on command. It exports
// the functions the control binds from the codec plug-in and claims files
// that start with "HOSTILE " as PSD and JPEG files as JPEG. Loading one runs
// the word after "HOSTILE " (a JPEG always runs CRASH):
//   PICTURE  a 2 x 2 picture: red, green / blue, white (top row first)
//   CRASH    writes through a null pointer
//   HANG     loops without end
//   OPEN     opens a file by name
//   EXEC     starts a program
//   SOCKET   makes a network socket
//   FORK     starts a process (clone without sharing its thread group)
//   SIGNAL   sets a handler of a signal the C library does not keep
//   GARBAGE  sends bytes that are no reply on the worker's socket
//   FORGE    sends a well-formed picture reply whose file is not sealed
//   HOG      allocates memory without end
// OPEN, EXEC, SOCKET, FORK and SIGNAL return no bitmap when the system lets
// them through.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/kernel/messages.h"

namespace {

using fi_handle = void*;
struct Io {
    unsigned (*read)(void*, unsigned, unsigned, fi_handle);
    unsigned (*write)(void*, unsigned, unsigned, fi_handle);
    int (*seek)(fi_handle, long, int);
    long (*tell)(fi_handle);
};

constexpr int kJpeg = 2;
constexpr int kPsd = 20;
constexpr int kWorkerSocket = 3;

struct Bitmap {
    unsigned width = 2, height = 2, pitch = 8;
    // Bottom-up rows of blue, green, red bytes.
    uint8_t bits[16] = {255, 0, 0, 255, 255, 255, 0, 0, /* bottom: blue, white */
                        0, 0, 255, 0, 255, 0, 0, 0 /* top: red, green */};
};

std::string headOf(Io* io, fi_handle handle) {
    char head[16] = {};
    io->seek(handle, 0, SEEK_SET);
    const unsigned n = io->read(head, 1, sizeof head, handle);
    io->seek(handle, 0, SEEK_SET);
    return std::string(head, n);
}

std::string commandOf(const std::string& head) {
    if (head.rfind("HOSTILE ", 0) != 0) return "CRASH";
    std::string word = head.substr(8);
    const size_t end = word.find_first_of(" \n");
    return end == std::string::npos ? word : word.substr(0, end);
}

void sendForgedPicture() {
    const int fd = memfd_create("forged", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, 65536) != 0) return;
    // A reply record: magic, answer 1 (picture), status, value, container,
    // pixels (64 bits), empty text.
    const uint32_t reply[8] = {0x4F525031, 1, 0, 0, 0, 0, 0, 0};
    orrery::kernel::sendMessage(kWorkerSocket, std::span(reinterpret_cast<const uint8_t*>(reply), sizeof reply), fd);
}

Bitmap* run(const std::string& command) {
    if (command == "CRASH") {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    } else if (command == "HANG") {
        volatile unsigned long spin = 0;
        for (;;) spin = static_cast<unsigned long>(spin) + 1;
    } else if (command == "OPEN") {
        const int fd = open("/etc/hostname", O_RDONLY);
        if (fd >= 0) close(fd);
        return nullptr;
    } else if (command == "EXEC") {
        char* argv[] = {const_cast<char*>("true"), nullptr};
        execv("/bin/true", argv);
        return nullptr;
    } else if (command == "FORK") {
        const pid_t child = fork();
        if (child == 0) _exit(0);
        if (child > 0) waitpid(child, nullptr, 0);
        return nullptr;
    } else if (command == "SIGNAL") {
        struct sigaction action {};
        action.sa_handler = SIG_IGN;
        sigaction(SIGUSR1, &action, nullptr);
        return nullptr;
    } else if (command == "SOCKET") {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd >= 0) close(fd);
        return nullptr;
    } else if (command == "GARBAGE") {
        const char junk[] = "this is no reply";
        send(kWorkerSocket, junk, sizeof junk, MSG_NOSIGNAL);
    } else if (command == "FORGE") {
        sendForgedPicture();
    } else if (command == "HOG") {
        std::vector<void*> blocks;
        for (;;) {
            void* p = std::malloc(size_t{64} << 20);
            if (!p) break;
            std::memset(p, 1, size_t{64} << 20);
            blocks.push_back(p);
        }
        for (void* p : blocks) std::free(p);
        return nullptr;
    } else if (command != "PICTURE") {
        return nullptr;
    }
    return new Bitmap;
}

Bitmap* bmp(void* b) { return static_cast<Bitmap*>(b); }

}  // namespace

extern "C" {

__attribute__((visibility("default"))) const char* FreeImage_GetVersion() { return "9.1.0"; }

__attribute__((visibility("default"))) int FreeImage_GetFileTypeFromHandle(Io* io, fi_handle handle, int) {
    const std::string head = headOf(io, handle);
    if (head.rfind("HOSTILE ", 0) == 0) return kPsd;
    if (head.size() >= 2 && uint8_t(head[0]) == 0xFF && uint8_t(head[1]) == 0xD8) return kJpeg;
    return -1;
}

__attribute__((visibility("default"))) int FreeImage_GetFIFFromFilename(const char*) { return -1; }

__attribute__((visibility("default"))) void* FreeImage_LoadFromHandle(int, Io* io, fi_handle handle, int) {
    return run(commandOf(headOf(io, handle)));
}

__attribute__((visibility("default"))) void FreeImage_Unload(void* b) { delete bmp(b); }
__attribute__((visibility("default"))) unsigned FreeImage_GetWidth(void* b) { return bmp(b)->width; }
__attribute__((visibility("default"))) unsigned FreeImage_GetHeight(void* b) { return bmp(b)->height; }
__attribute__((visibility("default"))) unsigned FreeImage_GetPitch(void* b) { return bmp(b)->pitch; }
__attribute__((visibility("default"))) uint8_t* FreeImage_GetBits(void* b) { return bmp(b)->bits; }
__attribute__((visibility("default"))) unsigned FreeImage_GetBPP(void*) { return 24; }
__attribute__((visibility("default"))) int FreeImage_GetImageType(void*) { return 1; }
__attribute__((visibility("default"))) int FreeImage_GetColorType(void*) { return 2; }
__attribute__((visibility("default"))) unsigned FreeImage_GetDotsPerMeterX(void*) { return 3780; }
__attribute__((visibility("default"))) unsigned FreeImage_GetDotsPerMeterY(void*) { return 3780; }

}  // extern "C"
