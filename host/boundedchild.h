// Untrusted work in a child process under hard limits, one way for every
// caller: the page parse, the desktop's lookup, the preview.
//
// The child is forked and runs one function of the caller's, which writes
// its result to a pipe. Before the function runs, the child:
// - dies with its parent (PR_SET_PDEATHSIG, then a check that the parent it
//   was forked from is still there, as the parent may have gone before);
// - keeps only its own end of the pipe and its standard error open
//   (standard input and output are /dev/null), so a write to a parent that
//   is gone fails instead of blocking;
// - has the default action for the signals a host may handle, none blocked;
// - writes no core file and runs under its limits: CPU seconds, and an
//   address space of what the caller had mapped plus the work's allowance,
//   never above the caller's own soft limit (no address-space limit in
//   AddressSanitizer builds, whose shadow memory needs terabytes of it).
//
// The parent reads what the child writes into memory that grows as it
// comes, up to a cap, until the child closes the pipe; then it reaps the
// child and judges it by its exit. The wall deadline is judged after what
// the child wrote has been read: a parent that was stopped or descheduled
// past it first reads what is waiting, and fails the child only when it is
// still running and has nothing more to give; a child that ended before
// the parent's kill is judged by its exit.
//
// The work function runs right after fork: in a process with other
// threads it may only make system calls and use memory it was given (no
// malloc, no locks), as another thread may have held them.
#pragma once

#include "host/api.h"

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qel::host {

struct BoundedLimits {
    // Bytes of address space the child may map beyond what the caller had
    // mapped when it started it; 0 leaves the caller's own limit. Never
    // above the caller's soft limit.
    std::size_t addressSpace = 0;
    // CPU time, rounded up to whole seconds (at least 1); 0: none.
    std::chrono::milliseconds cpu{0};
    // Wall clock from the start; 0: none.
    std::chrono::milliseconds deadline{0};
    // The most bytes the parent reads; a child that writes more is killed.
    std::size_t outputCap = SIZE_MAX;
    // The child's standard error goes to /dev/null instead of the caller's.
    bool quiet = false;
};

// How a child ended.
enum class BoundedEnd : std::uint8_t {
    Finished,    // exited with status 0 and its output was read whole (also
                 // when a host that reaps its own children left no status)
    Failed,      // exited with another status: `code`
    Signalled,   // ended by signal `code`, none of the limits
    CpuLimit,    // used up its CPU seconds
    Deadline,    // still running at the wall deadline: killed
    OutputCap,   // wrote more than the output cap: killed
    NoMemory,    // the parent had no memory for its output: killed
    NotStarted,  // the pipe or the fork failed: `code` is the errno
};

struct BoundedOutcome {
    BoundedEnd end = BoundedEnd::NotStarted;
    int code = 0;                          // exit status, signal or errno, as `end` says
    std::chrono::milliseconds cpuUsed{0};  // the child's user and system time, once reaped
    bool Ok() const { return end == BoundedEnd::Finished; }
};

// Why a child ended badly, for a user: "the CPU limit of 2 s", "signal 11
// (Segmentation fault)", ...; empty for Finished.
QEL_HOST_API std::string DescribeBoundedEnd(const BoundedOutcome& outcome, const BoundedLimits& limits);

// Bytes in memory of their own that grows as they come (mapped, so that
// growing moves pages rather than copying them).
class QEL_HOST_API BoundedOutput {
public:
    BoundedOutput() = default;
    ~BoundedOutput();
    BoundedOutput(const BoundedOutput&) = delete;
    BoundedOutput& operator=(const BoundedOutput&) = delete;

    std::string_view View() const { return {m_data, m_size}; }
    std::size_t Size() const { return m_size; }
    // Room for at least `bytes` more at the end; null when the memory
    // cannot be had. Added(n) then counts n of them in.
    char* Room(std::size_t bytes) noexcept;
    void Added(std::size_t n) noexcept { m_size += n; }
    // Drops the last `n` bytes (no more than there are).
    void DropEnd(std::size_t n) noexcept { m_size -= n < m_size ? n : m_size; }
    // Frees the memory.
    void Clear() noexcept;

private:
    char* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

class QEL_HOST_API BoundedChild {
public:
    // Runs in the child with the write end of the pipe; its return value
    // is the child's exit status.
    using Work = int (*)(void* context, int fd);

    explicit BoundedChild(const BoundedLimits& limits) : m_limits(limits) {}
    // A child never finished is killed and reaped.
    ~BoundedChild();
    BoundedChild(const BoundedChild&) = delete;
    BoundedChild& operator=(const BoundedChild&) = delete;

    // Forks the child and starts the clock; false (and Finish says why)
    // when no child could be had. `context` must stay valid in the child
    // only (it is the child's copy of the caller's memory).
    bool Start(Work work, void* context) noexcept;
    // Reads the child's output into `output` (appended) and reaps it. Once
    // per Start; the outcome of a Start that failed otherwise.
    BoundedOutcome Finish(BoundedOutput& output) noexcept;
    // Start and Finish.
    BoundedOutcome Run(Work work, void* context, BoundedOutput& output) noexcept;

    // A child started ahead of its need (the desktop's lookup runs beside
    // the export) holds a process slot until it is reaped, and a process
    // limit (ulimit -u) may leave no other. When a fork finds no slot
    // (EAGAIN), Start calls `release` once to finish such a child, then
    // forks again. `release` must be safe to call from within a Start.
    using SlotRelease = void (*)() noexcept;
    static void SetSlotRelease(SlotRelease release) noexcept;

    // True between a Start that forked and its Finish.
    bool Running() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    const BoundedLimits& Limits() const { return m_limits; }

private:
    BoundedLimits m_limits;
    pid_t m_pid = -1;
    int m_pipe = -1;
    int m_pidfd = -1;
    std::chrono::steady_clock::time_point m_deadline{};
    BoundedOutcome m_failed{};
};

}  // namespace qel::host
