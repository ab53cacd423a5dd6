#include "tests/apps/toruca/toruca_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

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

int TempFile(std::string& name) {
    name = "/tmp/toruca-test-XXXXXX";
    return ::mkstemp(name.data());
}

// A child that writes `bytes` to `fd` `piece` bytes per write call (again
// and again when `endless`) and ends when it is done or nobody reads.
pid_t StartWriter(int fd, const std::string& bytes, std::size_t piece, bool endless) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::signal(SIGPIPE, SIG_DFL);
    do {
        for (std::size_t done = 0; done < bytes.size();) {
            const std::size_t n = std::min(piece, bytes.size() - done);
            const ssize_t w = ::write(fd, bytes.data() + done, n);
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) _exit(0);
            done += static_cast<std::size_t>(w);
        }
    } while (endless);
    _exit(0);
}

// Standard input as `start` asks; the read end for toruca.
int InputFor(const TorucaStart& start, int& held, pid_t& writer) {
    if (start.piece > 0 || start.held) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return -1;
        if (start.held) held = fds[1];
        else {
            writer = StartWriter(fds[1], start.input, start.piece, start.endless);
            ::close(fds[1]);
        }
        return fds[0];
    }
    std::string name;
    const int fd = TempFile(name);
    ::unlink(name.c_str());
    if (::write(fd, start.input.data(), start.input.size()) != static_cast<ssize_t>(start.input.size()) ||
        ::lseek(fd, 0, SEEK_SET) != 0)
        ADD_FAILURE() << "cannot write the standard input";
    return fd;
}

}  // namespace

std::vector<std::string> TorucaRun::OutLines() const { return Lines(out); }
std::vector<std::string> TorucaRun::ErrLines() const { return Lines(err); }

TorucaProcess::TorucaProcess(const std::filesystem::path& cwd, const std::vector<std::string>& args,
                             const TorucaStart& start) {
    m_outFd = TempFile(m_outName);
    m_errFd = TempFile(m_errName);
    const int inFd = InputFor(start, m_input, m_writer);
    int outPipe[2] = {-1, -1};
    if (start.outputClosed && ::pipe2(outPipe, O_CLOEXEC) == 0) ::close(outPipe[0]);
    if (m_outFd < 0 || m_errFd < 0 || inFd < 0) {
        ADD_FAILURE() << "cannot make toruca's standard files";
        return;
    }
    std::vector<std::string> store{QEL_TORUCA_PATH};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : store) argv.push_back(a.data());
    argv.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(inFd, 0);
        ::dup2(start.outputClosed ? outPipe[1] : m_outFd, 1);
        ::dup2(m_errFd, 2);
        ::unsetenv("QELHOST_TEMP_DIR");
        ::unsetenv("QELHOST_REGISTRY");
        ::unsetenv("QELHOST_SCRIPT");
        ::unsetenv("LC_ALL");
        ::unsetenv("LANGUAGE");
        ::setenv("LC_MESSAGES", "C", 1);
        for (const auto& [name, value] : start.environment) ::setenv(name.c_str(), value.c_str(), 1);
        if (start.fileSizeLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(start.fileSizeLimit), static_cast<rlim_t>(start.fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (::chdir(cwd.c_str()) != 0) _exit(126);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(inFd);
    if (outPipe[1] >= 0) ::close(outPipe[1]);
}

void TorucaProcess::CloseInput() {
    if (m_input >= 0) ::close(m_input);
    m_input = -1;
}

TorucaRun TorucaProcess::Wait() {
    TorucaRun run;
    int status = 0;
    for (int waited = 0; m_pid > 0;) {
        const pid_t ended = ::waitpid(m_pid, &status, WNOHANG);
        if (ended == m_pid || (ended < 0 && errno != EINTR)) break;
        if (++waited == 6000) {
            ADD_FAILURE() << "toruca still ran after a minute";
            ::kill(m_pid, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_pid = -1;
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) run.exitCode = 128 + WTERMSIG(status);
    CloseInput();
    if (m_writer > 0) {
        ::kill(m_writer, SIGKILL);
        while (::waitpid(m_writer, nullptr, 0) < 0 && errno == EINTR) {}
        m_writer = -1;
    }
    run.out = ReadFileBytes(m_outName);
    run.err = ReadFileBytes(m_errName);
    return run;
}

TorucaProcess::~TorucaProcess() {
    if (m_pid > 0) Wait();
    CloseInput();
    for (const int fd : {m_outFd, m_errFd})
        if (fd >= 0) ::close(fd);
    ::unlink(m_outName.c_str());
    ::unlink(m_errName.c_str());
}

TorucaRun RunToruca(const std::filesystem::path& cwd, const std::vector<std::string>& args, const TorucaStart& start) {
    TorucaProcess process(cwd, args, start);
    return process.Wait();
}

Picture ReadPicture(const std::filesystem::path& png) {
    Picture picture;
    GError* error = nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(png.c_str(), &error);
    if (error) g_error_free(error);
    if (!pixbuf) return picture;
    picture.width = gdk_pixbuf_get_width(pixbuf);
    picture.height = gdk_pixbuf_get_height(pixbuf);
    const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf), channels = gdk_pixbuf_get_n_channels(pixbuf);
    picture.corner = (unsigned(pixels[0]) << 16) | (unsigned(pixels[1]) << 8) | pixels[2];
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const guchar* p = pixels + y * stride + x * channels;
            if (p[0] < 0xF0 || p[1] < 0xF0 || p[2] < 0xF0) ++picture.ink;
        }
    g_object_unref(pixbuf);
    return picture;
}

TorucaRun RunToruca(const std::filesystem::path& cwd, const std::vector<std::string>& args, const std::string& input,
                    const std::vector<std::pair<std::string, std::string>>& env) {
    TorucaStart start;
    start.input = input;
    start.environment = env;
    return RunToruca(cwd, args, start);
}

}  // namespace qel::test
