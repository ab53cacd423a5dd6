// The desktop's default applications, through GIO's GAppInfo: the lookup is
// the desktop's own, so whatever `gio mime TYPE APP` or a file manager's
// "Open With" has set is what the host finds.
#include "host/desktop.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/codepage.h"
#include "framework/diagnostic.h"
#include "framework/strings.h"
#include "host/boundedchild.h"

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
int AnswerInChild(void*, int fd) {
    try {
        std::string answer;
        for (const FileClass& c : kFileClasses) {
            answer += DefaultProgram(c.mimeType);
            answer += '\0';
        }
        return WriteAll(fd, answer) ? 0 : 1;
    } catch (...) {
        return 1;  // no memory for the answer
    }
}

// The lookup's bounds: GIO reads a few small files; one that never ends (a
// FIFO named mimeapps.list) or a lookup that blocks must not hold the export.
qel::host::BoundedLimits LookupLimits() {
    qel::host::BoundedLimits limits;
    limits.deadline = std::chrono::seconds(2);
    limits.cpu = std::chrono::seconds(2);
    limits.addressSpace = std::size_t{256} << 20;
    limits.outputCap = std::size_t{1} << 20;
    limits.quiet = true;  // GLib's complaints are not the host's lines
    return limits;
}

// The child asked by PrefetchDesktopOpenCommands and, once read, its
// answers by file class (each taken once). The child is waited for when the
// answers are first wanted, or when the process exits, never past its
// deadline.
class Prefetched {
public:
    ~Prefetched() {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        Collect();
    }

    // The child holds a process slot until it is reaped: another child's
    // fork that finds none has it reaped now (its answers kept for Take).
    // The lock is recursive, as that fork may be this child's own.
    static void Release() noexcept;

    void Start() noexcept {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_child.Running() || !SingleThreaded()) return;
        if (m_child.Start(&AnswerInChild, nullptr)) qel::host::BoundedChild::SetSlotRelease(&Release);
    }

    // The program the child found for `mimeType`, the first time it is asked
    // for (empty when the child failed: the export goes on without one);
    // none when no child was asked.
    std::optional<std::string> Take(const char* mimeType) {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        Collect();
        if (!m_why.empty()) {
            qel::framework::Diagnostic(qel::framework::DiagnosticPrefix() +
                                       "warning: " + std::exchange(m_why, std::string()));
        }
        for (std::size_t i = 0; i < m_answers.size(); ++i) {
            if (std::string_view(kFileClasses[i].mimeType) != mimeType) continue;
            return std::exchange(m_answers[i], std::nullopt);
        }
        return std::nullopt;
    }

private:
    // Reads the child's answer and reaps it. A child that failed answers
    // every class with none, and leaves the warning to give.
    void Collect() noexcept {
        if (!m_child.Running()) return;
        qel::host::BoundedOutput output;
        const qel::host::BoundedOutcome outcome = m_child.Finish(output);
        try {
            std::vector<std::optional<std::string>> answers;
            const std::string_view answer = output.View();
            for (std::size_t at = 0; answers.size() < std::size(kFileClasses);) {
                const std::size_t end = answer.find('\0', at);
                if (!outcome.Ok() || end == std::string_view::npos) {
                    answers.assign(std::size(kFileClasses), std::string());
                    m_why = WhyNoAnswer(outcome);
                    break;
                }
                answers.emplace_back(std::string(answer.substr(at, end - at)));
                at = end + 1;
            }
            m_answers.swap(answers);
        } catch (...) {
            m_answers.clear();  // no memory: each asks in this process
        }
    }

    static std::string WhyNoAnswer(const qel::host::BoundedOutcome& outcome) {
        if (outcome.end == qel::host::BoundedEnd::Deadline || outcome.end == qel::host::BoundedEnd::CpuLimit)
            return "no desktop default found in time";
        if (outcome.Ok()) return "no desktop default found: the lookup's answer is incomplete";
        return "no desktop default found: the lookup ended with " +
               qel::host::DescribeBoundedEnd(outcome, LookupLimits());
    }

    std::recursive_mutex m_mutex;
    qel::host::BoundedChild m_child{LookupLimits()};
    std::vector<std::optional<std::string>> m_answers;
    std::string m_why;
};

Prefetched& PrefetchedAnswers() {
    static Prefetched answers;
    return answers;
}

void Prefetched::Release() noexcept {
    Prefetched& answers = PrefetchedAnswers();
    std::lock_guard<std::recursive_mutex> lock(answers.m_mutex);
    answers.Collect();
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
