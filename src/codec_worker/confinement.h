// What the codec worker may do once it has bound the plug-in: resource
// limits for its whole life and for each call, and a system-call filter that
// allows decoding and talking to the host, nothing else (no opening files,
// no new programs, no network, no new processes or threads).
#pragma once

namespace orrery::worker {

// Address space (kAddressSpaceLimit), no core files, few descriptors.
void limitResources();
// CPU time for the next call: kCallCpuSeconds more than used so far.
void allowCpuForOneCall();
// Sets no-new-privileges and installs the filter; a forbidden call kills
// the worker. False when the kernel or the library refuses the filter (the
// worker then runs with its resource limits alone).
bool confineSystemCalls(int socketFd);

}  // namespace orrery::worker
