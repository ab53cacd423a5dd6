// The desktop's default applications, through GIO's GAppInfo: the lookup is
// the desktop's own, so whatever `gio mime TYPE APP` or a file manager's
// "Open With" has set is what the host finds.
#include "host/desktop.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/codepage.h"
#include "framework/strings.h"

namespace {

struct FileClass {
    std::u16string_view key;
    const char* mimeType;
};
constexpr FileClass kFileClasses[] = {
    {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\ToruCaEditor.tpj\\shell\\Open\\command", "application/x-toruca-project"},
};

struct GObjectUnref {
    void operator()(void* object) const { g_object_unref(object); }
};
struct GFree {
    void operator()(char* text) const { g_free(text); }
};
struct GStrvFree {
    void operator()(char** texts) const { g_strfreev(texts); }
};

// The field codes a desktop entry may add that pass no file: the icon, the
// name and the entry's own path.
bool IsExtraFieldCode(std::string_view arg) { return arg == "%i" || arg == "%c" || arg == "%k"; }
bool IsFileFieldCode(std::string_view arg) { return arg == "%f" || arg == "%F" || arg == "%u" || arg == "%U"; }

// The program of a desktop entry's command line when the rest of it is one
// file and nothing else; empty otherwise.
std::string ProgramOfCommandLine(const char* commandLine) {
    if (!commandLine) return {};
    char** raw = nullptr;
    if (!g_shell_parse_argv(commandLine, nullptr, &raw, nullptr)) return {};
    const std::unique_ptr<char*, GStrvFree> argv(raw);
    int files = 0;
    for (char** arg = raw + 1; *arg; ++arg) {
        if (IsFileFieldCode(*arg)) ++files;
        else if (!IsExtraFieldCode(*arg)) return {};
    }
    if (files > 1) return {};
    // The full path of the program, looked up along PATH as the desktop
    // would start it; null when it is not there or not executable.
    const std::unique_ptr<char, GFree> found(g_find_program_in_path(raw[0]));
    return found ? std::string(found.get()) : std::string();
}

// The program the desktop opens `mimeType` with, when its command line is
// one the registry's form can say; empty otherwise.
std::string DefaultProgram(const char* mimeType) {
    const std::unique_ptr<GAppInfo, GObjectUnref> app(g_app_info_get_default_for_type(mimeType, FALSE));
    return app ? ProgramOfCommandLine(g_app_info_get_commandline(app.get())) : std::string();
}

// The open command of `program` in the registry's form; empty for none.
std::u16string OpenCommandOf(const std::string& program) {
    // The registry's quoting has no escape inside the quotes.
    if (program.empty() || program.find('"') != std::string::npos) return {};
    return u"\"" + qel::framework::PathFromNative(program) + u"\" \"%1\"";
}

// --- The answers of a child process ---------------------------------------------

// True when this process has a single thread, as /proc/self/status says.
bool SingleThreaded() {
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char text[4096];
    const ssize_t n = ::read(fd, text, sizeof text);
    ::close(fd);
    if (n <= 0) return false;
    const std::string_view status(text, static_cast<std::size_t>(n));
    const std::size_t at = status.find("\nThreads:\t");
    return at != std::string_view::npos && status.substr(at + 10, 2) == "1\n";
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The child's work: each file class's program, in the table's order, each
// followed by a NUL (no path holds one).
[[noreturn]] void AnswerInChild(int fd) {
    int status = 1;
    try {
        std::string answer;
        for (const FileClass& c : kFileClasses) {
            answer += DefaultProgram(c.mimeType);
            answer += '\0';
        }
        if (WriteAll(fd, answer)) status = 0;
    } catch (...) {
        // No memory for the answer: the parent asks itself.
    }
    ::_exit(status);
}

// The child asked by PrefetchDesktopOpenCommands and, once read, its
// answers by file class (each taken once). The child is waited for when the
// answers are first wanted, or when the process exits.
class Prefetched {
public:
    ~Prefetched() {
        std::lock_guard<std::mutex> lock(m_mutex);
        Collect();
    }

    void Start() noexcept {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_child > 0 || !SingleThreaded()) return;
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            AnswerInChild(fds[1]);
        }
        ::close(fds[1]);
        if (child < 0) {
            ::close(fds[0]);
            return;
        }
        m_child = child;
        m_pipe = fds[0];
    }

    // The program the child found for `mimeType`, the first time it is asked
    // for; none when there is no child's answer for it.
    std::optional<std::string> Take(const char* mimeType) {
        std::lock_guard<std::mutex> lock(m_mutex);
        Collect();
        for (std::size_t i = 0; i < m_answers.size(); ++i) {
            if (std::string_view(kFileClasses[i].mimeType) != mimeType) continue;
            return std::exchange(m_answers[i], std::nullopt);
        }
        return std::nullopt;
    }

private:
    // Reads the child's answer to its end and waits for the child. An answer
    // that is not whole (the child failed) gives none.
    void Collect() noexcept {
        if (m_child <= 0) return;
        std::string answer;
        char block[4096];
        for (;;) {
            const ssize_t n = ::read(m_pipe, block, sizeof block);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            try {
                answer.append(block, static_cast<std::size_t>(n));
            } catch (...) {
                answer.clear();
                break;
            }
        }
        ::close(m_pipe);
        int status = 0;
        // A host that reaps every child itself leaves ECHILD: the answer tells.
        while (::waitpid(m_child, &status, 0) < 0 && errno == EINTR) {}
        m_child = -1;
        m_pipe = -1;
        std::vector<std::optional<std::string>> answers;
        try {
            for (std::size_t at = 0; answers.size() < std::size(kFileClasses);) {
                const std::size_t end = answer.find('\0', at);
                if (end == std::string::npos) return;
                answers.emplace_back(answer.substr(at, end - at));
                at = end + 1;
            }
        } catch (...) {
            return;
        }
        m_answers.swap(answers);
    }

    std::mutex m_mutex;
    pid_t m_child = -1;
    int m_pipe = -1;
    std::vector<std::optional<std::string>> m_answers;
};

Prefetched& PrefetchedAnswers() {
    static Prefetched answers;
    return answers;
}

}  // namespace

namespace qel::host {

const char* DesktopTypeOfKey(std::u16string_view keyPath) {
    for (const FileClass& c : kFileClasses)
        if (qel::framework::EqualsNoCase(keyPath, c.key)) return c.mimeType;
    return nullptr;
}

std::u16string DesktopOpenCommand(const char* mimeType) {
    if (const std::optional<std::string> program = PrefetchedAnswers().Take(mimeType)) return OpenCommandOf(*program);
    return OpenCommandOf(DefaultProgram(mimeType));
}

void PrefetchDesktopOpenCommands() noexcept { PrefetchedAnswers().Start(); }

}  // namespace qel::host
