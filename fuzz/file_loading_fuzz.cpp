// The whole file-loading path with the codec plug-in in its worker process:
// arbitrary bytes in a file on a memory file system, named with one of the
// extensions the loaders look at (the first byte picks it), loaded as the
// control loads a file. Whatever the plug-in makes of them, the host gets a
// picture or a status: a crash, hang or garbage of the worker stays there.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "imaging/codec_worker.h"
#include "imaging/image_table.h"
#include "imaging/loaders.h"
#include "platform/gdiplus/pixel_data.h"

using namespace orrery;
using namespace orrery::imaging;

namespace {

const char* const kExtensions[] = {".jpg", ".tif", ".tga", ".psd", ".ico", ".pcx", ".png", ".dat"};

bool setUp() {
    gdiplus::setPixelAllocationLimit(64 << 20);
    // A worker that takes longer than this is ended; well below libFuzzer's
    // own time-out.
    setWorkerCallDeadlineForTesting(std::chrono::milliseconds(3000));
    return modMain::StartGdiPlus() && codecSandboxEnabled();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = setUp();
    if (!ready || size < 1) return 0;
    const std::string path = "/dev/shm/orrery-file-loading-" + std::to_string(::getpid()) +
                             kExtensions[data[0] % (sizeof kExtensions / sizeof kExtensions[0])];
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    const bool written = ::write(fd, data + 1, size - 1) == static_cast<ssize_t>(size - 1);
    ::close(fd);
    if (!written) std::abort();
    int32_t id = 0;
    const int32_t status = LoadImageFromFile(id, path);
    ::unlink(path.c_str());
    if (status == 0) {
        // A picture must be whole: its pixels readable from corner to corner.
        const gdiplus::Image* image = modMain::GetGdiImage(modMain::ResolveFrameImageId(id));
        if (image && image->width() > 0 && image->height() > 0) {
            gdiplus::ARGB c = 0;
            image->getPixel(image->width() - 1, image->height() - 1, c);
        }
        modMain::ReleaseImage(id);
    } else if (id != 0 || modMain::LiveEntryCount() != 0) {
        std::abort();  // a failed load leaves nothing behind
    }
    return 0;
}
