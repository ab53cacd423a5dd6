// Writing what a command makes: a new file under a free name, a file named
// on the command line (replaced only on request, in one step), or standard
// output.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "apps/toruca/card.h"
#include "framework/codepage.h"
#include "host/tempfile.h"

namespace fs = std::filesystem;

namespace qel::apps {

namespace {

// Where a file goes: its folder (absolute), its name, and whether the user
// named the file (then it is that file or nothing) or only where it goes
// (then a taken name gives way to the next free one).
struct Target {
    fs::path folder, name;
    bool named = false;
};

Target TargetOf(const std::string& out, const std::u16string& defaultName) {
    std::error_code ec;
    Target t;
    if (out.empty()) {
        t.folder = fs::current_path(ec);
        t.name = qel::framework::PathToNative(defaultName);
    } else if (fs::is_directory(out, ec)) {
        t.folder = out;
        t.name = qel::framework::PathToNative(defaultName);
    } else {
        const fs::path p(out);
        t.folder = p.has_parent_path() ? p.parent_path() : fs::path(".");
        t.name = p.filename();
        t.named = true;
        if (t.name.empty() || t.name == "." || t.name == "..") throw Failure(out + ": names no file");
    }
    t.folder = fs::absolute(t.folder, ec).lexically_normal();
    return t;
}

void RequireWritableFolder(const fs::path& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        throw Failure("cannot write into " + folder.string() + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) throw Failure("cannot write into " + folder.string() + ": not a folder");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw Failure("cannot write into " + folder.string() + ": " + std::strerror(errno));
}

// A new file in `folder` under `name` or the next free name; its path.
std::string WriteFree(const fs::path& folder, const std::string& name, const std::string& bytes) {
    const std::u16string written = qel::host::WriteNewFile(qel::framework::PathFromNative(folder.string()),
                                                           qel::framework::PathFromNative(name), bytes);
    if (written.empty())
        throw Failure("cannot write " + (folder / name).string() + ": the file could not be written whole");
    return qel::framework::PathToNative(written);
}

// The file the user named: written whole under a hidden name beside it,
// then put in its place.
std::string WriteNamed(const Target& t, const std::string& shown, const std::string& bytes, bool force) {
    const fs::path target = t.folder / t.name;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
        if (!force) throw Failure(shown + ": already exists; --force replaces it");
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) throw Failure(shown + ": not a regular file; not replaced");
    }
    const std::string part = WriteFree(t.folder, "." + t.name.string() + ".part", bytes);
    int err = 0;
    // The file replaced keeps its permission bits (a private card stays
    // private); a link replaced is the link, so the new file is as made.
    if (force && S_ISREG(st.st_mode) && ::chmod(part.c_str(), st.st_mode & 07777) != 0) err = errno;
    if (force && err == 0) err = ::rename(part.c_str(), target.c_str()) == 0 ? 0 : errno;
    else err = qel::host::RenameNoReplace(AT_FDCWD, part.c_str(), AT_FDCWD, target.c_str());
    if (err != 0) {
        ::unlink(part.c_str());
        if (err == EEXIST) throw Failure(shown + ": already exists; --force replaces it");
        throw Failure("cannot write " + target.string() + ": " + std::strerror(err));
    }
    return target.string();
}

void WriteStandardOutput(const std::string& bytes) {
    std::fflush(stdout);
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw Failure(std::string("cannot write to standard output: ") + std::strerror(errno));
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

std::string WriteOutput(const Output& out, const std::u16string& defaultName, const std::string& bytes) {
    if (out.path == "-") {
        WriteStandardOutput(bytes);
        return {};
    }
    const Target t = TargetOf(out.path, defaultName);
    RequireWritableFolder(t.folder);
    const std::string written =
        t.named ? WriteNamed(t, out.path, bytes, out.force) : WriteFree(t.folder, t.name.string(), bytes);
    std::printf("%s\n", written.c_str());
    return written;
}

}  // namespace qel::apps
