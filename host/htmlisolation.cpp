#include "host/htmlisolation.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "framework/codepage.h"
#include "host/htmlrecords.h"
#include "host/parsearena.h"

#if defined(__SANITIZE_ADDRESS__)
#define QEL_ISOLATION_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QEL_ISOLATION_ASAN 1
#endif
#endif

namespace qel::host {

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
// Exit status of the child that ran out of memory (or room for its records).
constexpr int kExitMemory = 3;
// Pages from this size on make the parser touch megabytes: its arena asks
// for large pages.
constexpr std::size_t kLargePagesFrom = 128 * 1024;
// Room in the child's address space besides what it inherits and the arena:
// its stack, and what the system maps for it.
constexpr std::size_t kAddressSlack = 64 * kMiB;

std::atomic<bool> g_inProcess{false};

[[noreturn]] void ExhaustedInChild() { ::_exit(kExitMemory); }

[[noreturn]] void ExhaustedInProcess() {
    // Only a fuzzer parses in process, with inputs far below the cap.
    std::abort();
}

#ifndef QEL_ISOLATION_ASAN
// The address space the process has mapped now, from /proc; 0 when unknown.
std::size_t MappedBytes() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    unsigned long pages = 0;
    const int n = std::fscanf(f, "%lu", &pages);
    std::fclose(f);
    return n == 1 ? pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) : 0;
}
#endif

struct ChildPlan {
    const char* text;
    std::size_t size;
    std::size_t memory;
    rlim_t cpuSeconds;
    rlim_t addressSpace;  // 0: no limit
    char* region;         // where the records go, shared with the parent
    std::size_t capacity;
};

// The child: only system calls, gumbo and the arena from here to _exit.
[[noreturn]] void RunChild(const ChildPlan& plan) {
    // The parent's handlers (toruca's removal of its folder) are not the child's.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXCPU, SIGSEGV, SIGBUS, SIGABRT})
        ::sigaction(sig, &dfl, nullptr);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    const rlimit core{0, 0};
    ::setrlimit(RLIMIT_CORE, &core);
    const rlimit cpu{plan.cpuSeconds, plan.cpuSeconds + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
    if (plan.addressSpace) {
        const rlimit as{plan.addressSpace, plan.addressSpace};
        ::setrlimit(RLIMIT_AS, &as);
    }
    ParseArena arena(plan.memory, &ExhaustedInChild);
    if (!arena.Reserved()) ::_exit(kExitMemory);
    if (plan.size >= kLargePagesFrom) arena.PreferLargePages();
    ::_exit(WriteHtmlRecords(plan.text, plan.size, arena, plan.region, plan.capacity) ? 0 : kExitMemory);
}

std::u16string Seconds(std::chrono::milliseconds ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(ms.count()) / 1000.0);
    return qel::framework::Utf8ToWide(text);
}

// Waits until the child's end of the pipe closes (it writes nothing) or the
// deadline passes; false at the deadline.
bool WaitUntil(int fd, std::chrono::steady_clock::time_point deadline) {
    char buffer[256];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()) + 1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;  // the time is checked above
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return true;
    }
}

// Why the child gave no records, from its end.
std::u16string WhyChildFailed(int status, const HtmlParseLimits& limits) {
    if (WIFEXITED(status) && WEXITSTATUS(status) == kExitMemory)
        return qel::framework::Utf8ToWide("the page needs more than " + std::to_string(limits.memory / kMiB) +
                                          " MiB to parse");
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU)
        return u"the page took longer than " + Seconds(limits.deadline) + u" to parse";
    if (WIFSIGNALED(status))
        return qel::framework::Utf8ToWide("the HTML parser stopped on the page (signal " +
                                          std::to_string(WTERMSIG(status)) + ": " + strsignal(WTERMSIG(status)) + ")");
    return u"the HTML parser stopped on the page";
}

bool ParseInProcess(const char* text, std::size_t size, const HtmlParseLimits& limits, HtmlRecords& records) {
    ParseArena arena(limits.memory, &ExhaustedInProcess);
    if (!arena.Reserved() || !records.Map(limits.memory, false)) return false;
    if (size >= kLargePagesFrom) arena.PreferLargePages();
    return WriteHtmlRecords(text, size, arena, records.Region(), records.Capacity()) && records.TakeHeader();
}

std::u16string SystemFailure(int error) {
    return u"the page cannot be parsed: " + qel::framework::Utf8ToWide(std::strerror(error));
}

}  // namespace

HtmlRecords::~HtmlRecords() { Clear(); }

std::string_view HtmlRecords::Records() const {
    return m_region ? std::string_view(m_region + sizeof(RecordsHeader), m_header.bytes) : std::string_view();
}

void HtmlRecords::Clear() noexcept {
    if (m_region) ::munmap(m_region, m_capacity);
    m_region = nullptr;
    m_capacity = 0;
    m_header = {};
}

bool HtmlRecords::Map(std::size_t capacity, bool shared) noexcept {
    Clear();
    if (capacity < sizeof(RecordsHeader)) return false;
    // Pages are made only where records are written.
    void* p = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE,
                     (shared ? MAP_SHARED : MAP_PRIVATE) | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return false;
    m_region = static_cast<char*>(p);
    m_capacity = capacity;
    return true;
}

bool HtmlRecords::TakeHeader() noexcept {
    if (!m_region) return false;
    std::memcpy(&m_header, m_region, sizeof m_header);
    if (m_header.end == kEndOfRecords && m_header.bytes <= m_capacity - sizeof(RecordsHeader)) return true;
    m_header = {};
    return false;
}

HtmlParseLimits HtmlParseLimitsFor(std::size_t bytes) {
    const std::size_t blocks = bytes == 0 ? 1 : (bytes + 2 * kMiB - 1) / (2 * kMiB);
    const std::size_t memory = bytes > 4 * kMiB ? bytes * 128 : 512 * kMiB;
    return {std::chrono::milliseconds(2000 * static_cast<long long>(blocks)), memory};
}

void SetHtmlParseInProcess(bool inProcess) { g_inProcess = inProcess; }

bool ParseHtmlRecords(const char* text, std::size_t size, const HtmlParseLimits& limits, HtmlRecords& records,
                      std::u16string& why) {
    records.Clear();
    if (g_inProcess) return ParseInProcess(text, size, limits, records);
    const auto deadline = std::chrono::steady_clock::now() + limits.deadline;

    // Mapped before the address space is measured: the child inherits it.
    if (!records.Map(limits.memory, true)) {
        why = SystemFailure(errno);
        return false;
    }
    ChildPlan plan{text, size, limits.memory, 0, 0, records.Region(), records.Capacity()};
    plan.cpuSeconds = static_cast<rlim_t>((limits.deadline.count() + 999) / 1000);
#ifndef QEL_ISOLATION_ASAN
    if (const std::size_t mapped = MappedBytes()) plan.addressSpace = mapped + limits.memory + kAddressSlack;
#endif
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        why = SystemFailure(errno);
        records.Clear();
        return false;
    }
    const pid_t pid = ::fork();
    if (pid == 0) RunChild(plan);
    const int forkError = errno;
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        why = SystemFailure(forkError);
        records.Clear();
        return false;
    }
    const bool inTime = WaitUntil(fds[0], deadline);
    if (!inTime) ::kill(pid, SIGKILL);
    ::close(fds[0]);
    int status = 0;
    pid_t waited;
    while ((waited = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {}
    if (!inTime) {
        records.Clear();
        why = u"the page took longer than " + Seconds(limits.deadline) + u" to parse";
        return false;
    }
    // A host that ignores SIGCHLD leaves no status: the records tell.
    if (waited == pid && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        records.Clear();
        why = WhyChildFailed(status, limits);
        return false;
    }
    if (!records.TakeHeader()) {
        records.Clear();
        why = u"the HTML parser stopped on the page";
        return false;
    }
    return true;
}

}  // namespace qel::host
