#include "tests/support/qelhost_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

extern char** environ;

namespace qel::test {

namespace {

bool Removed(const std::string& entry) {
    static const char* const names[] = {
        "DISPLAY=",         "WAYLAND_DISPLAY=", "QELHOST_", "XDG_DATA_HOME=", "XDG_DATA_DIRS=",
        "XDG_CONFIG_HOME=", "XDG_CONFIG_DIRS=", "LC_ALL=",  "LC_MESSAGES=",   "LANGUAGE="};
    for (const char* n : names)
        if (entry.rfind(n, 0) == 0) return true;
    return false;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

bool QelhostRun::HasErrLine(const std::string& line) const {
    return std::find(errLines.begin(), errLines.end(), line) != errLines.end();
}

std::vector<std::string> QelhostRun::Messages() const {
    std::vector<std::string> m;
    for (const std::string& l : errLines)
        if (l.rfind("qelhost: message: ", 0) == 0) m.push_back(l);
    return m;
}

namespace {

// The child's environment: ours without the display and qelhost's own
// variables, and with `options.env` set.
std::vector<std::string> ChildEnvironment(const QelhostOptions& options) {
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
        const bool given = std::any_of(options.env.begin(), options.env.end(), [&](const auto& v) {
            return std::strncmp(*e, v.first.c_str(), v.first.size()) == 0 && (*e)[v.first.size()] == '=';
        });
        if (!Removed(*e) && !given) envStore.emplace_back(*e);
    }
    for (const auto& [name, value] : options.env) envStore.push_back(name + "=" + value);
    // A desktop of no applications, unless the test gives one: no default
    // editor of the machine running the tests is ever started.
    for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"}) {
        const bool given =
            std::any_of(options.env.begin(), options.env.end(), [&](const auto& v) { return v.first == name; });
        if (!given) envStore.push_back(std::string(name) + "=/nonexistent/qel-test-desktop");
    }
    // Messages in English whatever the language of the machine running the
    // tests, unless the test chooses one (LC_ALL wins over this).
    envStore.emplace_back("LC_MESSAGES=C");
    return envStore;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// In the child, after fork: standard output and error to the pipes, then qelhost.
[[noreturn]] void ExecChild(const int outPipe[2], const int errPipe[2], const QelhostOptions& options,
                            char* const argv[], char* const envp[]) {
    ::dup2(outPipe[1], 1);
    ::dup2(errPipe[1], 2);
    ::signal(SIGPIPE, SIG_DFL);
    if (options.fileSizeLimit) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(*options.fileSizeLimit), static_cast<rlim_t>(*options.fileSizeLimit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.addressSpaceLimit) {
        const auto bytes = static_cast<rlim_t>(*options.addressSpaceLimit);
        const rlimit limit{bytes, bytes};
        ::setrlimit(RLIMIT_AS, &limit);
    }
    if (!options.workingFolder.empty() && ::chdir(options.workingFolder.c_str()) != 0) _exit(126);
    ::execve(argv[0], argv, envp);
    _exit(127);
}

// Reads what is ready on the open descriptors of `fds` into `into`; closes
// and marks (-1) those that have ended. Answers how many it closed.
int ReadReady(pollfd (&fds)[2], std::string* const (&into)[2]) {
    int closed = 0;
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buf[4096];
        const ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
        if (got > 0) {
            into[i]->append(buf, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            ::close(fds[i].fd);
            fds[i].fd = -1;
            ++closed;
        }
    }
    return closed;
}

// Collects both pipes until they end or the time is up; false on time-out.
// An editor that qelhost started may still hold the pipes, so they are
// closed here either way: qelhost itself is what is waited for.
bool Collect(int outFd, int errFd, QelhostRun& run, std::chrono::steady_clock::time_point deadline) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* const into[2] = {&run.out, &run.err};
    int open = 2;
    bool timedOut = false;
    while (open > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        const int n = ::poll(fds, 2, static_cast<int>(left.count()));
        if (n <= 0) continue;  // EINTR, or time to look at the clock again
        open -= ReadReady(fds, into);
    }
    for (pollfd& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    return !timedOut;
}

}  // namespace

QelhostRun RunQelhost(const std::vector<std::string>& args, const QelhostOptions& options) {
    QelhostRun run;
    std::vector<std::string> argStore{options.program.empty() ? std::string(QEL_QELHOST_PATH)
                                                              : options.program.string()};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<std::string> envStore = ChildEnvironment(options);
    const std::vector<char*> argv = Pointers(argStore), envp = Pointers(envStore);

    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return run;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        ADD_FAILURE() << "fork: " << std::strerror(errno);
        return run;
    }
    if (pid == 0) ExecChild(outPipe, errPipe, options, argv.data(), envp.data());
    ::close(outPipe[1]);
    ::close(errPipe[1]);

    if (!Collect(outPipe[0], errPipe[0], run, std::chrono::steady_clock::now() + options.timeout)) {
        ::kill(pid, SIGKILL);
        ADD_FAILURE() << "qelhost did not end within " << options.timeout.count() << " s";
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) run.exitCode = 128 + WTERMSIG(status);
    run.errLines = Lines(run.err);
    return run;
}

std::vector<std::string> ToruCaFiles(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        if (lower.size() > 4 && (lower.ends_with(".tpj") || lower.ends_with(".trc"))) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool WaitForFile(const std::filesystem::path& file, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (std::filesystem::exists(file)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::filesystem::exists(file);
}

std::filesystem::path WriteRecordingEditor(const std::filesystem::path& script, const std::filesystem::path& record) {
    const std::string tmp = record.string() + ".part";
    WriteFileBytes(script,
                   "#!/bin/sh\n"
                   "printf '%s\\n' \"$#\" \"$@\" > '" +
                       tmp + "' && mv '" + tmp + "' '" + record.string() + "'\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    return script;
}

std::string EditorRegistry(const std::string& editor) {
    std::string escaped;
    for (char c : editor) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c;
    }
    return "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\ToruCaEditor.tpj\\shell\\Open\\command]\r\n"
           "@=\"\\\"" +
           escaped + "\\\" \\\"%1\\\"\"\r\n";
}

}  // namespace qel::test
