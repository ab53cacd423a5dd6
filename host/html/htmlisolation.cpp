#include "host/html/htmlisolation.h"

#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "framework/codepage.h"
#include "host/html/htmlrecords.h"
#include "host/html/parsearena.h"

namespace qel::host {

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
// The child's buffer of records; the pipe is made as large.
constexpr std::size_t kChunk = kMiB;
// Exit statuses of the child: the parse passed its memory (the arena's cap
// or the records' limit), or the system mapped no more below it.
constexpr int kExitMemory = 3;
constexpr int kExitAddressSpace = 4;
// Pages from this size on make the parser touch megabytes: its arena asks
// for large pages.
constexpr std::size_t kLargePagesFrom = 128 * 1024;
// Room in the child's address space besides what it inherits and the arena:
// its stack, its buffer of records, and what the system maps for it.
constexpr std::size_t kAddressSlack = 64 * kMiB;

std::atomic<bool> g_inProcess{false};

[[noreturn]] void ExhaustedInChild(ParseArena::Shortage why) {
    ::_exit(why == ParseArena::Shortage::Cap ? kExitMemory : kExitAddressSpace);
}

// In process, running out of the arena or of the parse's CPU time jumps
// back to the start of the parse: gumbo does not check for null, and
// everything it made lies in the arena, which is unmapped as a whole.
// Between the two are gumbo's C frames and the recorder's, none with a
// destructor.
enum class InProcessEnd : int { none, shortage, time };
thread_local sigjmp_buf* t_exhaustedJump = nullptr;
thread_local ParseArena::Shortage t_shortage = ParseArena::Shortage::Cap;
// Records being appended (their buffer may be growing): the time's end
// waits until they are in.
thread_local volatile sig_atomic_t t_appending = 0;
thread_local volatile sig_atomic_t t_timeUp = 0;

[[noreturn]] void ExhaustedInProcess(ParseArena::Shortage why) {
    t_shortage = why;
    siglongjmp(
        *t_exhaustedJump,
        static_cast<int>(InProcessEnd::shortage));  // NOLINT(cert-err52-cpp): the only way out of gumbo's C frames
}

// SIGXCPU from the thread's CPU-time timer: as the child's CPU limit ends
// the child, the end of the parse's time ends the parse in process.
void CpuTimeUp(int) {
    if (t_exhaustedJump == nullptr) return;
    if (t_appending != 0) {
        t_timeUp = 1;
        return;
    }
    siglongjmp(*t_exhaustedJump, static_cast<int>(InProcessEnd::time));  // NOLINT(cert-err52-cpp): as above
}

// A timer of this thread's CPU time that raises SIGXCPU once `budget` is
// spent, and every 50 ms after; the handler before it comes back after.
class CpuTimer {
public:
    explicit CpuTimer(std::chrono::milliseconds budget) {
        struct sigaction action {};
        action.sa_handler = &CpuTimeUp;
        sigemptyset(&action.sa_mask);
        m_handled = ::sigaction(SIGXCPU, &action, &m_before) == 0;
        sigevent event{};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = SIGXCPU;
        event._sigev_un._tid = static_cast<pid_t>(::gettid());
        if (!m_handled || ::timer_create(CLOCK_THREAD_CPUTIME_ID, &event, &m_timer) != 0) return;
        m_armed = true;
        const auto ms = budget.count() > 0 ? budget.count() : 1;
        itimerspec when{};
        when.it_value = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        when.it_interval = {0, 50000000L};
        ::timer_settime(m_timer, 0, &when, nullptr);
    }
    ~CpuTimer() {
        if (m_armed) ::timer_delete(m_timer);
        if (m_handled) ::sigaction(SIGXCPU, &m_before, nullptr);
    }
    CpuTimer(const CpuTimer&) = delete;
    CpuTimer& operator=(const CpuTimer&) = delete;

private:
    struct sigaction m_before {};
    timer_t m_timer{};
    bool m_handled = false, m_armed = false;
};

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
    auto& out = *static_cast<BoundedOutput*>(context);
    t_appending = 1;
    char* room = out.Room(size);
    if (room) {
        std::memcpy(room, bytes, size);
        out.Added(size);
    }
    t_appending = 0;
    if (t_timeUp != 0) CpuTimeUp(SIGXCPU);
    if (!room) return false;
    return true;
}

struct ParseJob {
    const char* text;
    std::size_t size;
    std::size_t memory;
};

// The child's work: only system calls, gumbo and the arena.
int ParseInChild(void* context, int fd) {
    const auto& job = *static_cast<const ParseJob*>(context);
    ParseArena arena(job.memory, &ExhaustedInChild);
    if (!arena.Reserved()) return kExitAddressSpace;
    if (job.size >= kLargePagesFrom) arena.PreferLargePages();
    // The buffer is no part of the parse's memory.
    void* buffer = ::mmap(nullptr, kChunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (buffer == MAP_FAILED) return kExitAddressSpace;
    RecordWriter writer(static_cast<char*>(buffer), kChunk, job.memory, &WriteToFd, &fd);
    // Records beyond the limit are the parse's memory too; a pipe the
    // parent closed is a parse it gave up.
    return WriteHtmlRecords(job.text, job.size, arena, writer) ? 0 : kExitMemory;
}

std::u16string Seconds(std::chrono::milliseconds ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(ms.count()) / 1000.0);
    return qel::framework::Utf8ToWide(text);
}

std::u16string MemoryReason(const HtmlParseLimits& limits) {
    return qel::framework::Utf8ToWide("the page needs more than " + std::to_string(limits.memory / kMiB) +
                                      " MiB to parse");
}

std::u16string TimeReason(const HtmlParseLimits& limits) {
    return u"the page took longer than " + Seconds(limits.deadline) + u" to parse";
}

std::u16string ShortageReason(ParseArena::Shortage why, const HtmlParseLimits& limits) {
    return why == ParseArena::Shortage::Cap
               ? MemoryReason(limits)
               : u"the page needs more memory to parse than the address-space limit leaves";
}

// Why the child gave no records.
std::u16string WhyChildFailed(const BoundedOutcome& outcome, const HtmlParseLimits& limits) {
    switch (outcome.end) {
        case BoundedEnd::Failed:
            if (outcome.code == kExitMemory) return ShortageReason(ParseArena::Shortage::Cap, limits);
            if (outcome.code == kExitAddressSpace) return ShortageReason(ParseArena::Shortage::System, limits);
            break;
        case BoundedEnd::CpuLimit:
        case BoundedEnd::Deadline: return TimeReason(limits);
        case BoundedEnd::OutputCap: return MemoryReason(limits);
        case BoundedEnd::NoMemory: return u"the host has no memory for the page's parse";
        case BoundedEnd::Signalled:
            return qel::framework::Utf8ToWide("the HTML parser stopped on the page (signal " +
                                              std::to_string(outcome.code) + ": " + strsignal(outcome.code) + ")");
        case BoundedEnd::NotStarted:
            return u"the page cannot be parsed: " + qel::framework::Utf8ToWide(std::strerror(outcome.code));
        case BoundedEnd::Finished: break;
    }
    return u"the HTML parser stopped on the page";
}

// Step by step as in the child, with the arena's shortage as a result.
bool ParseInProcess(const char* text, std::size_t size, const HtmlParseLimits& limits, HtmlRecords& records,
                    std::u16string& why) {
    ParseArena arena(limits.memory, &ExhaustedInProcess);
    if (!arena.Reserved()) {
        why = ShortageReason(ParseArena::Shortage::System, limits);
        return false;
    }
    if (size >= kLargePagesFrom) arena.PreferLargePages();
    std::string buffer(kChunk, '\0');
    RecordWriter writer(buffer.data(), buffer.size(), limits.memory, &AppendToRecords, &records.Bytes());
    sigjmp_buf jump;
    t_timeUp = 0;
    CpuTimer timer(limits.deadline);
    // The jump is taken only once it is set: a tick of the timer before
    // comes again 50 ms later.
    if (const int end = sigsetjmp(jump, 1); end != 0) {  // NOLINT(cert-err52-cpp): see ExhaustedInProcess
        t_exhaustedJump = nullptr;
        records.Clear();
        why = end == static_cast<int>(InProcessEnd::time) ? TimeReason(limits) : ShortageReason(t_shortage, limits);
        return false;
    }
    t_exhaustedJump = &jump;
    const bool written = WriteHtmlRecords(text, size, arena, writer);
    t_exhaustedJump = nullptr;
    if (written && records.TakeTrailer()) return true;
    records.Clear();
    why = writer.Failed() ? MemoryReason(limits) : u"the HTML parser stopped on the page";
    return false;
}

}  // namespace

std::string_view HtmlRecords::Records() const {
    return m_trailer.end == kEndOfRecords ? m_bytes.View() : std::string_view();
}

void HtmlRecords::Clear() noexcept {
    m_bytes.Clear();
    m_trailer = {};
}

bool HtmlRecords::TakeTrailer() noexcept {
    const std::string_view bytes = m_bytes.View();
    if (bytes.size() < sizeof(RecordsTrailer)) return false;
    std::memcpy(&m_trailer, bytes.data() + bytes.size() - sizeof(RecordsTrailer), sizeof m_trailer);
    if (m_trailer.end != kEndOfRecords) {
        m_trailer = {};
        return false;
    }
    m_bytes.DropEnd(sizeof(RecordsTrailer));
    return true;
}

HtmlParseLimits HtmlParseLimitsFor(std::size_t bytes) {
    const std::size_t blocks = bytes == 0 ? 1 : (bytes + 2 * kMiB - 1) / (2 * kMiB);
    const std::size_t memory = bytes > 4 * kMiB ? bytes * 128 : 512 * kMiB;
    return {std::chrono::milliseconds(2000 * static_cast<long long>(blocks)), memory};
}

BoundedLimits HtmlParseChildLimits(const HtmlParseLimits& limits) {
    BoundedLimits child;
    child.addressSpace = limits.memory + kAddressSlack;
    child.cpu = limits.deadline;
    child.deadline = limits.deadline;
    child.outputCap = limits.memory;
    return child;
}

void SetHtmlParseInProcess(bool inProcess) { g_inProcess = inProcess; }

bool ParseHtmlRecords(const char* text, std::size_t size, const HtmlParseLimits& limits, HtmlRecords& records,
                      std::u16string& why) {
    records.Clear();
    if (g_inProcess) return ParseInProcess(text, size, limits, records, why);
    ParseJob job{text, size, limits.memory};
    const BoundedOutcome outcome = BoundedChild(HtmlParseChildLimits(limits)).Run(&ParseInChild, &job, records.Bytes());
    if (!outcome.Ok()) {
        records.Clear();
        why = WhyChildFailed(outcome, limits);
        return false;
    }
    // A host that reaps its own children leaves no status: the trailer tells.
    if (!records.TakeTrailer()) {
        records.Clear();
        why = u"the HTML parser stopped on the page";
        return false;
    }
    return true;
}

}  // namespace qel::host
