// Starting programs.
#pragma once

#include <string>

class CZorShellSv {
public:
    // Starts `program` directly (no shell) with `arguments` split into
    // arguments by the quoting rules of a Windows command line (a
    // double-quoted path is one argument, without its quotes). Does not wait
    // and leaves no zombie behind. Returns non-zero when the program started.
    static int exec(const std::u16string& program, const std::u16string& arguments);
};
