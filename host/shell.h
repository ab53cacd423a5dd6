// Starting programs.
#pragma once

#include "host/api.h"

#include <string>
#include <vector>

class QEL_HOST_API CZorShellSv {
public:
    // Starts `program` directly (no shell) with `arguments` split into
    // arguments by the quoting rules of a Windows command line (a
    // double-quoted path is one argument, without its quotes). Does not wait
    // and leaves no zombie behind: a thread of this library waits for the
    // program, so the host needs no SIGCHLD handler. A program without '/' is
    // looked up in PATH; one pair of double quotes around the program is
    // removed. The program starts with the host's environment and folder,
    // default signal handling, and standard input, output and error as its
    // only open files. Returns non-zero when the program started, 0 when it
    // could not be executed (missing, not executable) or a text holds a NUL.
    // A program started is noted in the export's report (report.h).
    static int exec(const std::u16string& program, const std::u16string& arguments);

    // The arguments of a command-line text as Windows' CommandLineToArgvW
    // splits them after the program name: blanks and tabs separate outside
    // double quotes; 2n backslashes before a quote give n backslashes and the
    // quote opens or closes a quoted part; 2n+1 give n backslashes and a
    // literal quote; other backslashes are literal. A run of k quotes not
    // escaped gives t / 3 literal quotes, where t is k plus one when the run
    // starts inside a quoted part, and leaves a quoted part open when
    // t % 3 == 1 (so `"a""b"` is a"b). `""` is an empty argument.
    static std::vector<std::u16string> SplitArguments(const std::u16string& text);
};

namespace qel::host {

// Opens `folder` in the desktop's file manager: starts `xdg-open FOLDER`
// (found along PATH) as exec starts a program, without a shell, without
// waiting. False when it could not be started or the path is empty or
// holds a NUL. A start here is no program of the export's report.
QEL_HOST_API bool OpenFolder(const std::string& folder);

}  // namespace qel::host
