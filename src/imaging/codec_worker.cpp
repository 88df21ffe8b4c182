#include "imaging/codec_worker.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unordered_map>
#include <vector>

#include "imaging/image_table.h"
#include "imaging/plugin_api.h"
#include "imaging/worker_wire.h"
#include "platform/gdiplus/pixel_data.h"
#include "platform/kernel/memory_file.h"
#include "platform/kernel/messages.h"

extern char** environ;

namespace orrery::imaging {

namespace {

constexpr const char* kWorkerName = "orrery-codec-worker";
// The descriptor on which the worker finds its end of the socket.
constexpr int kWorkerSocketFd = 3;
constexpr size_t kLogLimit = 16384;
constexpr int32_t kNoBitmap = static_cast<int32_t>(gdiplus::Status::OutOfMemory);

// What a call about a file may take (see workerCallDeadline): the plug-in
// decodes compressed data at tens of megabytes and pictures at tens of
// millions of pixels per second; these allow ten times less, so a busy
// machine still finishes ordinary files, while a file under 1 MB with a
// picture of a few megapixels ends within about two seconds however it is
// made (scan bombs, endless run lengths).
constexpr std::chrono::milliseconds kDeadlineBase{1000};
constexpr double kNanosecondsPerByte = 500;
constexpr double kNanosecondsPerPixel = 50;
#if defined(__SANITIZE_ADDRESS__)
constexpr double kSlowdown = 4;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr double kSlowdown = 4;
#else
constexpr double kSlowdown = 1;
#endif
#else
constexpr double kSlowdown = 1;
#endif

// A handle of this process standing for something of the worker's.
struct WorkerHandle {
    virtual ~WorkerHandle() = default;
};

// The process and its end of the socket.
struct Worker {
    pid_t pid = -1;
    kernel::UniqueFd socket;
    kernel::UniqueFd errors;  // read end of the worker's standard error
    uint64_t generation = 0;  // 0 before the first start
    std::string version;
    pid_t owner = 0;  // the process that started it (a forked child is not)
};

struct State {
    bool sandboxRead = false;
    bool sandboxed = true;
    Worker worker;
    int starts = 0;
    bool exitHookSet = false;
    bool unconfinedNoted = false;
    std::chrono::milliseconds testingDeadline{0};  // replaces every deadline when positive
    std::string log;
    std::unordered_map<PluginHandle, std::unique_ptr<WorkerHandle>> handles;
};

// Never destroyed: a container's handle released at exit still calls into
// it.
State& state() {
    static State* s = new State;
    return *s;
}

void note(const std::string& text) {
    std::string& log = state().log;
    log += text;
    if (log.size() > kLogLimit) log.erase(0, log.size() - kLogLimit);
}

void drainErrors() {
    Worker& w = state().worker;
    if (!w.errors) return;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(w.errors.get(), buffer, sizeof buffer)) > 0) note(std::string(buffer, static_cast<size_t>(n)));
}

// The worker named by ORRERY_CODEC_WORKER; else, when this code is in a
// shared library, the one beside it or where an installation puts programs
// relative to the library folder (ORRERY_CODEC_WORKER_FROM_LIBRARY, such as
// "../bin"); else the one beside the program; else the build tree's, then
// the installed one (for programs that link the static library).
std::string workerPath() {
    if (const char* env = std::getenv("ORRERY_CODEC_WORKER"); env && *env) return env;
    std::vector<std::filesystem::path> candidates;
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&workerPath), &info) != 0 && info.dli_fname && info.dli_fname[0] == '/') {
        const std::filesystem::path library(info.dli_fname);
        if (ec || !std::filesystem::equivalent(library, self, ec)) {
            candidates.push_back(library.parent_path() / kWorkerName);
#ifdef ORRERY_CODEC_WORKER_FROM_LIBRARY
            candidates.push_back(library.parent_path() / ORRERY_CODEC_WORKER_FROM_LIBRARY / kWorkerName);
#endif
        }
    }
    if (!self.empty()) candidates.push_back(self.parent_path() / kWorkerName);
#ifdef ORRERY_CODEC_WORKER_BUILD_PATH
    candidates.emplace_back(ORRERY_CODEC_WORKER_BUILD_PATH);
#endif
#ifdef ORRERY_CODEC_WORKER_INSTALL_PATH
    candidates.emplace_back(ORRERY_CODEC_WORKER_INSTALL_PATH);
#endif
    for (const std::filesystem::path& candidate : candidates)
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.lexically_normal().string();
    return {};
}

void endWorker(const char* why) {
    Worker& w = state().worker;
    if (w.pid > 0) {
        ::kill(w.pid, SIGKILL);
        int status = 0;
        while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
        }
        drainErrors();
        if (why) {
            std::string how = WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                                  : "exit " + std::to_string(WEXITSTATUS(status));
            note(std::string("codec worker ended: ") + why + " (" + how + ")\n");
        }
    }
    w.pid = -1;
    w.socket.reset();
    w.errors.reset();
    w.version.clear();
}

// At exit the worker is told to end (its socket closes) and reaped; one that
// has not ended within a short while is killed. A forked child that exits
// leaves its parent's worker alone.
constexpr std::chrono::milliseconds kExitWait{500};

void endWorkerAtExit() {
    Worker& w = state().worker;
    if (w.pid <= 0 || w.owner != ::getpid()) return;
    w.socket.reset();
    const auto until = std::chrono::steady_clock::now() + kExitWait;
    while (std::chrono::steady_clock::now() < until) {
        const pid_t done = ::waitpid(w.pid, nullptr, WNOHANG);
        if (done == w.pid || (done < 0 && errno != EINTR)) {
            w.pid = -1;
            return;
        }
        ::usleep(2000);
    }
    endWorker(nullptr);
}

// A descriptor above the standard three and the worker's socket, so that
// placing it at its number in the child is always a real duplication.
kernel::UniqueFd above(kernel::UniqueFd fd) {
    return kernel::UniqueFd(::fcntl(fd.get(), F_DUPFD_CLOEXEC, kWorkerSocketFd + 1));
}

bool call(const wire::Request& request, int fd, wire::Reply& reply, kernel::UniqueFd& attached,
          std::chrono::milliseconds limit = kWorkerCallDeadline);

bool startWorker() {
    State& s = state();
    const std::string path = workerPath();
    if (path.empty()) return false;
    kernel::UniqueFd host, child;
    if (!kernel::makeMessagePair(host, child)) return false;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    kernel::UniqueFd errorsRead(pipeFds[0]);
    kernel::UniqueFd errorsWrite = above(kernel::UniqueFd(pipeFds[1]));
    child = above(std::move(child));
    if (!child || !errorsWrite) return false;

    // Nothing of the host's terminal or output: standard input and output
    // are /dev/null, standard error the pipe to the host's log. Signals
    // start unblocked and with their default actions.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errorsWrite.get(), 2);
    posix_spawn_file_actions_adddup2(&actions, child.get(), kWorkerSocketFd);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t unblocked, all;
    sigemptyset(&unblocked);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &unblocked);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    // The host's process number, against which the worker checks that its
    // host is still there once it has asked to die with it.
    std::string parent = std::to_string(::getpid());
    char* argv[] = {const_cast<char*>(kWorkerName), parent.data(), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    // The worker's ends stay only in the worker: a worker that dies before
    // its first answer then shows as a closed socket at once, not at the
    // end of the deadline.
    child.reset();
    errorsWrite.reset();
    if (rc != 0) {
        note("codec worker could not be started from " + path + "\n");
        return false;
    }
    ++s.starts;
    if (!s.exitHookSet) {
        s.exitHookSet = true;
        std::atexit(endWorkerAtExit);
    }
    s.worker.pid = pid;
    s.worker.owner = ::getpid();
    s.worker.socket = std::move(host);
    s.worker.errors = std::move(errorsRead);
    s.worker.generation = static_cast<uint64_t>(s.starts);

    wire::Request hello;
    hello.op = wire::Op::Version;
    wire::Reply reply;
    kernel::UniqueFd none;
    if (!call(hello, -1, reply, none) || reply.answer != wire::Answer::Version) return false;
    s.worker.version = reply.text.empty() ? "Undefined" : reply.text;
    if (reply.value != 1 && !s.unconfinedNoted) {
        s.unconfinedNoted = true;
        note("codec worker runs without its system-call filter (seccomp unavailable)\n");
    }
    return true;
}

bool ensureWorker() {
    if (state().worker.pid > 0) return true;
    return startWorker();
}

// One request and its reply within `limit`. Any failure ends the worker: it
// may be in any state, and the next call starts a new one.
bool call(const wire::Request& request, int fd, wire::Reply& reply, kernel::UniqueFd& attached,
          std::chrono::milliseconds limit) {
    State& s = state();
    Worker& w = s.worker;
    attached.reset();
    if (w.pid <= 0) return false;
    const std::vector<uint8_t> bytes = wire::encode(request);
    if (!kernel::sendMessage(w.socket.get(), bytes, fd)) {
        endWorker("the request could not be sent");
        return false;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + (s.testingDeadline.count() > 0 ? s.testingDeadline : limit);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{w.socket.get(), POLLIN, 0};
        const int ready = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            endWorker("the call passed its deadline");
            return false;
        }
        break;
    }
    std::vector<uint8_t> in;
    const kernel::Received r = kernel::receiveMessage(w.socket.get(), wire::kMaxMessageBytes, in, attached);
    drainErrors();
    if (r != kernel::Received::Message || !wire::decode(in, reply)) {
        attached.reset();
        endWorker(r == kernel::Received::Closed ? "the worker died" : "the reply broke the protocol");
        return false;
    }
    return true;
}

bool callStarted(const wire::Request& request, int fd, wire::Reply& reply, kernel::UniqueFd& attached,
                 std::chrono::milliseconds limit = kWorkerCallDeadline) {
    return ensureWorker() && call(request, fd, reply, attached, limit);
}

uint64_t fileBytes(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// A picture the worker decoded. Its pixels are a read-only mapping that the
// image's pixels hold: once the image has pixels of its own (after a
// rotation, say), the mapping goes.
struct WorkerPixels : WorkerHandle {};

// A container open in the worker, with the file to open it again from.
struct WorkerContainer : WorkerHandle {
    uint64_t generation = 0;
    uint32_t number = 0;
    bool useIcm = false;
    int pages = 0;
    kernel::UniqueFd file;

    ~WorkerContainer() override {
        if (generation != state().worker.generation || state().worker.pid <= 0) return;
        wire::Request close;
        close.op = wire::Op::Close;
        close.container = number;
        wire::Reply reply;
        kernel::UniqueFd none;
        call(close, -1, reply, none);
    }
};

PluginHandle registerHandle(std::unique_ptr<WorkerHandle> handle) {
    PluginHandle key = handle.get();
    state().handles.emplace(key, std::move(handle));
    return key;
}

wire::Request requestFor(wire::Op op) {
    wire::Request r;
    r.op = op;
    r.allocationLimit = gdiplus::pixelAllocationLimit();
    return r;
}

// An entry for the picture file `file`; false when the file is not a sealed
// memory file holding a well-formed picture.
bool addPicture(kernel::UniqueFd file, int32_t& id) {
    auto mapping = std::make_shared<kernel::SealedMapping>();
    wire::Picture p;
    if (!file || !mapping->map(file.get()) || !wire::readPicture(mapping->data(), mapping->size(), p)) return false;
    const uint8_t* scan0 = mapping->data() + p.pixelOffset;
    gdiplus::PixelData data = gdiplus::PixelData::wrapReadOnly(scan0, p.width, p.height,
                                                                static_cast<ptrdiff_t>(p.stride), p.format,
                                                                std::move(mapping));
    std::unique_ptr<gdiplus::Image> image = gdiplus::Image::fromPixels(std::move(data), std::move(p.palette));
    for (const gdiplus::PropertyItem& item : p.properties) image->setPropertyItem(item);
    if (p.dpiX > 0 && p.dpiY > 0) image->setResolution(p.dpiX, p.dpiY);
    modMain::AddImage(id, std::move(image), p.formatName, std::string(), SourcePluginBitmap);
    modMain::AttachPluginBitmap(id, registerHandle(std::make_unique<WorkerPixels>()));
    if (ImageEntry* e = modMain::FindEntry(id)) e->PluginMetadata = std::move(p.iptc);
    if (p.modified) modMain::MarkImageModified(id);
    return true;
}

// Opens the container's file in the current worker.
bool openContainer(WorkerContainer& c) {
    wire::Request load = requestFor(wire::Op::Load);
    load.format = PluginFormat::TIFF;
    load.useIcm = c.useIcm;
    wire::Reply reply;
    kernel::UniqueFd none;
    if (!callStarted(load, c.file.get(), reply, none) || reply.answer != wire::Answer::Container ||
        reply.value != c.pages)
        return false;
    c.generation = state().worker.generation;
    c.number = reply.container;
    return true;
}

}  // namespace

bool codecSandboxEnabled() {
    State& s = state();
    if (!s.sandboxRead) {
        const char* env = std::getenv("ORRERY_CODEC_SANDBOX");
        s.sandboxed = !(env && std::string(env) == "0");
        s.sandboxRead = true;
    }
    return s.sandboxed;
}

std::string workerPluginVersion() { return ensureWorker() ? state().worker.version : "Undefined"; }

std::chrono::milliseconds workerCallDeadline(uint64_t fileBytes, uint64_t pixels, bool withPixels) {
    if (withPixels && pixels == 0) return kWorkerCallDeadline;
    const double nanoseconds = static_cast<double>(kDeadlineBase.count()) * 1e6 +
                               static_cast<double>(fileBytes) * kNanosecondsPerByte +
                               (withPixels ? static_cast<double>(pixels) * kNanosecondsPerPixel : 0);
    const double milliseconds = nanoseconds * kSlowdown / 1e6;
    const double cap = static_cast<double>(kWorkerCallDeadline.count());
    return std::chrono::milliseconds(static_cast<int64_t>(milliseconds < cap ? milliseconds : cap));
}

int32_t workerSave(int pictureFd, int outFd, int format, uint64_t pixels) {
    constexpr int32_t kFailed = static_cast<int32_t>(gdiplus::Status::GenericError);
    wire::Reply reply;
    kernel::UniqueFd none;
    if (!callStarted(requestFor(wire::Op::SaveTarget), outFd, reply, none) || reply.answer != wire::Answer::Status ||
        reply.status != 0)
        return kFailed;
    wire::Request save = requestFor(wire::Op::Save);
    save.format = format;
    if (!call(save, pictureFd, reply, none, workerCallDeadline(0, pixels, true)) ||
        reply.answer != wire::Answer::Status)
        return kFailed;
    return reply.status;
}

int workerDetectFormat(int fd, const std::string& path, uint64_t& pixels) {
    pixels = 0;
    wire::Request detect = requestFor(wire::Op::Detect);
    detect.path = path;
    wire::Reply reply;
    kernel::UniqueFd none;
    if (!callStarted(detect, fd, reply, none, workerCallDeadline(fileBytes(fd), 0, false)) ||
        reply.answer != wire::Answer::Format)
        return PluginFormat::Unknown;
    pixels = reply.pixels;
    return reply.value;
}

int32_t workerLoad(int fd, int format, bool useIcm, uint64_t pixels, int32_t& id, PluginContainer& container) {
    id = 0;
    container = {};
    wire::Request load = requestFor(wire::Op::Load);
    load.format = format;
    load.useIcm = useIcm;
    wire::Reply reply;
    kernel::UniqueFd picture;
    if (!callStarted(load, fd, reply, picture, workerCallDeadline(fileBytes(fd), pixels, true))) return kNoBitmap;
    switch (reply.answer) {
        case wire::Answer::Status:
            return reply.status != 0 ? reply.status : kNoBitmap;
        case wire::Answer::Picture:
            if (addPicture(std::move(picture), id)) return 0;
            endWorker("the picture broke the protocol");
            return kNoBitmap;
        case wire::Answer::Container: {
            auto c = std::make_unique<WorkerContainer>();
            c->generation = state().worker.generation;
            c->number = reply.container;
            c->useIcm = useIcm;
            c->pages = reply.value;
            c->file = kernel::UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
            PluginHandle file = plugin::OpenFileDescriptor(fd);
            if (reply.value < 2 || !c->file || !file) {
                plugin::CloseFileHandle(file);
                return kNoBitmap;
            }
            container = {registerHandle(std::move(c)), file, reply.value};
            return 0;
        }
        default:
            endWorker("the reply broke the protocol");
            return kNoBitmap;
    }
}

int32_t workerLoadPage(PluginHandle handle, int32_t index, int32_t& childId) {
    childId = 0;
    auto found = state().handles.find(handle);
    auto* c = found == state().handles.end() ? nullptr : dynamic_cast<WorkerContainer*>(found->second.get());
    if (!c) return static_cast<int32_t>(gdiplus::Status::GenericError);
    if (c->generation != state().worker.generation || state().worker.pid <= 0) {
        if (!openContainer(*c)) return 0;
    }
    wire::Request page = requestFor(wire::Op::Page);
    page.container = c->number;
    page.index = index;
    wire::Reply reply;
    kernel::UniqueFd picture;
    if (!callStarted(page, -1, reply, picture)) return 0;
    if (reply.answer == wire::Answer::Status) return reply.status;
    if (reply.answer != wire::Answer::Picture || !addPicture(std::move(picture), childId)) {
        endWorker("the page broke the protocol");
        return 0;
    }
    return 0;
}

bool isWorkerHandle(PluginHandle handle) { return handle && state().handles.count(handle) != 0; }

bool releaseWorkerHandle(PluginHandle handle) {
    if (!handle) return false;
    auto found = state().handles.find(handle);
    if (found == state().handles.end()) return false;
    // Out of the table first: a container's close is a call of its own.
    std::unique_ptr<WorkerHandle> owned = std::move(found->second);
    state().handles.erase(found);
    return true;
}

void setWorkerCallDeadlineForTesting(std::chrono::milliseconds deadline) {
    state().testingDeadline = deadline.count() > 0 ? deadline : std::chrono::milliseconds(0);
}

void stopCodecWorker() {
    endWorker(nullptr);
    state().sandboxRead = false;
}

int codecWorkerStarts() { return state().starts; }

std::chrono::nanoseconds codecWorkerCpuTime() {
    clockid_t clock;
    timespec t{};
    if (state().worker.pid <= 0 || ::clock_getcpuclockid(state().worker.pid, &clock) != 0 ||
        ::clock_gettime(clock, &t) != 0)
        return std::chrono::nanoseconds(0);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

std::string codecWorkerLog() {
    drainErrors();
    return state().log;
}

}  // namespace orrery::imaging
