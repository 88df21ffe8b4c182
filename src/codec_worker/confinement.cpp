#include "codec_worker/confinement.h"

#include <fcntl.h>
#include <sched.h>
#include <seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstdint>
#include <initializer_list>

namespace orrery::worker {

namespace {

// The plug-in may use this much address space; the host refuses pictures
// above its own allocation limit (1 GiB) before the plug-in decodes them,
// so this stops only what the plug-in allocates beyond declared sizes.
constexpr rlim_t kAddressSpaceLimit = rlim_t{2} << 30;
// CPU seconds for one call; the host's wall-clock deadline (30 s) normally
// ends a call first.
constexpr rlim_t kCallCpuSeconds = 60;
constexpr rlim_t kDescriptorLimit = 64;

// The sanitizer runtime of checked builds reserves terabytes of shadow
// address space at start-up: an address-space limit would make every later
// allocation fail, so checked builds leave it out.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Argument `arg` of a call equals `value`.
scmp_arg_cmp argEquals(unsigned arg, scmp_datum_t value) { return scmp_arg_cmp{arg, SCMP_CMP_EQ, value, 0}; }

void setLimit(int resource, rlim_t value) {
    rlimit current{};
    if (getrlimit(resource, &current) != 0) return;
    rlimit wanted{value, value};
    if (current.rlim_max != RLIM_INFINITY && current.rlim_max < value) wanted = {current.rlim_max, current.rlim_max};
    setrlimit(resource, &wanted);
}

// Threads of the plug-in's own decoders (its WebP decoder filters rows on a
// second thread) and nothing else that clone could make: the C library's
// thread start passes these flags, and a call that adds any namespace or
// leaves out one of them (a new process, a process sharing memory but not
// signals, ...) is outside the filter. Threads inherit the filter.
constexpr scmp_datum_t kThreadFlags = CLONE_VM | CLONE_FS | CLONE_FILES | CLONE_SIGHAND | CLONE_THREAD;
constexpr scmp_datum_t kNamespaceFlags =
    CLONE_NEWNS | CLONE_NEWUTS | CLONE_NEWIPC | CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET | CLONE_NEWCGROUP;

bool allowThreads(scmp_filter_ctx filter) {
    bool ok = seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(clone), 1,
                               scmp_arg_cmp{0, SCMP_CMP_MASKED_EQ, kThreadFlags | kNamespaceFlags, kThreadFlags}) == 0;
    // clone3 takes its flags in memory, where a filter cannot look: it
    // answers "no such call", and the C library then starts the thread
    // through clone.
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0;
    // What a new thread does for itself (its robust-futex list, restartable
    // sequences) before it runs the plug-in's code; futex, mmap, mprotect
    // (stack guard pages) and madvise (a finished thread's stack) are
    // allowed above.
    for (int call : {SCMP_SYS(set_robust_list), SCMP_SYS(rseq)})
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) == 0;
    // The C library's two real-time signals for threads (cancellation, and
    // changing ids in every thread), the two below the SIGRTMIN programs
    // see, whose handlers it installs when it starts the first thread; no
    // other signal's handler may change.
    for (int signal : {__SIGRTMIN, __SIGRTMIN + 1})
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(rt_sigaction), 1,
                                    argEquals(0, static_cast<scmp_datum_t>(signal))) == 0;
    // The sanitizer runtime of checked builds reads a new thread's stack
    // bounds through pthread_getattr_np, which also asks for the thread's
    // CPU affinity; only those builds allow that query.
    if (kSanitized) ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(sched_getaffinity), 0) == 0;
    return ok;
}

}  // namespace

void limitResources() {
    if (!kSanitized) setLimit(RLIMIT_AS, kAddressSpaceLimit);
    setLimit(RLIMIT_CORE, 0);
    setLimit(RLIMIT_NOFILE, kDescriptorLimit);
}

void allowCpuForOneCall() {
    rusage used{};
    rlimit limit{};
    if (getrusage(RUSAGE_SELF, &used) != 0 || getrlimit(RLIMIT_CPU, &limit) != 0) return;
    const rlim_t spent = static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec) + 1;
    rlim_t soft = spent + kCallCpuSeconds;
    if (limit.rlim_max != RLIM_INFINITY && soft > limit.rlim_max) soft = limit.rlim_max;
    limit.rlim_cur = soft;
    setrlimit(RLIMIT_CPU, &limit);
}

bool confineSystemCalls(int socketFd) {
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (!filter) return false;
    bool ok = true;
    const auto allow = [&](int call) { ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) == 0; };
    // Memory (and how much there is: libtiff asks), time, signals for
    // ending itself, exit.
    for (int call : {SCMP_SYS(brk), SCMP_SYS(mmap), SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(mprotect),
                     SCMP_SYS(madvise), SCMP_SYS(futex), SCMP_SYS(clock_gettime), SCMP_SYS(gettimeofday),
                     SCMP_SYS(getrandom), SCMP_SYS(getpid), SCMP_SYS(gettid), SCMP_SYS(tgkill),
                     SCMP_SYS(rt_sigprocmask), SCMP_SYS(rt_sigreturn), SCMP_SYS(sched_yield),
                     SCMP_SYS(restart_syscall), SCMP_SYS(exit), SCMP_SYS(exit_group), SCMP_SYS(getrusage),
                     SCMP_SYS(sysinfo), SCMP_SYS(sigaltstack)})
        allow(call);
    // Reading the descriptors the host sends, and closing them.
    for (int call : {SCMP_SYS(read), SCMP_SYS(pread64), SCMP_SYS(readv), SCMP_SYS(lseek), SCMP_SYS(fstat),
                     SCMP_SYS(close)})
        allow(call);
    // Writing pictures into memory files it makes and seals (positioned
    // writes: it opens nothing else it could write to).
    for (int call : {SCMP_SYS(memfd_create), SCMP_SYS(ftruncate), SCMP_SYS(pwrite64), SCMP_SYS(pwritev)}) allow(call);
    const auto allowIf = [&](int call, scmp_arg_cmp condition) {
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 1, condition) == 0;
    };
    // fstat of a descriptor goes through newfstatat with an empty path;
    // with a path it would look at the file system.
    allowIf(SCMP_SYS(newfstatat), scmp_arg_cmp{3, SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH});
    // fcntl for seals and duplicates only.
    for (int command : {F_ADD_SEALS, F_GET_SEALS, F_DUPFD_CLOEXEC, F_GETFD, F_SETFD, F_GETFL})
        allowIf(SCMP_SYS(fcntl), argEquals(1, static_cast<scmp_datum_t>(command)));
    // Messages on its socket, its standard error, its own CPU limit.
    const auto socket = static_cast<scmp_datum_t>(socketFd);
    allowIf(SCMP_SYS(sendmsg), argEquals(0, socket));
    allowIf(SCMP_SYS(recvmsg), argEquals(0, socket));
    allowIf(SCMP_SYS(write), argEquals(0, 2));
    allowIf(SCMP_SYS(writev), argEquals(0, 2));
    allowIf(SCMP_SYS(prlimit64), argEquals(0, 0));
    ok = ok && allowThreads(filter);
    ok = ok && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return ok;
}

}  // namespace orrery::worker
