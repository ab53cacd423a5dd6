#include "host/shell.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <system_error>
#include <thread>

#include "framework/codepage.h"
#include "host/report.h"

extern char** environ;

namespace {

// A run of backslashes at `i`: before a quote, each pair is one backslash
// and an odd one escapes the quote; elsewhere they are taken as they are.
// Answers the index after what was read.
std::size_t ReadBackslashes(const std::u16string& text, std::size_t i, std::u16string& current) {
    std::size_t n = 0;
    while (i < text.size() && text[i] == u'\\') ++n, ++i;
    if (i < text.size() && text[i] == u'"') {
        current.append(n / 2, u'\\');
        if (n % 2 == 1) {
            current += u'"';
            ++i;
        }
    } else {
        current.append(n, u'\\');
    }
    return i;
}

// A run of quotes at `i`: every third quote (counting an open quoted
// section as one) is a literal quote; what is left over opens or closes the
// quoted section. Answers the index after the run.
std::size_t ReadQuotes(const std::u16string& text, std::size_t i, std::u16string& current, bool& quoted) {
    std::size_t k = 0;
    while (i < text.size() && text[i] == u'"') ++k, ++i;
    const std::size_t t = k + (quoted ? 1 : 0);
    current.append(t / 3, u'"');
    quoted = t % 3 == 1;
    return i;
}

// Starts texts[0] (along PATH when it holds no '/') with `texts` as its
// arguments, without waiting for it; false when it could not be executed.
bool Spawn(std::vector<std::string>& texts) {
    std::vector<char*> argv;
    for (auto& t : texts) argv.push_back(t.data());
    argv.push_back(nullptr);

    // The program is not the host's: it gets none of its open files, its
    // blocked signals or the signals it ignores.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    // glibc's posix_spawn reports a program that cannot be executed (and
    // reaps that child itself), so a missing editor is a failure here.
    pid_t pid = 0;
    const bool search = texts[0].find('/') == std::string::npos;
    const int rc = search ? posix_spawnp(&pid, texts[0].c_str(), &actions, &attr, argv.data(), environ)
                          : posix_spawn(&pid, texts[0].c_str(), &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;

    // Waiting for this one child only keeps a host's own SIGCHLD handling and
    // waitpid calls undisturbed. The library is linked with -z nodelete, so
    // the thread's code stays mapped when a host unloads the module.
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the program runs all the same and is reaped
        // when the host ends.
    }
    return true;
}

}  // namespace

std::vector<std::u16string> CZorShellSv::SplitArguments(const std::u16string& text) {
    std::vector<std::u16string> args;
    std::u16string current;
    bool started = false;  // a quote alone makes an (empty) argument
    bool quoted = false;
    std::size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        if ((c == u' ' || c == u'\t') && !quoted) {
            if (started) args.push_back(std::move(current));
            current.clear();
            started = false;
            ++i;
            continue;
        }
        started = true;
        if (c == u'\\') {
            i = ReadBackslashes(text, i, current);
        } else if (c == u'"') {
            i = ReadQuotes(text, i, current, quoted);
        } else {
            current += c;
            ++i;
        }
    }
    if (started) args.push_back(std::move(current));
    return args;
}

int CZorShellSv::exec(const std::u16string& program, const std::u16string& arguments) {
    std::u16string path = program;
    if (path.size() >= 2 && path.front() == u'"' && path.back() == u'"') path = path.substr(1, path.size() - 2);
    if (path.empty() || path.find(u'\0') != std::u16string::npos || arguments.find(u'\0') != std::u16string::npos)
        return 0;

    std::vector<std::string> texts{qel::framework::PathToNative(path)};
    for (const auto& arg : SplitArguments(arguments)) texts.push_back(qel::framework::PathToNative(arg));
    if (!Spawn(texts)) return 0;
    qel::host::ReportProgramStarted();
    return 1;
}

namespace qel::host {

bool OpenFolder(const std::string& folder) {
    if (folder.empty() || folder.find('\0') != std::string::npos) return false;
    std::vector<std::string> texts{"xdg-open", folder};
    return Spawn(texts);
}

}  // namespace qel::host
