// orrery-view as a person runs it: the real program in a process of its own
// on the tests' X server, driven by keys the X server itself delivers
// (XTest), and read back from the screen. It opens the file its command line
// names, goes to the next file of the folder, shows it at 100 % and zooms in,
// and quits from the keyboard with exit code 0 and nothing on standard error
// from the sanitizers (a leak there fails the run).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/dib_builder.h"
#include "support/test_support.h"
#include "support/tool_runner.h"

// Xlib's macros (Status, None, Bool, ...) stay out of every header above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

extern char** environ;

namespace orrery::test {
namespace {

constexpr int kPictureWidth = 160, kPictureHeight = 120;
constexpr unsigned long kFirstColour = 0xC4125A;  // 0xRRGGBB, colours no part of the window uses
constexpr unsigned long kSecondColour = 0x12C45A;
// A sanitized viewer starts slowly.
constexpr int kStartTimeoutMs = 30000;
constexpr int kStepTimeoutMs = 10000;

void writeSolidBmp(const std::filesystem::path& path, unsigned long rgb) {
    DibLayout layout;
    layout.width = kPictureWidth;
    layout.height = kPictureHeight;
    layout.bitCount = 24;
    const uint32_t stride = dibStride(kPictureWidth, 24);
    layout.bits.assign(size_t{stride} * kPictureHeight, 0);
    for (int y = 0; y < kPictureHeight; ++y)
        for (int x = 0; x < kPictureWidth; ++x) {
            uint8_t* p = layout.bits.data() + size_t{stride} * y + size_t(x) * 3;
            p[0] = static_cast<uint8_t>(rgb);
            p[1] = static_cast<uint8_t>(rgb >> 8);
            p[2] = static_cast<uint8_t>(rgb >> 16);
        }
    writeFile(path, bmpFile(layout));
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// The viewer's process: started with a configuration folder of its own (its
// settings go there) and its standard error kept in a file.
class ViewerProcess {
public:
    ViewerProcess(const std::filesystem::path& folder, const std::vector<std::string>& args)
        : errors_(folder / "viewer-errors.txt") {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::string(*e).rfind("XDG_CONFIG_HOME=", 0) != 0) env.emplace_back(*e);
        env.push_back("XDG_CONFIG_HOME=" + (folder / "config").string());
        std::vector<std::string> words{ORRERY_VIEW_PATH};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv, envp;
        for (std::string& w : words) argv.push_back(w.data());
        for (std::string& e : env) envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, errors_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ViewerProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool started() const { return pid_ > 0; }
    // The exit code once the process ended by itself within the time; -1
    // when it did not end, or ended by a signal.
    int waitForExit(int timeoutMs) {
        int status = 0;
        const bool ended = waitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeoutMs);
        if (!ended) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string errors() const { return readText(errors_); }

private:
    std::filesystem::path errors_;
    pid_t pid_ = -1;
};

// The X server as a person at the keyboard sees it.
class Desk {
public:
    Desk() : display_(XOpenDisplay(nullptr)) {}
    ~Desk() {
        if (display_) XCloseDisplay(display_);
    }
    bool open() const { return display_ != nullptr; }
    bool hasXTest() const {
        int event, error, major, minor;
        return XTestQueryExtension(display_, &event, &error, &major, &minor);
    }

    // The top-level window whose title is `title`, or 0.
    Window windowTitled(const std::string& title) {
        Window root = DefaultRootWindow(display_), parent = 0, *children = nullptr, found = 0;
        unsigned int count = 0;
        if (!XQueryTree(display_, root, &root, &parent, &children, &count)) return 0;
        for (unsigned int i = 0; i < count && !found; ++i)
            if (titleOf(children[i]) == title) found = children[i];
        if (children) XFree(children);
        return found;
    }

    // Gives the window the keyboard and puts the pointer in its middle, as a
    // window manager and a person would.
    void focus(Window window) {
        XWindowAttributes a;
        XGetWindowAttributes(display_, window, &a);
        XRaiseWindow(display_, window);
        XSetInputFocus(display_, window, RevertToPointerRoot, CurrentTime);
        XTestFakeMotionEvent(display_, DefaultScreen(display_), a.x + a.width / 2, a.y + a.height / 2, CurrentTime);
        XSync(display_, False);
    }

    void press(KeySym key, KeySym modifier = 0) {
        const KeyCode modifierCode = modifier ? XKeysymToKeycode(display_, modifier) : 0;
        const KeyCode code = XKeysymToKeycode(display_, key);
        if (modifierCode) XTestFakeKeyEvent(display_, modifierCode, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, False, CurrentTime);
        if (modifierCode) XTestFakeKeyEvent(display_, modifierCode, False, CurrentTime);
        XSync(display_, False);
    }

    // How many pixels of the window show exactly `rgb`.
    long countPixels(Window window, unsigned long rgb) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(display_, window, &a) || a.map_state != IsViewable) return 0;
        XImage* image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(a.width),
                                  static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
        if (!image) return 0;
        long count = 0;
        for (int y = 0; y < image->height; ++y)
            for (int x = 0; x < image->width; ++x)
                if ((XGetPixel(image, x, y) & 0xFFFFFF) == rgb) ++count;
        XDestroyImage(image);
        return count;
    }

private:
    std::string titleOf(Window window) {
        const Atom netName = XInternAtom(display_, "_NET_WM_NAME", False);
        const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        std::string title;
        if (XGetWindowProperty(display_, window, netName, 0, 1024, False, utf8, &type, &format, &items, &after,
                               &data) == Success &&
            data) {
            title.assign(reinterpret_cast<const char*>(data), items);
            XFree(data);
        }
        return title;
    }

    Display* display_;
};

TEST(OrreryViewProcessTest, OpensStepsZoomsAndQuitsCleanly) {
    TempDir dir;
    writeSolidBmp(dir.file("a first.bmp"), kFirstColour);
    writeSolidBmp(dir.file("b second.bmp"), kSecondColour);
    Desk desk;
    ASSERT_TRUE(desk.open()) << "no X server at DISPLAY";
    ASSERT_TRUE(desk.hasXTest()) << "the X server lacks the XTEST extension";

    ViewerProcess viewer(dir.path(), {dir.file("a first.bmp").string()});
    ASSERT_TRUE(viewer.started());
    Window window = 0;
    ASSERT_TRUE(waitFor([&] { return (window = desk.windowTitled("a first.bmp - orrery-view")) != 0; },
                        kStartTimeoutMs))
        << viewer.errors();
    // The file of the command line shows, fitted.
    ASSERT_TRUE(waitFor([&] { return desk.countPixels(window, kFirstColour) > 0; }, kStepTimeoutMs));
    desk.focus(window);

    // Space: the next file of the folder.
    desk.press(XK_space);
    ASSERT_TRUE(waitFor([&] { return desk.windowTitled("b second.bmp - orrery-view") == window; }, kStepTimeoutMs));
    EXPECT_TRUE(waitFor([&] { return desk.countPixels(window, kSecondColour) > 0; }, kStepTimeoutMs));
    EXPECT_EQ(desk.countPixels(window, kFirstColour), 0);

    // 1: 100 %, one screen pixel per picture pixel; =: zoom in.
    desk.press(XK_1);
    EXPECT_TRUE(waitFor([&] { return desk.countPixels(window, kSecondColour) == kPictureWidth * kPictureHeight; },
                        kStepTimeoutMs))
        << desk.countPixels(window, kSecondColour) << " pixels of the picture";
    desk.press(XK_equal);
    EXPECT_TRUE(waitFor([&] { return desk.countPixels(window, kSecondColour) > kPictureWidth * kPictureHeight * 11 / 10; },
                        kStepTimeoutMs))
        << desk.countPixels(window, kSecondColour) << " pixels of the picture";

    // Ctrl+Q quits.
    desk.press(XK_q, XK_Control_L);
    EXPECT_EQ(viewer.waitForExit(kStartTimeoutMs), 0) << viewer.errors();
    const std::string errors = viewer.errors();
    EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("runtime error"), std::string::npos) << errors;
    // It remembered where it was.
    EXPECT_NE(readText(dir.file("config/OrreryCtl/orrery-view.conf")).find("lastFolder"), std::string::npos);
}

}  // namespace
}  // namespace orrery::test
