// Untrusted work in a bounded child: each way a child can end is told apart,
// the child starts with only its own descriptors and its limits, and no
// child outlives its parent or is failed by a parent that was stopped.
#include "host/boundedchild.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace std::chrono_literals;
using qel::host::BoundedChild;
using qel::host::BoundedEnd;
using qel::host::BoundedLimits;
using qel::host::BoundedOutcome;
using qel::host::BoundedOutput;

#if defined(__SANITIZE_ADDRESS__)
#define QEL_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QEL_TEST_ASAN 1
#endif
#endif

bool WriteAll(int fd, const void* bytes, std::size_t size) {
    const char* p = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteText(int fd, const std::string& text) { return WriteAll(fd, text.data(), text.size()); }

// --- works the children run ---

int WriteHelloAndExit(void*, int fd) { return WriteText(fd, "hello") ? 0 : 9; }
int ExitFive(void*, int) { return 5; }
int Segfault(void*, int) {
    ::raise(SIGSEGV);
    return 0;
}
int Spin(void*, int) {
    volatile unsigned long i = 0;
    for (;;) i = i + 1;
}
int Sleep(void*, int) {
    for (;;) ::pause();
}
int CloseAndSleep(void*, int fd) {
    ::close(fd);
    for (;;) ::pause();
}
int WriteForever(void*, int fd) {
    static char block[65536];
    while (WriteAll(fd, block, sizeof block)) {}
    return 1;
}
// Three mebibytes, more than the pipe holds: the child waits for the
// parent's reads before it can end.
int WriteThreeMiB(void*, int fd) {
    static char block[3 << 20];
    std::memset(block, 'x', sizeof block);
    return WriteAll(fd, block, sizeof block) ? 0 : 1;
}

// What the child was given: its CPU and address-space soft limits, its open
// descriptors, what standard input is, its death signal and SIGPIPE's action.
int DescribeItself(void*, int fd) {
    rlimit cpu{}, as{};
    ::getrlimit(RLIMIT_CPU, &cpu);
    ::getrlimit(RLIMIT_AS, &as);
    std::string text = "cpu=" + std::to_string(cpu.rlim_cur) +
                       " as=" + (as.rlim_cur == RLIM_INFINITY ? std::string("none") : std::to_string(as.rlim_cur)) +
                       " fds=";
    DIR* dir = ::opendir("/proc/self/fd");
    for (dirent* e; dir && (e = ::readdir(dir));)
        if (e->d_name[0] != '.' && std::atoi(e->d_name) != ::dirfd(dir)) text += std::string(e->d_name) + ",";
    if (dir) ::closedir(dir);
    char in[64] = {};
    if (::readlink("/proc/self/fd/0", in, sizeof in - 1) < 0) in[0] = '?';
    int death = 0;
    ::prctl(PR_GET_PDEATHSIG, &death);
    struct sigaction pipe {};
    ::sigaction(SIGPIPE, nullptr, &pipe);
    text += std::string(" in=") + in + " death=" + std::to_string(death) +
            " sigpipe=" + (pipe.sa_handler == SIG_DFL ? "default" : "other");
    return WriteText(fd, text) ? 0 : 1;
}

struct Result {
    BoundedOutcome outcome;
    std::string output;
};

Result RunBounded(BoundedChild::Work work, const BoundedLimits& limits) {
    BoundedOutput output;
    const BoundedOutcome outcome = BoundedChild(limits).Run(work, nullptr, output);
    return {outcome, std::string(output.View())};
}

BoundedLimits Limits(std::chrono::milliseconds cpu, std::chrono::milliseconds deadline, std::size_t cap = SIZE_MAX) {
    BoundedLimits limits;
    limits.cpu = cpu;
    limits.deadline = deadline;
    limits.outputCap = cap;
    return limits;
}

// Each way of ending is told apart, with its code; only a finished child's
// output counts.
TEST(BoundedChildTest, EachEndIsToldApart) {
    struct Case {
        const char* name;
        BoundedChild::Work work;
        BoundedLimits limits;
        BoundedEnd end;
        int code;
    };
    const Case cases[] = {
        {"finished", &WriteHelloAndExit, Limits(1000ms, 60s), BoundedEnd::Finished, 0},
        {"exit status", &ExitFive, Limits(1000ms, 60s), BoundedEnd::Failed, 5},
        {"signal", &Segfault, Limits(1000ms, 60s), BoundedEnd::Signalled, SIGSEGV},
        {"cpu", &Spin, Limits(100ms, 60s), BoundedEnd::CpuLimit, SIGXCPU},
        {"deadline", &Sleep, Limits(0ms, 50ms), BoundedEnd::Deadline, 0},
        {"closed its end, runs on", &CloseAndSleep, Limits(0ms, 50ms), BoundedEnd::Deadline, 0},
        {"output cap", &WriteForever, Limits(0ms, 60s, 1 << 20), BoundedEnd::OutputCap, 0},
    };
    for (const Case& c : cases) {
        const Result r = RunBounded(c.work, c.limits);
        EXPECT_EQ(r.outcome.end, c.end) << c.name;
        EXPECT_EQ(r.outcome.code, c.code) << c.name;
    }
    EXPECT_EQ(RunBounded(&WriteHelloAndExit, Limits(0ms, 0ms)).output, "hello");
}

// The CPU limit is the deadline's seconds rounded up, never 0 (a child
// whose limit is 0 dies at once); the child holds the write end and
// standard error only, standard input is /dev/null, it dies with its parent
// and writes to a closed pipe end it by SIGPIPE.
TEST(BoundedChildTest, TheChildStartsWithItsLimitsAndOwnDescriptorsOnly) {
    int extra[2];
    ASSERT_EQ(::pipe(extra), 0);  // the caller's, never the child's
    struct Case {
        std::chrono::milliseconds cpu;
        const char* cpuText;
    };
    for (const Case c : {Case{300ms, "cpu=1 "}, Case{1000ms, "cpu=1 "}, Case{2500ms, "cpu=3 "}}) {
        const Result r = RunBounded(&DescribeItself, Limits(c.cpu, 60s));
        ASSERT_EQ(r.outcome.end, BoundedEnd::Finished);
        EXPECT_EQ(r.output.rfind(c.cpuText, 0), 0u) << r.output;
        EXPECT_NE(r.output.find(" fds=0,1,2,3, in=/dev/null death=9 sigpipe=default"), std::string::npos) << r.output;
    }
    ::close(extra[0]);
    ::close(extra[1]);
}

#ifndef QEL_TEST_ASAN
// A caller under a soft address-space limit: the child's limit is never
// above it, however much the work is allowed; the child's limit is below
// the caller's when the allowance is small.
[[noreturn]] void AddressSpaceNeverAboveTheCallersOwn() {
    rlimit as{};
    ::getrlimit(RLIMIT_AS, &as);
    const rlim_t own = rlim_t{4} << 30;
    as.rlim_cur = own;
    if (::setrlimit(RLIMIT_AS, &as) != 0) std::_Exit(10);
    BoundedLimits limits;
    limits.addressSpace = std::size_t{1} << 40;
    Result r = RunBounded(&DescribeItself, limits);
    if (r.output.find("as=" + std::to_string(own) + " ") == std::string::npos) std::_Exit(11);
    limits.addressSpace = std::size_t{64} << 20;
    r = RunBounded(&DescribeItself, limits);
    const std::size_t at = r.output.find("as=");
    if (at == std::string::npos || std::strtoull(r.output.c_str() + at + 3, nullptr, 10) >= own) std::_Exit(12);
    std::_Exit(0);
}

TEST(BoundedChildDeathTest, AddressSpaceNeverAboveTheCallersOwn) {
    EXPECT_EXIT(AddressSpaceNeverAboveTheCallersOwn(), testing::ExitedWithCode(0), "");
}
#endif

// A parent that is killed while its child fills the pipe: the child must
// end with it, not wait for good. Run below a process that adopts orphans,
// so that the child's end can be waited for.
// `also`: a second signal that may end it first.
[[noreturn]] void ChildEndsWithItsParent(BoundedChild::Work work, int also) {
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    int report[2];
    if (::pipe(report) != 0) std::_Exit(20);
    const pid_t parent = ::fork();
    if (parent == 0) {
        // The work says when it runs: its death signal is set by then.
        sigset_t ready;
        ::sigemptyset(&ready);
        ::sigaddset(&ready, SIGUSR1);
        ::sigprocmask(SIG_BLOCK, &ready, nullptr);
        BoundedChild child(Limits(0ms, 0ms));
        if (!child.Start(work, nullptr)) std::_Exit(21);
        int sig = 0;
        ::sigwait(&ready, &sig);
        const pid_t pid = child.Pid();
        WriteAll(report[1], &pid, sizeof pid);
        for (;;) ::pause();
    }
    pid_t grandchild = 0;
    if (::read(report[0], &grandchild, sizeof grandchild) != sizeof grandchild) std::_Exit(22);
    ::kill(parent, SIGKILL);
    int status = 0;
    ::waitpid(parent, &status, 0);
    if (::waitpid(grandchild, &status, 0) != grandchild) std::_Exit(23);
    if (!WIFSIGNALED(status)) std::_Exit(24);
    std::_Exit(WTERMSIG(status) == SIGKILL || WTERMSIG(status) == also ? 0 : 100 + WTERMSIG(status));
}

int WriteForeverWithAlarm(void*, int fd) {
    ::kill(::getppid(), SIGUSR1);
    ::alarm(30);  // a child that outlived its parent ends by SIGALRM, not SIGKILL
    return WriteForever(nullptr, fd);
}
int SleepWithAlarm(void*, int) {
    ::kill(::getppid(), SIGUSR1);
    ::alarm(30);
    return Sleep(nullptr, 0);
}

TEST(BoundedChildDeathTest, NoChildOutlivesItsParent) {
    // The pipe's read end closes with the parent before its death signal comes.
    EXPECT_EXIT(ChildEndsWithItsParent(&WriteForeverWithAlarm, SIGPIPE), testing::ExitedWithCode(0), "");
    EXPECT_EXIT(ChildEndsWithItsParent(&SleepWithAlarm, SIGKILL), testing::ExitedWithCode(0), "");
}

// A child that finished while its parent was stopped past the deadline: its
// output waits in the pipe and it is judged by its exit. The child stops the
// parent itself once it has written, and a watcher lets the parent go on
// once the child has ended.
int WriteThenStopTheParent(void*, int fd) {
    const bool written = WriteText(fd, "done");
    ::kill(::getppid(), SIGSTOP);
    return written ? 0 : 1;
}

[[noreturn]] void StoppedParentKeepsAFinishedChild() {
    BoundedOutput output;
    const BoundedOutcome outcome = BoundedChild(Limits(0ms, 1ms)).Run(&WriteThenStopTheParent, nullptr, output);
    std::_Exit(outcome.end == BoundedEnd::Finished && output.View() == "done" ? 0 : 30);
}

TEST(BoundedChildTest, AParentStoppedPastTheDeadlineKeepsAFinishedChild) {
    const pid_t parent = ::fork();
    if (parent == 0) StoppedParentKeepsAFinishedChild();
    int status = 0;
    ASSERT_EQ(::waitpid(parent, &status, WUNTRACED), parent);
    ASSERT_TRUE(WIFSTOPPED(status));
    // Past the 1 ms deadline for certain, and time for the child to end.
    ::usleep(200000);
    ::kill(parent, SIGCONT);
    ASSERT_EQ(::waitpid(parent, &status, 0), parent);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// A child whose output is larger than the pipe waits for the parent's reads;
// a parent that comes late still reads it all.
TEST(BoundedChildTest, ALateParentReadsAWaitingChildWhole) {
    BoundedChild child(Limits(0ms, 1ms));
    ASSERT_TRUE(child.Start(&WriteThreeMiB, nullptr));
    ::usleep(50000);  // the deadline has passed with the pipe full
    BoundedOutput output;
    const BoundedOutcome outcome = child.Finish(output);
    EXPECT_EQ(outcome.end, BoundedEnd::Finished);
    EXPECT_EQ(output.Size(), std::size_t{3} << 20);
}

TEST(BoundedChildTest, AFailedStartIsReported) {
    BoundedChild child(Limits(0ms, 0ms));
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    const rlimit none{0, files.rlim_max};
    ::setrlimit(RLIMIT_NOFILE, &none);
    const bool started = child.Start(&ExitFive, nullptr);
    ::setrlimit(RLIMIT_NOFILE, &files);
    EXPECT_FALSE(started);
    BoundedOutput output;
    const BoundedOutcome outcome = child.Finish(output);
    EXPECT_EQ(outcome.end, BoundedEnd::NotStarted);
    EXPECT_EQ(outcome.code, EMFILE);
}

// A child started ahead of its need holds a process slot until it is reaped.
// Under a process limit that leaves it the last slot, another child's fork
// finds none: Start has the early child finished, once, and forks again;
// with nothing to release it fails with EAGAIN. The limit counts every
// process of a user, so this runs as a user id nobody else uses (root only).
constexpr uid_t kUnusedUser = 3999999;
BoundedChild* g_early = nullptr;
int g_releases = 0;
void FinishEarlyChild() noexcept {
    ++g_releases;
    BoundedOutput ignored;
    g_early->Finish(ignored);
}

[[noreturn]] void ForkWithTheLastSlotTaken(bool release) {
    const rlimit oneChild{2, 2};  // this process and one child
    if (::setresgid(kUnusedUser, kUnusedUser, kUnusedUser) != 0 ||
        ::setresuid(kUnusedUser, kUnusedUser, kUnusedUser) != 0 || ::setrlimit(RLIMIT_NPROC, &oneChild) != 0)
        std::_Exit(40);
    BoundedChild early(Limits(0ms, 0ms));
    if (!early.Start(&WriteHelloAndExit, nullptr)) std::_Exit(41);
    g_early = &early;
    BoundedChild::SetSlotRelease(release ? &FinishEarlyChild : nullptr);
    BoundedOutput output;
    const BoundedOutcome outcome = BoundedChild(Limits(0ms, 0ms)).Run(&WriteHelloAndExit, nullptr, output);
    const int status =
        release ? (outcome.Ok() && output.View() == "hello" && g_releases == 1 ? 0 : 42)
                : (outcome.end == BoundedEnd::NotStarted && outcome.code == EAGAIN && early.Running() ? 0 : 43);
    // Reaped here: a zombie left to a container's first process may keep
    // this user's slot for the next case.
    if (early.Running()) FinishEarlyChild();
    std::_Exit(status);
}

TEST(BoundedChildTest, AForkWithoutASlotHasTheEarlyChildFinishedFirst) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to run as a user of its own";
    for (const bool release : {true, false}) {
        SCOPED_TRACE(release ? "released" : "nothing to release");
        const pid_t pid = ::fork();
        if (pid == 0) ForkWithTheLastSlotTaken(release);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}

}  // namespace
