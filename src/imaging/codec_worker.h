// The codec plug-in in a separate process, orrery-codec-worker: the host
// opens each file, hands the worker its descriptor and gets back pictures
// in sealed memory files that it maps read-only. A worker that dies, hangs
// past its deadline or breaks the protocol is ended and started again on the
// next need, and the call it was serving fails as the plug-in failing would
// (no format, no bitmap, no page).
//
// ORRERY_CODEC_SANDBOX=0 runs the plug-in in this process instead; any other
// value, or none, runs it in the worker. The worker is found through
// ORRERY_CODEC_WORKER (a path), beside the running program, or in the build
// tree it was built in.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>

#include "imaging/codec_plugin.h"
#include "imaging/loaders.h"

namespace orrery::imaging {

// True when plug-in calls go to the worker. Read from the environment once,
// and again by plug-in reloads for tests.
bool codecSandboxEnabled();

// The plug-in's version as the worker reports it; "Undefined" when no worker
// can be started or it binds no plug-in.
std::string workerPluginVersion();
// detectPluginFormat in the worker; -1 when the worker fails. `pixels` gets
// what the file's header announces (0 when unknown).
int workerDetectFormat(int fd, const std::string& path, uint64_t& pixels);
// loadWithBoundPlugin in the worker. A picture becomes an entry `id` whose
// image wraps the read-only mapping of the picture file; a container comes
// back with a handle of this process for its multi-page handle and a
// duplicate of `fd` as its file handle. When the worker fails the result is
// that of the plug-in giving no bitmap (OutOfMemory) and nothing is added.
// `pixels`, from workerDetectFormat, sets the call's deadline.
int32_t workerLoad(int fd, int format, bool useIcm, uint64_t pixels, int32_t& id, PluginContainer& container);
// Page `index` of a container that workerLoad opened, as a new entry; 0 and
// `childId` 0 when the worker cannot give it. A container whose worker was
// restarted is opened again from its file.
int32_t workerLoadPage(PluginHandle container, int32_t index, int32_t& childId);

// savePictureWithBoundPlugin in the worker: the picture file `pictureFd`
// written as `format` into `outFd`. GenericError (1) when the worker fails
// (crashes, passes the deadline `pixels` sets, breaks the protocol).
int32_t workerSave(int pictureFd, int outFd, int format, uint64_t pixels);

// Handles of this process that stand for the worker's resources (the
// mapping of a picture's pixels, an open container).
bool isWorkerHandle(PluginHandle handle);
// Releases such a handle and returns true; false for any other handle.
bool releaseWorkerHandle(PluginHandle handle);

// The longest time a call may take before its worker is ended.
inline constexpr std::chrono::milliseconds kWorkerCallDeadline{30000};
// The time a call about a file of `fileBytes` bytes may take: a base and an
// allowance per byte and per pixel its header announces, at most
// kWorkerCallDeadline (four times as much, within that, in sanitizer
// builds, whose code runs several times slower). With no pixel count known
// (`pixels` 0 and `withPixels`) the picture may be of any size: the whole
// kWorkerCallDeadline. Reading a header (`withPixels` false) needs no
// allowance for pixels.
std::chrono::milliseconds workerCallDeadline(uint64_t fileBytes, uint64_t pixels, bool withPixels);
// Tests set one deadline for every call; a zero or negative value restores
// the deadlines above.
void setWorkerCallDeadlineForTesting(std::chrono::milliseconds deadline);
// Ends the worker (if running) and reads ORRERY_CODEC_SANDBOX again; the
// next call starts a new worker. Handles of the old worker's containers stay
// valid and reopen on their next use.
void stopCodecWorker();
// Worker processes started by this process so far.
int codecWorkerStarts();
// CPU time the running worker has used so far (zero when none runs), for
// measuring what a call costs in both processes.
std::chrono::nanoseconds codecWorkerCpuTime();
// What the worker wrote on its standard error and what the host noted about
// it (restarts, a missing system-call filter), most recent last, bounded.
std::string codecWorkerLog();

}  // namespace orrery::imaging
