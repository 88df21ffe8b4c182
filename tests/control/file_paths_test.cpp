// The control's files as an attacker or a busy machine meets them: special
// files handed over as documents, links planted in the shared temporary
// folder, and several processes displaying through temporary copies at once.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "control/orrery.h"
#include "imaging/image_info.h"
#include "imaging/image_table.h"
#include "imaging/loaders.h"
#include "platform/gdiplus/factory.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/control_maker.h"
#include "support/test_support.h"

using namespace orrery;
namespace fs = std::filesystem;

namespace {

const bool kNoPlugin = [] { return setenv("ORRERY_CODEC_PLUGIN", "none", 1) == 0; }();
constexpr int32_t kFileNotFound = 10;

// A 16 x 8 PNG of one colour.
void writeSolid(const fs::path& path, gdiplus::ARGB color) {
    std::unique_ptr<gdiplus::Image> bitmap;
    ASSERT_EQ(gdiplus::createBitmapFromScan0(16, 8, 0, gdiplus::PixelFormat24bppRGB, nullptr, bitmap),
              gdiplus::Status::Ok);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) bitmap->setPixel(x, y, color);
    ASSERT_EQ(bitmap->save(path.string(), gdiplus::CodecClsid::PNG, {}), gdiplus::Status::Ok);
}

// The colour of the top-left pixel of the image a control displays.
gdiplus::ARGB displayedColor(const control::Orrery& c) {
    gdiplus::Image* image = imaging::modMain::GetGdiImage(c.GetNativeImage());
    gdiplus::ARGB color = 0;
    if (image) image->getPixel(0, 0, color);
    return color & 0xFFFFFF;
}

// Points the temporary folder of this process at `folder` while in scope.
class TempFolderAt {
public:
    explicit TempFolderAt(const fs::path& folder) {
        if (const char* old = std::getenv("tmp")) saved_ = old;
        setenv("tmp", folder.c_str(), 1);
    }
    ~TempFolderAt() {
        if (saved_.empty()) unsetenv("tmp");
        else setenv("tmp", saved_.c_str(), 1);
    }

private:
    std::string saved_;
};

class FilePaths : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kNoPlugin);
        control = test::makeControl(backend);
        control->InitProperties();
        control->setSilentMode(true);
    }
    void TearDown() override { control.reset(); }

    orrery::test::TempDir files;
    window::HeadlessBackend backend;
    std::unique_ptr<control::Orrery> control;
};

}  // namespace

TEST_F(FilePaths, SpecialFilesAreRefusedAtOnceAsUnreadable) {
    ASSERT_EQ(::mkfifo(files.file("fifo.png").c_str(), 0600), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, files.file("sock.png").c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    fs::create_directory(files.file("folder.png"));
    fs::create_symlink(files.file("fifo.png"), files.file("link-to-fifo.png"));

    control->setImageForceTemporaryMode(true);
    for (const std::string& path : {files.file("fifo.png").string(), files.file("sock.png").string(),
                                   files.file("folder.png").string(), files.file("link-to-fifo.png").string(),
                                   std::string("/dev/zero"), std::string("/dev/null")}) {
        EXPECT_EQ(control->DisplayFromFile(path), kFileNotFound) << path;
        EXPECT_EQ(control->GetStat(), kFileNotFound) << path;
        EXPECT_EQ(control->GetNativeImage(), 0) << path;
        int32_t id = 0;
        EXPECT_EQ(imaging::LoadImageFromFile(id, path), kFileNotFound) << path;
        EXPECT_EQ(imaging::LoadWithGdiPlus(id, path, false), static_cast<int32_t>(gdiplus::Status::AccessDenied))
            << path;
    }
    ::close(sock);
    EXPECT_EQ(imaging::modMain::LiveEntryCount(), 0u);
}

TEST_F(FilePaths, TemporaryCopiesIgnoreLinksPlantedInTheSharedFolder) {
    orrery::test::TempDir shared;
    TempFolderAt at(shared.path());
    control = test::makeControl(backend);  // temporary names come from the folder at start
    control->InitProperties();
    const std::string hwnd = std::to_string(control->controlWindow().hwnd());

    // Another user plants links where a control once wrote its copy.
    const fs::path victim = files.file("victim");
    orrery::test::writeFile(victim, {'k', 'e', 'e', 'p'});
    fs::create_symlink(victim, shared.file(hwnd));
    fs::create_symlink(victim, shared.file(hwnd + ".pdf"));

    const fs::path picture = files.file("red.png");
    writeSolid(picture, 0xFFFF0000);
    control->setImageForceTemporaryMode(true);
    ASSERT_EQ(control->DisplayFromFile(picture.string()), 0);
    EXPECT_EQ(displayedColor(*control), 0xFF0000u);
    EXPECT_EQ(orrery::test::readFile(victim), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_TRUE(fs::is_symlink(shared.file(hwnd)));

    // The copy lives in this process's own folder, readable by its owner only.
    const std::string copy = control->imageTempFile();
    EXPECT_EQ(copy, imaging::GetPrivateTempFolder() + hwnd);
    struct stat st;
    ASSERT_EQ(::stat(copy.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    fs::remove(picture);
    control->CloseImage();
    EXPECT_FALSE(fs::exists(copy));
}

TEST_F(FilePaths, ProcessesDisplayingThroughCopiesAtOnceSeeOnlyTheirOwnPictures) {
    orrery::test::TempDir shared;
    const gdiplus::ARGB colors[2] = {0xFFFF0000, 0xFF0000FF};
    for (int i = 0; i < 2; ++i) writeSolid(files.file(std::to_string(i) + ".png"), colors[i]);

    // Both children start from this process's state, so their controls get
    // the same window handle and would once have shared one copy's name.
    control.reset();
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
        children[i] = fork();
        if (children[i] != 0) continue;
        setenv("tmp", shared.path().c_str(), 1);
        int wrong = 0;
        {
            control::Orrery c(backend);
            c.InitProperties();
            c.setImageForceTemporaryMode(true);
            for (int round = 0; round < 300; ++round) {
                if (c.DisplayFromFile(files.file(std::to_string(i) + ".png").string()) != 0 ||
                    displayedColor(c) != (colors[i] & 0xFFFFFF))
                    ++wrong;
            }
        }
        std::exit(wrong == 0 ? 0 : 1);
    }
    for (int i = 0; i < 2; ++i) {
        int status = 0;
        waitpid(children[i], &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child " << i;
    }
    // Each child removed its private folder when it exited.
    EXPECT_TRUE(fs::is_empty(shared.path()));
}
