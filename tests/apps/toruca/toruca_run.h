// Running the built toruca program (QEL_TORUCA_PATH) in a folder of the
// test's, as a user would.
#pragma once

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

// Runs toruca with `args` in the working folder `cwd`, with the host's
// variables (QELHOST_*) removed from its environment, messages in English
// (LC_MESSAGES=C, LC_ALL and LANGUAGE removed) unless `env` sets others, and
// `input` on its standard input.
TorucaRun RunToruca(const std::filesystem::path& cwd, const std::vector<std::string>& args,
                    const std::string& input = {}, const std::vector<std::pair<std::string, std::string>>& env = {});

}  // namespace qel::test
