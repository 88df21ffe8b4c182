#include "platform/kernel/files.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "support/test_support.h"

using namespace orrery::kernel;
namespace fs = std::filesystem;

namespace {

std::string base(const orrery::test::TempDir& dir) { return dir.path().string() + "/"; }

// Runs `body` in a child process and returns its exit code; the child leaves
// through exit(), so the exit hooks run as they would in a host.
template <typename Body>
int inChild(Body body) {
    const pid_t pid = fork();
    if (pid == 0) std::exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A bound Unix socket at `path`; the descriptor is closed on scope exit.
struct BoundSocket {
    explicit BoundSocket(const std::string& path) : fd(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        bound = ::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    UniqueFd fd;
    bool bound = false;
};

}  // namespace

TEST(OpenRegularFile, OnlyRegularFilesOpenAndNothingBlocks) {
    orrery::test::TempDir dir;
    orrery::test::writeFile(dir.file("plain"), {1, 2, 3});
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    BoundSocket socket(dir.file("sock").string());
    ASSERT_TRUE(socket.bound);
    fs::create_symlink(dir.file("plain"), dir.file("link"));

    UniqueFd fd;
    EXPECT_EQ(openRegularFile(dir.file("plain").string(), fd), OpenError::None);
    ASSERT_TRUE(fd);
    char bytes[4] = {};
    EXPECT_EQ(::read(fd.get(), bytes, 4), 3);  // blocking mode again, from the start
    EXPECT_EQ(openRegularFile(dir.file("link").string(), fd), OpenError::None);

    // A FIFO with no writer would block a plain open forever.
    EXPECT_EQ(openRegularFile(dir.file("fifo").string(), fd), OpenError::NotRegular);
    EXPECT_FALSE(fd);
    EXPECT_EQ(openRegularFile(dir.file("sock").string(), fd), OpenError::NotRegular);
    EXPECT_EQ(openRegularFile(dir.path().string(), fd), OpenError::NotRegular);
    EXPECT_EQ(openRegularFile("/dev/zero", fd), OpenError::NotRegular);
    EXPECT_EQ(openRegularFile("/dev/null", fd), OpenError::NotRegular);
    EXPECT_EQ(openRegularFile(dir.file("missing").string(), fd), OpenError::NotFound);
    EXPECT_EQ(openRegularFile(dir.file("plain").string() + "/below", fd), OpenError::NotFound);
    EXPECT_EQ(openRegularFile(std::string(5000, 'a'), fd), OpenError::NotFound);
    EXPECT_EQ(openRegularFile("", fd), OpenError::NotFound);
}

TEST(CreateTempFile, NeverFollowsOrReusesAName) {
    orrery::test::TempDir dir;
    orrery::test::writeFile(dir.file("victim"), {7, 7});
    fs::create_symlink(dir.file("victim"), dir.file("planted"));
    fs::create_symlink(dir.file("nowhere"), dir.file("dangling"));

    EXPECT_FALSE(CreateTempFile(dir.file("planted").string()));
    EXPECT_FALSE(CreateTempFile(dir.file("dangling").string()));
    EXPECT_FALSE(fs::exists(dir.file("nowhere")));
    EXPECT_FALSE(writeTempFile(dir.file("planted").string(), std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(orrery::test::readFile(dir.file("victim")), (std::vector<uint8_t>{7, 7}));

    ASSERT_TRUE(writeTempFile(dir.file("new").string(), std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(writeTempFile(dir.file("new").string(), std::vector<uint8_t>{9}));
    EXPECT_EQ(orrery::test::readFile(dir.file("new")), (std::vector<uint8_t>{1, 2, 3}));
    struct stat st;
    ASSERT_EQ(::stat(dir.file("new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(CopyToTempFile, ReplacesItsOwnCopyAndRefusesSpecialSources) {
    orrery::test::TempDir dir;
    orrery::test::writeFile(dir.file("a"), {1, 2, 3});
    orrery::test::writeFile(dir.file("b"), {4, 5});
    const std::string copy = dir.file("copy").string();
    ASSERT_TRUE(copyToTempFile(dir.file("a").string(), copy));
    ASSERT_TRUE(copyToTempFile(dir.file("b").string(), copy));
    EXPECT_EQ(orrery::test::readFile(copy), (std::vector<uint8_t>{4, 5}));
    // Copying the copy onto itself keeps its bytes.
    ASSERT_TRUE(copyToTempFile(copy, copy));
    EXPECT_EQ(orrery::test::readFile(copy), (std::vector<uint8_t>{4, 5}));

    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(copyToTempFile(dir.file("fifo").string(), copy));
    EXPECT_FALSE(copyToTempFile("/dev/zero", copy));
    EXPECT_FALSE(copyToTempFile(dir.file("missing").string(), copy));
    EXPECT_TRUE(fs::exists(copy));  // a refused source leaves the earlier copy
}

TEST(PrivateTempFolder, OnePerProcessAndBaseOwnerOnly) {
    orrery::test::TempDir dir;
    const std::string folder = privateTempFolder(base(dir));
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.rfind(base(dir) + "orrery-", 0), 0u);
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(privateTempFolder(base(dir)), folder);
    struct stat st;
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A folder removed by a cleaner is made again.
    fs::remove_all(folder);
    const std::string again = privateTempFolder(base(dir));
    ASSERT_FALSE(again.empty());
    EXPECT_TRUE(fs::is_directory(again));

    EXPECT_EQ(privateTempFolder(dir.file("missing").string() + "/"), "");
}

TEST(PrivateTempFolder, ProcessesNeverShareAndEachRemovesItsOwnAtExit) {
    orrery::test::TempDir dir;
    const std::string mine = privateTempFolder(base(dir));
    ASSERT_TRUE(writeTempFile(mine + "1", std::vector<uint8_t>{1}));

    // Two other processes in the same temporary folder: each has a folder of
    // its own, leaves it behind at exit neither for itself nor for this one.
    for (int child = 0; child < 2; ++child) {
        const int code = inChild([&] {
            const std::string theirs = privateTempFolder(base(dir));
            if (theirs.empty() || theirs == mine) return 1;
            if (fs::exists(theirs + "1")) return 2;
            if (!writeTempFile(theirs + "1", std::vector<uint8_t>{2})) return 3;
            return 0;
        });
        EXPECT_EQ(code, 0) << "child " << child;
    }
    size_t folders = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) folders += entry.is_directory();
    EXPECT_EQ(folders, 1u);  // only this process's folder is left
    EXPECT_EQ(orrery::test::readFile(mine + "1"), (std::vector<uint8_t>{1}));
}

// A process killed before its exit hook leaves its folder; the next process
// to make a private folder there removes it. Folders of processes that still
// run, names without a process number, and links named like a dead
// process's folder (never followed) are left alone.
TEST(PrivateTempFolder, FoldersOfKilledProcessesAreRemovedByTheNext) {
    orrery::test::TempDir dir;
    orrery::test::TempDir elsewhere;
    ASSERT_TRUE(writeTempFile(elsewhere.file("kept").string(), std::vector<uint8_t>{7}));
    // A child that makes its folder and is killed while it waits.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t killed = fork();
    if (killed == 0) {
        const std::string folder = privateTempFolder(base(dir));
        writeTempFile(folder + "1", std::vector<uint8_t>{1});
        const char done = folder.empty() ? 'n' : 'y';
        if (::write(ready[1], &done, 1) != 1) _exit(1);
        for (;;) ::pause();
    }
    char done = 0;
    ASSERT_EQ(::read(ready[0], &done, 1), 1);
    EXPECT_EQ(done, 'y');
    ::close(ready[0]);
    ::close(ready[1]);
    ::kill(killed, SIGKILL);
    ::waitpid(killed, nullptr, 0);
    const std::string dead = "orrery-" + std::to_string(killed) + "-";
    const auto named = [&](const std::string& prefix) {
        size_t n = 0;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            n += entry.path().filename().string().rfind(prefix, 0) == 0;
        return n;
    };
    ASSERT_EQ(named(dead), 1u);
    // What is not to be removed: the folder of a process that runs (this
    // test's parent), one without a process number, a link to another
    // folder named as the dead process's.
    const fs::path live = dir.file("orrery-" + std::to_string(::getppid()) + "-abcdef");
    const fs::path unnamed = dir.file("orrery-abcdef");
    const fs::path link = dir.file(dead + "linked");
    fs::create_directory(live);
    fs::create_directory(unnamed);
    fs::create_directory_symlink(elsewhere.path(), link);

    const int code = inChild([&] { return privateTempFolder(base(dir)).empty() ? 1 : 0; });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(named(dead), 1u);  // the link alone
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::exists(elsewhere.file("kept")));
    EXPECT_TRUE(fs::is_directory(live));
    EXPECT_TRUE(fs::is_directory(unnamed));
}
