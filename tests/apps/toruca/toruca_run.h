// Running the built toruca program (QEL_TORUCA_PATH) in a folder of the
// test's, as a user would.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace qel::test {

struct TorucaRun {
    int exitCode = -1;  // 128 + N when ended by signal N
    std::string out, err;
    std::vector<std::string> OutLines() const;
    std::vector<std::string> ErrLines() const;
};

// How toruca is started beyond its arguments.
struct TorucaStart {
    std::string input;          // standard input's bytes
    std::size_t piece = 0;      // >0: standard input is a pipe that a writer fills `piece` bytes per write
    bool endless = false;       // with `piece`: `input` written again and again until toruca stops reading
    bool held = false;          // standard input is a pipe the caller writes (TorucaProcess::input)
    bool outputClosed = false;  // standard output is a pipe nobody reads
    std::vector<std::pair<std::string, std::string>> environment;  // set for toruca alone
    long fileSizeLimit = -1;                                       // >=0: toruca's RLIMIT_FSIZE
};

// Runs toruca with `args` in the working folder `cwd`, with the host's
// variables (QELHOST_*) removed from its environment, messages in English
// (LC_MESSAGES=C, LC_ALL and LANGUAGE removed) unless `env` sets others, and
// `input` on its standard input.
TorucaRun RunToruca(const std::filesystem::path& cwd, const std::vector<std::string>& args,
                    const std::string& input = {}, const std::vector<std::pair<std::string, std::string>>& env = {});
TorucaRun RunToruca(const std::filesystem::path& cwd, const std::vector<std::string>& args, const TorucaStart& start);

// A toruca started and not yet waited for.
class TorucaProcess {
public:
    TorucaProcess(const std::filesystem::path& cwd, const std::vector<std::string>& args, const TorucaStart& start);
    ~TorucaProcess();
    TorucaProcess(const TorucaProcess&) = delete;
    TorucaProcess& operator=(const TorucaProcess&) = delete;

    pid_t pid() const { return m_pid; }
    int input() const { return m_input; }  // the write end of a held standard input; -1 otherwise
    void CloseInput();
    // Waits for the end; a process that has not ended after a minute is
    // killed (SIGKILL) and the failure recorded, so a hang fails the test
    // instead of holding it.
    TorucaRun Wait();

private:
    pid_t m_pid = -1, m_writer = -1;
    int m_input = -1, m_outFd = -1, m_errFd = -1;
    std::string m_outName, m_errName;
};

// A picture as drawn: its size, its top left pixel (0xRRGGBB) and how many
// of its pixels are not white; all 0 when `png` is no picture.
struct Picture {
    int width = 0, height = 0;
    unsigned corner = 0;
    int ink = 0;
};
Picture ReadPicture(const std::filesystem::path& png);

}  // namespace qel::test
