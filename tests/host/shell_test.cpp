// Program start: Windows command-line splitting, a real program receiving its
// arguments, no waiting, no zombie, nothing of the host inherited.
#include "host/shell.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>
#include <vector>

#include "framework/codepage.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using Args = std::vector<std::u16string>;

TEST(SplitArguments, WindowsCommandLineRules) {
    const struct {
        std::u16string text;
        Args expected;
    } cases[] = {
        {u"\"/tmp/a b/トルカ.tpj\"", {u"/tmp/a b/トルカ.tpj"}},
        {u"  \"abc\" d\te  ", {u"abc", u"d", u"e"}},
        {u"a\\\\\\b d\"e f\"g h", {u"a\\\\\\b", u"de fg", u"h"}},
        {u"a\\\\\\\"b c d", {u"a\\\"b", u"c", u"d"}},
        {u"a\\\\\\\\\"b c\" d e", {u"a\\\\b c", u"d", u"e"}},
        {u"\"C:\\Program Files\\\\\" next", {u"C:\\Program Files\\", u"next"}},
        {u"\"\" x \"\"", {u"", u"x", u""}},
        {u"\"a\"\"b\"", {u"a\"b"}},
        {u"\"a\"\"\"b c\"", {u"a\"b c"}},
        {u"\"\"\"\"", {u"\""}},
        {u"\"unterminated part", {u"unterminated part"}},
        {u"trailing\\", {u"trailing\\"}},
        {u"", {}},
        {u" \t ", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CZorShellSv::SplitArguments(c.text), c.expected) << qel::framework::WideToUtf8(c.text);
}

// Processes whose parent is this test (running or zombies).
std::vector<pid_t> Children() {
    std::vector<pid_t> found;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return found;
    while (const dirent* e = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
        if (pid <= 0) continue;
        // A process may end between the listing and the read: its file then
        // reads as an error (ESRCH), and the process is simply not counted.
        const int fd = ::open(("/proc/" + std::string(e->d_name) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        char buf[4096];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        ::close(fd);
        if (n <= 0) continue;
        const std::string stat(buf, static_cast<std::size_t>(n));
        const auto paren = stat.rfind(')');
        if (paren == std::string::npos) continue;
        std::istringstream rest(stat.substr(paren + 1));
        char state = 0;
        long ppid = 0;
        rest >> state >> ppid;
        if (ppid == ::getpid()) found.push_back(pid);
    }
    ::closedir(proc);
    return found;
}

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

class ShellTest : public qel::test::TempDirTest {
protected:
    // A script in a folder with a blank and Japanese in its name that
    // records its arguments (one a line), the signals it ignores and whether
    // descriptor 77 is open in it, then renames its record to args.out.
    std::u16string MakeRecorder() {
        fs::create_directory(path("ツール 1"));
        const fs::path script = path("ツール 1") / "rec.sh";
        qel::test::WriteFileBytes(script,
                                  "#!/bin/sh\n"
                                  "d=$(dirname \"$0\")\n"
                                  "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$d/args.tmp\"\n"
                                  "sed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status > \"$d/sig.out\"\n"
                                  "if [ -e /proc/$$/fd/77 ]; then echo open; else echo closed; fi > \"$d/fd.out\"\n"
                                  "mv \"$d/args.tmp\" \"$d/args.out\"\n");
        fs::permissions(script, fs::perms::owner_all);
        return qel::framework::PathFromNative(script.string());
    }
    std::string Record(const std::string& name) { return qel::test::ReadFileBytes(path("ツール 1") / name); }
    bool Recorded() {
        return WaitFor([&] { return fs::exists(path("ツール 1") / "args.out"); });
    }
};

TEST_F(ShellTest, QuotedPathWithBlanksIsOneArgumentAndNoZombieRemains) {
    const std::u16string recorder = MakeRecorder();
    EXPECT_NE(CZorShellSv::exec(recorder, u"\"/tmp/出力 先/toruca(1).tpj\" second \"x\\\"y\" \"\""), 0);
    ASSERT_TRUE(Recorded());
    EXPECT_EQ(Record("args.out"), "/tmp/出力 先/toruca(1).tpj\nsecond\nx\"y\n\n");
    EXPECT_TRUE(WaitFor([] { return Children().empty(); })) << "the program was not reaped";
}

TEST_F(ShellTest, QuotedProgramIsStartedToo) {
    const std::u16string recorder = MakeRecorder();
    EXPECT_NE(CZorShellSv::exec(u"\"" + recorder + u"\"", u"\"/tmp/a b.tpj\""), 0);
    ASSERT_TRUE(Recorded());
    EXPECT_EQ(Record("args.out"), "/tmp/a b.tpj\n");
    EXPECT_TRUE(WaitFor([] { return Children().empty(); }));
}

TEST_F(ShellTest, ProgramGetsNothingOfTheHost) {
    const std::u16string recorder = MakeRecorder();
    const int fd = ::open(path("ツール 1").c_str(), O_RDONLY);  // no close-on-exec
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::dup2(fd, 77), 77);
    struct sigaction ignore {
    }, saved{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGUSR1, &ignore, &saved);

    const int started = CZorShellSv::exec(recorder, u"");

    ::sigaction(SIGUSR1, &saved, nullptr);
    ::close(77);
    ::close(fd);
    EXPECT_NE(started, 0);
    ASSERT_TRUE(Recorded());
    EXPECT_EQ(Record("fd.out"), "closed\n");
    const unsigned long long ignored = std::strtoull(Record("sig.out").c_str(), nullptr, 16);
    EXPECT_EQ(ignored & (1ull << (SIGUSR1 - 1)), 0u) << Record("sig.out");
    EXPECT_TRUE(WaitFor([] { return Children().empty(); }));
}

TEST_F(ShellTest, DoesNotWaitForTheProgram) {
    EXPECT_NE(CZorShellSv::exec(u"/bin/sleep", u"1"), 0);
    EXPECT_EQ(Children().size(), 1u);  // still running: exec did not wait for it
    EXPECT_TRUE(WaitFor([] { return Children().empty(); }));
}

TEST_F(ShellTest, ProgramFoundInPath) {
    EXPECT_NE(CZorShellSv::exec(u"true", u""), 0);
    EXPECT_TRUE(WaitFor([] { return Children().empty(); }));
}

TEST_F(ShellTest, WhatCannotBeExecutedGivesZero) {
    const auto plain = WriteFile("editor.sh", "#!/bin/sh\n");  // not executable
    fs::permissions(path("editor.sh"), fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directory(path("フォルダ"));
    EXPECT_EQ(CZorShellSv::exec(wpath("無い editor"), u"\"/tmp/x.tpj\""), 0);
    EXPECT_EQ(CZorShellSv::exec(wpath("フォルダ"), u""), 0);
    EXPECT_EQ(CZorShellSv::exec(u"no-such-program-qel", u""), 0);
    EXPECT_EQ(CZorShellSv::exec(u"", u"x"), 0);
    EXPECT_EQ(CZorShellSv::exec(u"\"\"", u"x"), 0);
    EXPECT_EQ(CZorShellSv::exec(u"/bin/true", std::u16string(u"a\0b", 3)), 0);
    EXPECT_EQ(CZorShellSv::exec(plain, u""), 0);
    EXPECT_TRUE(WaitFor([] { return Children().empty(); }));
}

}  // namespace
