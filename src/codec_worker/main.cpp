// orrery-codec-worker: serves the codec plug-in's calls for one host process
// over the packet socket it finds on descriptor 3 (see imaging/codec_worker.h
// and imaging/worker_wire.h). It binds the plug-in, then confines itself, and
// from then on reads only descriptors the host sends; it never opens a file
// by name. Its pictures go back in sealed memory files. It ends when the host
// closes its end of the socket.
#include <fcntl.h>
#include <linux/close_range.h>
#include <malloc.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <map>

#include "codec_worker/confinement.h"
#include "imaging/codec_plugin.h"
#include "imaging/image_table.h"
#include "imaging/loaders.h"
#include "imaging/plugin_api.h"
#include "imaging/plugin_save.h"
#include "imaging/worker_wire.h"
#include "platform/gdiplus/pixel_data.h"
#include "platform/kernel/memory_file.h"
#include "platform/kernel/messages.h"

namespace {

using namespace orrery;
using namespace orrery::imaging;

constexpr int kSocket = 3;
constexpr int kKeptMemory = 512 << 20;

// Containers the host holds by number.
struct OpenContainer {
    PluginHandle multi = nullptr;
    PluginHandle file = nullptr;
};

struct Session {
    bool confined = false;
    uint32_t nextContainer = 1;
    std::map<uint32_t, OpenContainer> containers;
    // The file the next Save writes into, as the host made it.
    kernel::UniqueFd saveTarget;
};

wire::Reply statusReply(int32_t status) {
    wire::Reply r;
    r.answer = wire::Answer::Status;
    r.status = status;
    return r;
}

// The entry `id` as a picture file; the entry is released either way.
wire::Reply pictureReply(int32_t id, kernel::UniqueFd& file) {
    const ImageEntry* e = modMain::FindEntry(id);
    const gdiplus::Image* image = modMain::GetGdiImage(id);
    const bool written = e && image && wire::writePicture(*image, e->PluginMetadata, e->Modified, e->FormatName, file);
    modMain::ReleaseImage(id);
    if (!written) return statusReply(static_cast<int32_t>(gdiplus::Status::OutOfMemory));
    wire::Reply r;
    r.answer = wire::Answer::Picture;
    return r;
}

wire::Reply load(Session& session, const wire::Request& request, int fd, kernel::UniqueFd& file) {
    int32_t id = 0;
    PluginContainer container;
    const int32_t s = loadWithBoundPlugin(fd, request.format, request.useIcm, id, container);
    if (s != 0) return statusReply(s);
    if (!container.multi) return pictureReply(id, file);
    const uint32_t number = session.nextContainer++;
    session.containers[number] = {container.multi, container.file};
    wire::Reply r;
    r.answer = wire::Answer::Container;
    r.container = number;
    r.value = container.pages;
    return r;
}

wire::Reply page(Session& session, const wire::Request& request, kernel::UniqueFd& file) {
    const auto found = session.containers.find(request.container);
    if (found == session.containers.end()) return statusReply(static_cast<int32_t>(gdiplus::Status::GenericError));
    int32_t child = 0;
    const int32_t s = loadBoundPluginPage(found->second.multi, found->second.file, request.index, child);
    if (s != 0 || child == 0) return statusReply(s);
    return pictureReply(child, file);
}

wire::Reply close(Session& session, const wire::Request& request) {
    const auto found = session.containers.find(request.container);
    if (found != session.containers.end()) {
        plugin::CloseMultiBitmap(found->second.multi);
        plugin::CloseFileHandle(found->second.file);
        session.containers.erase(found);
    }
    return statusReply(0);
}

wire::Reply keepSaveTarget(Session& session, int fd) {
    session.saveTarget = kernel::UniqueFd(fd >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1);
    return statusReply(session.saveTarget ? 0 : static_cast<int32_t>(gdiplus::Status::InvalidParameter));
}

// Writes the picture file `fd` into the kept target, which is used once.
wire::Reply save(Session& session, const wire::Request& request, int fd) {
    kernel::UniqueFd target = std::move(session.saveTarget);
    kernel::SealedMapping mapping;
    wire::Picture picture;
    if (!target || fd < 0 || !mapping.map(fd) || !wire::readPicture(mapping.data(), mapping.size(), picture))
        return statusReply(static_cast<int32_t>(gdiplus::Status::GenericError));
    return statusReply(savePictureWithBoundPlugin(picture, mapping.data(), request.format, target.get()));
}

wire::Reply serve(Session& session, const wire::Request& request, int fd, kernel::UniqueFd& file) {
    if (request.allocationLimit > 0) gdiplus::setPixelAllocationLimit(request.allocationLimit);
    switch (request.op) {
        case wire::Op::Version: {
            wire::Reply r;
            r.answer = wire::Answer::Version;
            r.text = PluginVersion();
            r.value = session.confined ? 1 : 0;
            return r;
        }
        case wire::Op::Detect: {
            wire::Reply r;
            r.answer = wire::Answer::Format;
            r.value = fd >= 0 ? detectPluginFormat(fd, request.path) : PluginFormat::Unknown;
            r.pixels = fd >= 0 ? announcedPluginPixels(fd, r.value) : 0;
            return r;
        }
        case wire::Op::Load:
            if (fd < 0) return statusReply(static_cast<int32_t>(gdiplus::Status::InvalidParameter));
            return load(session, request, fd, file);
        case wire::Op::Page:
            return page(session, request, file);
        case wire::Op::Close:
            return close(session, request);
        case wire::Op::SaveTarget:
            return keepSaveTarget(session, fd);
        case wire::Op::Save:
            return save(session, request, fd);
    }
    return statusReply(static_cast<int32_t>(gdiplus::Status::InvalidParameter));
}

}  // namespace

int main(int argc, char** argv) {
    // The worker dies with its host: the system kills it when the host goes,
    // and a host that went before this line ran (its number, given as the
    // argument, is no longer the parent's) ends it here.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (argc < 2 || std::strtol(argv[1], nullptr, 10) != static_cast<long>(::getppid())) ::_exit(1);
    // Nothing of the host's but the socket and the standard descriptors.
    ::syscall(SYS_close_range, kSocket + 1, ~0U, 0);
    // This process is where the plug-in runs: it must not start a worker.
    ::setenv("ORRERY_CODEC_SANDBOX", "0", 1);
    worker::limitResources();
    // Pictures come one after the other: the memory of one (the plug-in's
    // bitmap of a 24-megapixel photo is 72 MB) is kept for the next instead
    // of being returned and faulted in again page by page.
    ::mallopt(M_MMAP_MAX, 0);
    ::mallopt(M_TRIM_THRESHOLD, kKeptMemory);
    // Binding opens the library and whatever it needs; after confinement
    // nothing can be opened any more.
    Session session;
    keepPluginRowsBottomUp(true);
    PluginVersion();
    // The time zone is read once here: the plug-in's date handling asks for
    // local time, and with TZ unset the C library looks at the zone file
    // again on every call. Named in TZ, the file is read once.
    if (!std::getenv("TZ")) ::setenv("TZ", ":/etc/localtime", 1);
    ::tzset();
    modMain::StartGdiPlus();
    session.confined = worker::confineSystemCalls(kSocket);
    if (!session.confined) std::fputs("orrery-codec-worker: system-call filter unavailable\n", stderr);

    std::vector<uint8_t> bytes;
    for (;;) {
        kernel::UniqueFd fd;
        const kernel::Received r = kernel::receiveMessage(kSocket, wire::kMaxMessageBytes, bytes, fd);
        if (r == kernel::Received::Closed || r == kernel::Received::Failed) break;
        wire::Request request;
        if (r != kernel::Received::Message || !wire::decode(bytes, request)) break;
        worker::allowCpuForOneCall();
        kernel::UniqueFd file;
        const wire::Reply reply = serve(session, request, fd.get(), file);
        if (!kernel::sendMessage(kSocket, wire::encode(reply), file ? file.get() : -1)) break;
    }
    // Straight out: no destructors or exit handlers of the plug-in, which may
    // be in any state, and no leak check of what it kept.
    ::_exit(0);
}
