#include "tests/apps/toruca/toruca_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "tests/support/test_support.h"

namespace qel::test {

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::vector<std::string> TorucaRun::OutLines() const { return Lines(out); }
std::vector<std::string> TorucaRun::ErrLines() const { return Lines(err); }

TorucaRun RunToruca(const std::filesystem::path& cwd, const std::vector<std::string>& args, const std::string& input,
                    const std::vector<std::pair<std::string, std::string>>& env) {
    TorucaRun run;
    char outName[] = "/tmp/toruca-test-out-XXXXXX";
    char errName[] = "/tmp/toruca-test-err-XXXXXX";
    char inName[] = "/tmp/toruca-test-in-XXXXXX";
    const int outFd = ::mkstemp(outName), errFd = ::mkstemp(errName), inFd = ::mkstemp(inName);
    if (outFd < 0 || errFd < 0 || inFd < 0) {
        ADD_FAILURE() << "mkstemp failed";
        return run;
    }
    ::unlink(inName);
    if (::write(inFd, input.data(), input.size()) != static_cast<ssize_t>(input.size()) ||
        ::lseek(inFd, 0, SEEK_SET) != 0)
        ADD_FAILURE() << "cannot write the standard input";
    std::vector<std::string> store{QEL_TORUCA_PATH};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : store) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(inFd, 0);
        ::dup2(outFd, 1);
        ::dup2(errFd, 2);
        ::unsetenv("QELHOST_TEMP_DIR");
        ::unsetenv("QELHOST_REGISTRY");
        ::unsetenv("QELHOST_SCRIPT");
        ::unsetenv("LC_ALL");
        ::unsetenv("LANGUAGE");
        ::setenv("LC_MESSAGES", "C", 1);
        for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
        if (::chdir(cwd.c_str()) != 0) _exit(126);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) run.exitCode = 128 + WTERMSIG(status);
    ::close(inFd);
    ::close(outFd);
    ::close(errFd);
    run.out = ReadFileBytes(outName);
    run.err = ReadFileBytes(errName);
    ::unlink(outName);
    ::unlink(errName);
    return run;
}

}  // namespace qel::test
