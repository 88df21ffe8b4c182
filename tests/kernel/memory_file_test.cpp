// Memory files and packet messages between processes: only sealed memory
// files are mapped, read-only; a message carries at most one descriptor and
// anything longer or fuller is refused whole, its descriptors closed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "platform/kernel/memory_file.h"
#include "platform/kernel/messages.h"
#include "support/test_support.h"

using namespace orrery::kernel;

namespace {

int openDescriptorCount() {
    int n = 0;
    for (int fd = 0; fd < 1024; ++fd)
        if (::fcntl(fd, F_GETFD) >= 0) ++n;
    return n;
}

TEST(MemoryFile, SealedFileMapsReadOnlyWithItsBytes) {
    // A 16-byte head, then 3000 rows of 3 bytes taken bottom row first
    // from a block with 4-byte rows, 1024 and more to a gathered write.
    std::vector<uint8_t> block(3000 * 4);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7);
    const uint8_t head[16] = {'h', 'e', 'a', 'd'};
    MemoryFileWriter writer;
    ASSERT_TRUE(writer.create(16 + 3000 * 3));
    ASSERT_TRUE(writer.write(0, head, sizeof head));
    ASSERT_TRUE(writer.writeRows(16, block.data() + 2999 * 4, -4, 3, 3000));
    // Nothing past the end.
    EXPECT_FALSE(writer.write(writer.size() - 2, head, 3));
    EXPECT_FALSE(writer.writeRows(17, block.data(), 4, 3, 3000));
    UniqueFd fd = writer.seal();
    ASSERT_TRUE(fd);
    // Sealed: neither writing nor resizing is possible any more.
    const uint8_t byte = 1;
    EXPECT_LT(::pwrite(fd.get(), &byte, 1, 0), 0);
    EXPECT_NE(::ftruncate(fd.get(), 10), 0);
    EXPECT_EQ(::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0), MAP_FAILED);

    SealedMapping mapping;
    ASSERT_TRUE(mapping.map(fd.get()));
    ASSERT_EQ(mapping.size(), 16u + 3000 * 3);
    EXPECT_EQ(std::memcmp(mapping.data(), head, sizeof head), 0);
    for (int row : {0, 1, 1500, 2999})
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(mapping.data()[16 + 3 * row + i], block[static_cast<size_t>(4 * (2999 - row) + i)]) << row;
    EXPECT_FALSE(mapping.map(fd.get())) << "a mapping maps once";
}

TEST(MemoryFile, FilesOthersCouldChangeAreRefused) {
    // A memory file without seals, one sealed only against shrinking, a
    // regular file, an empty sealed file.
    UniqueFd open(::memfd_create("open", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    ASSERT_EQ(::ftruncate(open.get(), 4096), 0);
    SealedMapping a;
    EXPECT_FALSE(a.map(open.get()));
    ASSERT_EQ(::fcntl(open.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW), 0);
    EXPECT_FALSE(a.map(open.get())) << "still writable";

    orrery::test::TempDir dir;
    orrery::test::writeFile(dir.file("plain"), std::vector<uint8_t>(100, 1));
    UniqueFd plain;
    ASSERT_EQ(openRegularFile(dir.file("plain").string(), plain), OpenError::None);
    SealedMapping b;
    EXPECT_FALSE(b.map(plain.get()));

    UniqueFd empty(::memfd_create("empty", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    ASSERT_EQ(::fcntl(empty.get(), F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_SHRINK | F_SEAL_GROW), 0);
    SealedMapping c;
    EXPECT_FALSE(c.map(empty.get()));
    EXPECT_FALSE(c.map(-1));
}

TEST(Messages, WholeMessagesWithOneDescriptor) {
    UniqueFd a, b;
    ASSERT_TRUE(makeMessagePair(a, b));
    const std::vector<uint8_t> first = {1, 2, 3}, second(5000, 9);
    UniqueFd memory(::memfd_create("passed", MFD_CLOEXEC));
    ASSERT_EQ(::ftruncate(memory.get(), 123), 0);
    ASSERT_TRUE(sendMessage(a.get(), first, memory.get()));
    ASSERT_TRUE(sendMessage(a.get(), second));
    std::vector<uint8_t> got;
    UniqueFd fd;
    ASSERT_EQ(receiveMessage(b.get(), 8192, got, fd), Received::Message);
    EXPECT_EQ(got, first);
    ASSERT_TRUE(fd);
    EXPECT_NE(fd.get(), memory.get());
    EXPECT_EQ(::lseek(fd.get(), 0, SEEK_END), 123) << "the same file arrives";
    EXPECT_EQ(::fcntl(fd.get(), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    ASSERT_EQ(receiveMessage(b.get(), 8192, got, fd), Received::Message);
    EXPECT_EQ(got, second);
    EXPECT_FALSE(fd);
    EXPECT_FALSE(sendMessage(a.get(), {})) << "empty messages are not sent";
    a.reset();
    EXPECT_EQ(receiveMessage(b.get(), 8192, got, fd), Received::Closed);
    EXPECT_FALSE(sendMessage(b.get(), first)) << "no peer, and no SIGPIPE";
}

TEST(Messages, OverlongOrOverfullMessagesAreRefusedAndTheirDescriptorsClosed) {
    UniqueFd a, b;
    ASSERT_TRUE(makeMessagePair(a, b));
    const int before = openDescriptorCount();
    // Longer than the receiver allows, with a descriptor.
    ASSERT_TRUE(sendMessage(a.get(), std::vector<uint8_t>(101, 1), 0));
    // Two descriptors in one message.
    const int two[2] = {0, 1};
    ASSERT_TRUE(sendMessage(a.get(), std::vector<uint8_t>{7}, std::span<const int>(two)));
    ASSERT_TRUE(sendMessage(a.get(), std::vector<uint8_t>(100, 2)));

    std::vector<uint8_t> got;
    UniqueFd fd;
    EXPECT_EQ(receiveMessage(b.get(), 100, got, fd), Received::Malformed);
    EXPECT_FALSE(fd);
    EXPECT_EQ(receiveMessage(b.get(), 100, got, fd), Received::Malformed);
    EXPECT_FALSE(fd);
    EXPECT_EQ(openDescriptorCount(), before) << "refused descriptors are closed";
    // The next message is intact.
    ASSERT_EQ(receiveMessage(b.get(), 100, got, fd), Received::Message);
    EXPECT_EQ(got, std::vector<uint8_t>(100, 2));
}

}  // namespace
