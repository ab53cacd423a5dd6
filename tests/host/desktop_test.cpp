// The desktop's answers asked for in a child process: the answer this
// process would have had, the child waited for once it is taken, and no
// child at all while the process has another thread.
#include "host/desktop.h"

#include <sys/wait.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/support/test_support.h"

namespace {

constexpr char kProjectType[] = "application/x-toruca-project";

// True while this process has a child it has not waited for (which stays
// waitable).
bool HasChild() {
    siginfo_t info{};
    return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

TEST(DesktopPrefetch, TheChildsAnswerIsTheOneAskedHereAndTheChildIsWaitedFor) {
    ASSERT_FALSE(HasChild());
    qel::host::PrefetchDesktopOpenCommands();
    EXPECT_TRUE(HasChild());
    const std::u16string prefetched = qel::host::DesktopOpenCommand(kProjectType);
    EXPECT_FALSE(HasChild());
    EXPECT_EQ(prefetched, qel::host::DesktopOpenCommand(kProjectType));  // taken once: now asked here
}

TEST(DesktopPrefetch, NoChildWhileAnotherThreadRuns) {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    std::thread other([&] {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return done; });
    });
    qel::host::PrefetchDesktopOpenCommands();
    EXPECT_FALSE(HasChild());
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    changed.notify_all();
    other.join();
}

}  // namespace
