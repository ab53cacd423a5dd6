// Running the built qelhost (QEL_QELHOST_PATH) as a user would, and reading
// what it left behind.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qel::test {

struct QelhostRun {
    int exitCode = -1;                  // the exit status; 128 + N when killed by signal N
    std::string out;                    // standard output
    std::string err;                    // standard error
    std::vector<std::string> errLines;  // standard error cut into lines

    // True when standard error holds exactly this line.
    bool HasErrLine(const std::string& line) const;
    // The lines of standard error that begin with "qelhost: message: ".
    std::vector<std::string> Messages() const;
};

struct QelhostOptions {
    // Variables set for qelhost on top of a cleaned environment: DISPLAY,
    // WAYLAND_DISPLAY, the QELHOST_ variables, the message language's
    // (LC_ALL, LANGUAGE; LC_MESSAGES is C) and those given here are
    // removed first, so a run sees only what the test gives it. The XDG
    // data and config folders point at a folder that is not there unless
    // given here: the desktop has no default applications.
    std::vector<std::pair<std::string, std::string>> env;
    // RLIMIT_FSIZE in bytes for qelhost (SIGXFSZ ignored, so a write past it
    // fails with EFBIG instead of ending the process); none when empty.
    std::optional<unsigned long long> fileSizeLimit;
    // RLIMIT_AS in bytes for qelhost, as `ulimit -v` sets it; none when empty.
    std::optional<unsigned long long> addressSpaceLimit;
    // The qelhost to run; the build's (QEL_QELHOST_PATH) when empty.
    std::filesystem::path program;
    // The working folder qelhost starts in; the test's own when empty.
    std::filesystem::path workingFolder;
    std::chrono::seconds timeout{60};
};

// Runs qelhost with `args`, waits for it (killing it after the timeout, which
// fails the test) and collects its output.
QelhostRun RunQelhost(const std::vector<std::string>& args, const QelhostOptions& options = {});

// The .tpj and .trc files (any case) directly in `folder`, by name.
std::vector<std::string> ToruCaFiles(const std::filesystem::path& folder);

// Waits until `file` exists (up to `limit`); true when it does.
bool WaitForFile(const std::filesystem::path& file, std::chrono::milliseconds limit = std::chrono::seconds(10));

// An "editor" for the registry: a shell script that writes its argument
// count and arguments, one a line, into `record` (atomically, so a reader
// never sees half of it). Returns the script's path.
std::filesystem::path WriteRecordingEditor(const std::filesystem::path& script, const std::filesystem::path& record);

// The registry text that names `editor` as the ToruCa editor, in the quoted
// form "\"EDITOR\" \"%1\"".
std::string EditorRegistry(const std::string& editor);

}  // namespace qel::test
