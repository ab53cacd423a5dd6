#include "host/html/htmlisolation.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "framework/codepage.h"
#include "host/html/htmlrecords.h"
#include "host/html/parsearena.h"

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
// The child's buffer of records, and the parent's reads: the pipe is made
// as large, so that a buffer goes in one switch.
constexpr std::size_t kChunk = kMiB;
// Exit status of the child that ran out of memory (or room for its records).
constexpr int kExitMemory = 3;
// Pages from this size on make the parser touch megabytes: its arena asks
// for large pages.
constexpr std::size_t kLargePagesFrom = 128 * 1024;

std::atomic<bool> g_inProcess{false};

[[noreturn]] void ExhaustedInChild() { ::_exit(kExitMemory); }

[[noreturn]] void ExhaustedInProcess() {
    // Only a fuzzer parses in process, with inputs far below the cap.
    std::abort();
}

#ifndef QEL_ISOLATION_ASAN
// Room in the child's address space besides what it inherits and the arena:
// its stack, its buffer of records, and what the system maps for it.
constexpr std::size_t kAddressSlack = 64 * kMiB;

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

bool WriteToFd(void* context, const char* bytes, std::size_t size) {
    const int fd = *static_cast<int*>(context);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool AppendToRecords(void* context, const char* bytes, std::size_t size) {
    auto& records = *static_cast<HtmlRecords*>(context);
    char* room = records.Room(size);
    if (!room) return false;
    std::memcpy(room, bytes, size);
    records.Added(size);
    return true;
}

struct ChildPlan {
    const char* text;
    std::size_t size;
    std::size_t memory;
    rlim_t cpuSeconds;
    rlim_t addressSpace;  // 0: no limit
    int fd;
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
    // The buffer is no part of the parse's memory.
    void* buffer = ::mmap(nullptr, kChunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (buffer == MAP_FAILED) ::_exit(kExitMemory);
    int fd = plan.fd;
    RecordWriter writer(static_cast<char*>(buffer), kChunk, plan.memory, &WriteToFd, &fd);
    if (WriteHtmlRecords(plan.text, plan.size, arena, writer)) ::_exit(0);
    // Records beyond the limit are the parse's memory too; a pipe the
    // parent closed is a parse it gave up.
    ::_exit(kExitMemory);
}

std::u16string Seconds(std::chrono::milliseconds ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(ms.count()) / 1000.0);
    return qel::framework::Utf8ToWide(text);
}

enum class Reading { Whole, Late, TooLarge };

// Reads the child's records until it closes the pipe, the deadline passes
// or they grow beyond `limit` bytes.
Reading ReadUntil(int fd, std::chrono::steady_clock::time_point deadline, std::size_t limit, HtmlRecords& records) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return Reading::Late;
        if (records.Size() > limit) return Reading::TooLarge;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()) + 1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;  // the time is checked above
        char* room = records.Room(kChunk);
        if (!room) return Reading::TooLarge;
        const ssize_t n = ::read(fd, room, kChunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Reading::Whole;
        records.Added(static_cast<std::size_t>(n));
    }
}

std::u16string MemoryReason(const HtmlParseLimits& limits) {
    return qel::framework::Utf8ToWide("the page needs more than " + std::to_string(limits.memory / kMiB) +
                                      " MiB to parse");
}

// Why the child gave no records, from its end.
std::u16string WhyChildFailed(int status, const HtmlParseLimits& limits) {
    if (WIFEXITED(status) && WEXITSTATUS(status) == kExitMemory) return MemoryReason(limits);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU)
        return u"the page took longer than " + Seconds(limits.deadline) + u" to parse";
    if (WIFSIGNALED(status))
        return qel::framework::Utf8ToWide("the HTML parser stopped on the page (signal " +
                                          std::to_string(WTERMSIG(status)) + ": " + strsignal(WTERMSIG(status)) + ")");
    return u"the HTML parser stopped on the page";
}

bool ParseInProcess(const char* text, std::size_t size, const HtmlParseLimits& limits, HtmlRecords& records) {
    ParseArena arena(limits.memory, &ExhaustedInProcess);
    if (!arena.Reserved()) return false;
    if (size >= kLargePagesFrom) arena.PreferLargePages();
    std::string buffer(kChunk, '\0');
    RecordWriter writer(buffer.data(), buffer.size(), limits.memory, &AppendToRecords, &records);
    return WriteHtmlRecords(text, size, arena, writer) && records.TakeTrailer();
}

std::u16string SystemFailure(int error) {
    return u"the page cannot be parsed: " + qel::framework::Utf8ToWide(std::strerror(error));
}

}  // namespace

HtmlRecords::~HtmlRecords() { Clear(); }

std::string_view HtmlRecords::Records() const {
    return m_trailer.end == kEndOfRecords ? std::string_view(m_data, m_size) : std::string_view();
}

void HtmlRecords::Clear() noexcept {
    if (m_data) ::munmap(m_data, m_capacity);
    m_data = nullptr;
    m_size = m_capacity = 0;
    m_trailer = {};
}

char* HtmlRecords::Room(std::size_t bytes) noexcept {
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

bool HtmlRecords::TakeTrailer() noexcept {
    if (m_size < sizeof(RecordsTrailer)) return false;
    std::memcpy(&m_trailer, m_data + m_size - sizeof(RecordsTrailer), sizeof m_trailer);
    if (m_trailer.end != kEndOfRecords) {
        m_trailer = {};
        return false;
    }
    m_size -= sizeof(RecordsTrailer);
    return true;
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

    ChildPlan plan{text, size, limits.memory, 0, 0, -1};
    plan.cpuSeconds = static_cast<rlim_t>((limits.deadline.count() + 999) / 1000);
#ifndef QEL_ISOLATION_ASAN
    if (const std::size_t mapped = MappedBytes()) plan.addressSpace = mapped + limits.memory + kAddressSlack;
#endif
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        why = SystemFailure(errno);
        return false;
    }
    ::fcntl(fds[1], F_SETPIPE_SZ, static_cast<int>(kChunk));  // fewer switches; the default is fine too
    plan.fd = fds[1];
    const pid_t pid = ::fork();
    if (pid == 0) RunChild(plan);
    const int forkError = errno;
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        why = SystemFailure(forkError);
        return false;
    }
    const Reading reading = ReadUntil(fds[0], deadline, limits.memory, records);
    if (reading != Reading::Whole) ::kill(pid, SIGKILL);
    ::close(fds[0]);
    int status = 0;
    pid_t waited;
    while ((waited = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {}
    if (reading != Reading::Whole) {
        records.Clear();
        why = reading == Reading::Late ? u"the page took longer than " + Seconds(limits.deadline) + u" to parse"
                                       : MemoryReason(limits);
        return false;
    }
    // A host that ignores SIGCHLD leaves no status: the records tell.
    if (waited == pid && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        records.Clear();
        why = WhyChildFailed(status, limits);
        return false;
    }
    if (!records.TakeTrailer()) {
        records.Clear();
        why = u"the HTML parser stopped on the page";
        return false;
    }
    return true;
}

}  // namespace qel::host
