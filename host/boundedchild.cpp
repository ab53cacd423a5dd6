#include "host/boundedchild.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define QEL_BOUNDED_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QEL_BOUNDED_ASAN 1
#endif
#endif

namespace qel::host {

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
// The parent's reads; the pipe is made as large, so that a child's buffer
// of that size goes in one switch.
constexpr std::size_t kChunk = kMiB;
// Past the deadline, how long the parent waits for more of a child that
// still writes before it takes it for one that hangs.
constexpr int kLateGraceMs = 100;
// The descriptor the child's work writes to.
constexpr int kChildFd = 3;

// Milliseconds left until `deadline`; 0 once it has passed.
int MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return 0;
    return left.count() > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left.count());
}

rlim_t CpuSeconds(std::chrono::milliseconds cpu) {
    const long long seconds = (cpu.count() + 999) / 1000;
    return static_cast<rlim_t>(seconds < 1 ? 1 : seconds);
}

#ifndef QEL_BOUNDED_ASAN
// The address space the process has mapped now, from /proc; 0 when unknown.
std::size_t MappedBytes() {
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[128];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return 0;
    text[n] = '\0';
    unsigned long pages = 0;
    if (std::sscanf(text, "%lu", &pages) != 1) return 0;
    return pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}
#endif

// The child's address-space limit: what the caller has mapped plus the
// allowance, never above the caller's own soft limit; RLIM_INFINITY: none.
rlim_t AddressSpaceFor(std::size_t allowance) {
#ifdef QEL_BOUNDED_ASAN
    (void)allowance;
    return RLIM_INFINITY;
#else
    rlimit own{};
    if (::getrlimit(RLIMIT_AS, &own) != 0) own.rlim_cur = RLIM_INFINITY;
    if (allowance == 0) return own.rlim_cur;
    const std::size_t mapped = MappedBytes();
    if (mapped == 0 || allowance > SIZE_MAX - mapped) return own.rlim_cur;
    const auto wanted = static_cast<rlim_t>(mapped + allowance);
    return wanted < own.rlim_cur ? wanted : own.rlim_cur;
#endif
}

struct ChildPlan {
    BoundedChild::Work work;
    void* context;
    int writeFd;
    pid_t parent;
    rlim_t cpuSeconds;    // RLIM_INFINITY: none
    rlim_t addressSpace;  // RLIM_INFINITY: none
    bool quiet;
};

void CloseAllFrom(int first) {
    if (::syscall(SYS_close_range, static_cast<unsigned>(first), ~0U, 0U) == 0) return;
    rlimit files{};
    long last = 65536;
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < static_cast<rlim_t>(last))
        last = static_cast<long>(files.rlim_cur);
    for (long fd = first; fd < last; ++fd) ::close(static_cast<int>(fd));
}

// Standard input and output (and error, when quiet) to /dev/null, the
// write end to kChildFd, everything else closed.
void KeepOnlyOwnDescriptors(const ChildPlan& plan) {
    int fd = plan.writeFd;
    if (fd != kChildFd) {
        // Out of the way of the descriptors below first.
        fd = ::fcntl(plan.writeFd, F_DUPFD, kChildFd + 1);
        if (fd < 0) ::_exit(127);
    }
    const int null = ::open("/dev/null", O_RDWR);
    if (null < 0) ::_exit(127);
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    if (plan.quiet) ::dup2(null, STDERR_FILENO);
    if (fd != kChildFd && ::dup2(fd, kChildFd) != kChildFd) ::_exit(127);
    CloseAllFrom(kChildFd + 1);
}

void SetLimits(const ChildPlan& plan) {
    const rlimit core{0, 0};
    ::setrlimit(RLIMIT_CORE, &core);
    if (plan.cpuSeconds != RLIM_INFINITY) {
        // The hard limit a second later ends a child that handles SIGXCPU.
        const rlimit cpu{plan.cpuSeconds, plan.cpuSeconds + 1};
        ::setrlimit(RLIMIT_CPU, &cpu);
    }
    if (plan.addressSpace != RLIM_INFINITY) {
        rlimit as{};
        ::getrlimit(RLIMIT_AS, &as);
        as.rlim_cur = plan.addressSpace;
        if (as.rlim_max < as.rlim_cur) as.rlim_cur = as.rlim_max;
        ::setrlimit(RLIMIT_AS, &as);
    }
}

// The child: only system calls from here to the work.
[[noreturn]] void RunChild(const ChildPlan& plan) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // A parent that ended before the call above sends no signal.
    if (::getppid() != plan.parent) ::_exit(127);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXCPU, SIGXFSZ, SIGALRM, SIGUSR1, SIGUSR2,
                          SIGCHLD, SIGSEGV, SIGBUS, SIGABRT})
        ::sigaction(sig, &dfl, nullptr);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    KeepOnlyOwnDescriptors(plan);
    SetLimits(plan);
    ::_exit(plan.work(plan.context, kChildFd));
}

// Forks a child that runs `plan`; the parent's result of fork().
pid_t Fork(int readEnd, const ChildPlan& plan) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(readEnd);
        RunChild(plan);
    }
    return pid;
}

// Finishes a child started ahead of its need, when a fork finds no slot.
std::atomic<BoundedChild::SlotRelease> g_slotRelease{nullptr};

enum class Reading { Whole, Late, TooLarge, NoMemory };

// One read into `output`.
struct ReadStep {
    bool end;      // the pipe is closed
    bool got;      // bytes came
    Reading stop;  // TooLarge or NoMemory when reading must stop; Whole otherwise
};

ReadStep ReadOnce(int fd, std::size_t cap, BoundedOutput& output) {
    char* room = output.Room(kChunk);
    if (!room) return {false, false, Reading::NoMemory};
    const ssize_t n = ::read(fd, room, kChunk);
    if (n < 0) return {errno != EINTR && errno != EAGAIN, false, Reading::Whole};
    if (n == 0) return {true, false, Reading::Whole};
    output.Added(static_cast<std::size_t>(n));
    return {false, true, output.Size() > cap ? Reading::TooLarge : Reading::Whole};
}

// Reads until the pipe closes, the output passes `cap`, or the deadline has
// passed and the child, given a moment, writes nothing more.
Reading ReadUntil(int fd, bool timed, std::chrono::steady_clock::time_point deadline, std::size_t cap,
                  BoundedOutput& output) {
    for (;;) {
        const bool late = timed && MillisecondsUntil(deadline) == 0;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, !timed ? -1 : late ? kLateGraceMs : MillisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR) continue;
        // Past the deadline, only a child that gave nothing in the grace is late.
        if (ready == 0 && late) return Reading::Late;
        if (ready <= 0) continue;
        const ReadStep step = ReadOnce(fd, cap, output);
        if (step.stop != Reading::Whole) return step.stop;
        if (step.end) return Reading::Whole;
    }
}

// What is left in the pipe of a child that has ended, without waiting.
void DrainEnded(int fd, std::size_t cap, BoundedOutput& output) {
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    for (;;) {
        const ReadStep step = ReadOnce(fd, cap, output);
        if (step.end || !step.got || step.stop != Reading::Whole) return;
    }
}

// Waits for the child's end until the deadline (with a pidfd), for good
// without one. False when it was still running at the deadline.
bool AwaitEnd(int pidfd, bool timed, std::chrono::steady_clock::time_point deadline) {
    if (pidfd < 0 || !timed) return true;
    for (;;) {
        pollfd p{pidfd, POLLIN, 0};
        const int ready = ::poll(&p, 1, MillisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0;
    }
}

std::chrono::milliseconds CpuOf(const rusage& usage) {
    const auto us = [](const timeval& t) { return static_cast<long long>(t.tv_sec) * 1000000 + t.tv_usec; };
    return std::chrono::milliseconds((us(usage.ru_utime) + us(usage.ru_stime)) / 1000);
}

// The outcome of a reaped child that was not killed for its output.
BoundedOutcome Judge(bool reaped, int status, std::chrono::milliseconds cpuUsed, const BoundedLimits& limits) {
    BoundedOutcome out;
    out.cpuUsed = cpuUsed;
    if (!reaped || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        out.end = BoundedEnd::Finished;
    } else if (WIFEXITED(status)) {
        out.end = BoundedEnd::Failed;
        out.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        // The soft limit sends SIGXCPU; the hard one, a second later, SIGKILL.
        const bool cpu = sig == SIGXCPU || (sig == SIGKILL && limits.cpu.count() > 0 &&
                                            cpuUsed >= std::chrono::seconds(CpuSeconds(limits.cpu)));
        out.end = cpu ? BoundedEnd::CpuLimit : BoundedEnd::Signalled;
        out.code = sig;
    } else {
        out.end = BoundedEnd::Failed;
        out.code = -1;
    }
    return out;
}

std::string SecondsText(std::chrono::milliseconds ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(ms.count()) / 1000.0);
    return text;
}

}  // namespace

// --- BoundedOutput ------------------------------------------------------------

BoundedOutput::~BoundedOutput() { Clear(); }

void BoundedOutput::Clear() noexcept {
    if (m_data) ::munmap(m_data, m_capacity);
    m_data = nullptr;
    m_size = m_capacity = 0;
}

char* BoundedOutput::Room(std::size_t bytes) noexcept {
    if (bytes <= m_capacity - m_size) return m_data + m_size;
    std::size_t capacity = m_capacity ? m_capacity : 4 * kChunk;
    while (capacity - m_size < bytes) {
        if (capacity > SIZE_MAX / 2) return nullptr;
        capacity *= 2;
    }
    void* p = m_data ? ::mremap(m_data, m_capacity, capacity, MREMAP_MAYMOVE)
                     : ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    m_data = static_cast<char*>(p);
    m_capacity = capacity;
    return m_data + m_size;
}

// --- BoundedChild ---------------------------------------------------------------

void BoundedChild::SetSlotRelease(SlotRelease release) noexcept { g_slotRelease.store(release); }

BoundedChild::~BoundedChild() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    BoundedOutput ignored;
    Finish(ignored);
}

bool BoundedChild::Start(Work work, void* context) noexcept {
    if (m_pid > 0) return false;
    m_failed = {};
    ChildPlan plan{work,          context, -1, ::getpid(), RLIM_INFINITY, AddressSpaceFor(m_limits.addressSpace),
                   m_limits.quiet};
    if (m_limits.cpu.count() > 0) plan.cpuSeconds = CpuSeconds(m_limits.cpu);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        m_failed.code = errno;
        return false;
    }
    ::fcntl(fds[1], F_SETPIPE_SZ, static_cast<int>(kChunk));  // fewer switches; the default is fine too
    plan.writeFd = fds[1];
    m_deadline = std::chrono::steady_clock::now() + m_limits.deadline;
    pid_t pid = Fork(fds[0], plan);
    int forkError = errno;
    if (pid < 0 && forkError == EAGAIN) {
        if (const SlotRelease release = g_slotRelease.load()) {
            release();
            pid = Fork(fds[0], plan);
            forkError = errno;
        }
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        m_failed.code = forkError;
        return false;
    }
    m_pid = pid;
    m_pipe = fds[0];
    // -1 on an old kernel: waiting for a child that closed its end is then untimed.
    m_pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0U));
    return true;
}

BoundedOutcome BoundedChild::Finish(BoundedOutput& output) noexcept {
    if (m_pid <= 0) return m_failed;
    const bool timed = m_limits.deadline.count() > 0;
    Reading reading = ReadUntil(m_pipe, timed, m_deadline, m_limits.outputCap, output);
    // A child that closed its end but goes on is late when the deadline comes.
    if (reading == Reading::Whole && !AwaitEnd(m_pidfd, timed, m_deadline)) reading = Reading::Late;
    if (reading != Reading::Whole) ::kill(m_pid, SIGKILL);
    int status = 0;
    rusage usage{};
    pid_t waited;
    while ((waited = ::wait4(m_pid, &status, 0, &usage)) < 0 && errno == EINTR) {}
    const bool reaped = waited == m_pid;
    // A child that ended on its own before the kill is judged by its exit,
    // with whatever it left in the pipe.
    if (reading == Reading::Late && reaped && WIFEXITED(status)) {
        DrainEnded(m_pipe, m_limits.outputCap, output);
        reading = output.Size() > m_limits.outputCap ? Reading::TooLarge : Reading::Whole;
    }
    ::close(m_pipe);
    if (m_pidfd >= 0) ::close(m_pidfd);
    m_pid = -1;
    m_pipe = m_pidfd = -1;
    BoundedOutcome out = Judge(reaped, status, CpuOf(usage), m_limits);
    if (reading == Reading::Late) out = {BoundedEnd::Deadline, 0, out.cpuUsed};
    if (reading == Reading::TooLarge) out = {BoundedEnd::OutputCap, 0, out.cpuUsed};
    if (reading == Reading::NoMemory) out = {BoundedEnd::NoMemory, 0, out.cpuUsed};
    return out;
}

BoundedOutcome BoundedChild::Run(Work work, void* context, BoundedOutput& output) noexcept {
    Start(work, context);
    return Finish(output);
}

std::string DescribeBoundedEnd(const BoundedOutcome& outcome, const BoundedLimits& limits) {
    switch (outcome.end) {
        case BoundedEnd::Finished: return {};
        case BoundedEnd::Failed: return "exit status " + std::to_string(outcome.code);
        case BoundedEnd::Signalled:
            return "signal " + std::to_string(outcome.code) + " (" + strsignal(outcome.code) + ")";
        case BoundedEnd::CpuLimit: return "the CPU limit of " + SecondsText(limits.cpu);
        case BoundedEnd::Deadline: return "the time limit of " + SecondsText(limits.deadline);
        case BoundedEnd::OutputCap: return "more than " + std::to_string(limits.outputCap) + " bytes of output";
        case BoundedEnd::NoMemory: return "no memory for its output";
        case BoundedEnd::NotStarted: return std::string("no child process: ") + std::strerror(outcome.code);
    }
    return {};
}

}  // namespace qel::host
