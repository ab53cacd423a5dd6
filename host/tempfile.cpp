#include "host/tempfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>

#include "framework/codepage.h"

namespace {

// Longest file name the file systems we run on take, in bytes.
constexpr std::size_t kNameMax = 255;
// An extension longer than this is kept as part of the stem when a long name
// has to be cut, so that the number always fits.
constexpr std::size_t kExtMax = 64;
// How many numbered variants are tried before giving up.
constexpr int kMaxVariants = 100000;

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// Says once per process and folder why the default folder is not used.
void Refuse(const std::string& dir, const std::string& why) {
    static std::mutex mutex;
    static std::set<std::string> told;
    std::lock_guard<std::mutex> lock(mutex);
    if (told.insert(dir).second)
        std::fprintf(stderr, "qelhost: temporary folder %s is not used: %s\n", dir.c_str(), why.c_str());
}

// The private per-user folder under $TMPDIR or /tmp, made when missing.
// Empty when it exists but another user could have put things in it.
std::string PrivateFolder() {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string parent = WithoutTrailingSlashes(tmpdir != nullptr && tmpdir[0] == '/' ? tmpdir : "/tmp");
    if (parent == "/") parent.clear();
    const std::string dir = parent + "/qelhost-" + std::to_string(::geteuid());

    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        Refuse(dir, std::strerror(errno));
        return {};
    }
    // Checked through a descriptor of the folder itself, so a link put in its
    // place is never followed.
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        Refuse(dir, errno == ELOOP || errno == ENOTDIR ? "it is a link or not a folder" : std::strerror(errno));
        return {};
    }
    struct stat st;
    std::string why;
    if (::fstat(fd, &st) != 0) why = std::strerror(errno);
    else if (st.st_uid != ::geteuid()) why = "it belongs to another user";
    else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) why = "other users can write to it";
    else if ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) why = std::strerror(errno);
    ::close(fd);
    if (!why.empty()) {
        Refuse(dir, why);
        return {};
    }
    return dir;
}

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// The name reduced to one harmless component.
std::u16string SafeName(const std::u16string& name) {
    const auto sep = name.find_last_of(u"/\\");
    std::u16string out;
    for (char16_t c : sep == std::u16string::npos ? name : name.substr(sep + 1))
        if (!IsControl(c)) out += c;
    if (out.empty() || out == u"." || out == u"..") out = u"file";
    return out;
}

// Removes code points from the end of `stem` until `stem + suffix` fits in a
// file name.
std::string Fit(std::u16string stem, const std::string& suffix) {
    std::string bytes = qel::WideToUtf8(stem) + suffix;
    while (bytes.size() > kNameMax && !stem.empty()) {
        stem.pop_back();
        if (!stem.empty() && stem.back() >= 0xD800 && stem.back() <= 0xDBFF) stem.pop_back();
        bytes = qel::WideToUtf8(stem) + suffix;
    }
    return bytes;
}

std::u16string UniquePath(const std::u16string& name, const std::u16string& folder) {
    if (folder.empty() || folder.find(u'\0') != std::u16string::npos) return {};
    std::string dir = WithoutTrailingSlashes(qel::PathToNative(folder));
    if (dir == "/") dir.clear();

    const std::u16string safe = SafeName(name);
    // A leading dot starts a hidden name, not an extension.
    auto dot = safe.find_last_of(u'.');
    if (dot == 0 || dot == std::u16string::npos || safe.size() - dot > kExtMax) dot = safe.size();
    const std::u16string stem = safe.substr(0, dot);
    const std::string ext = qel::WideToUtf8(safe.substr(dot));

    for (int n = 0; n <= kMaxVariants; ++n) {
        const std::string candidate = Fit(stem, (n == 0 ? std::string() : "(" + std::to_string(n) + ")") + ext);
        const std::string full = dir + "/" + candidate;
        struct stat st;
        // lstat: a dangling link counts as taken, or writing would follow it.
        if (::lstat(full.c_str(), &st) == 0) continue;
        if (errno == ENOENT) return qel::PathFromNative(full);
        return {};  // the folder cannot be searched: no path we could vouch for
    }
    return {};
}

}  // namespace

CParamEngineer* CParamEngineer::getInstance() {
    static CParamEngineer instance;
    return &instance;
}

std::u16string CParamEngineer::getTempDirectory() {
    const char* configured = std::getenv("QELHOST_TEMP_DIR");
    if (configured != nullptr && configured[0] != '\0') {
        const std::string dir = WithoutTrailingSlashes(configured);
        // The folder the user named is used as it is; it is made when missing.
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        return qel::PathFromNative(dir);
    }
    return qel::PathFromNative(PrivateFolder());
}

std::u16string CZorCommon::getProductFolder(int kind, int /*priority*/) {
    return kind == 8 ? CParamEngineer::getInstance()->getTempDirectory() : std::u16string();
}

std::u16string QelTempFile::makeUniquePath2(const std::u16string& name, const std::u16string& folder,
                                            int /*reserved*/, const std::u16string& /*unused*/) {
    return UniquePath(name, folder);
}

std::u16string QelTempFile::makeUniquePath3(const std::u16string& name, const std::u16string& folder,
                                            bool /*flag*/, int /*reserved*/, const std::u16string& /*unused*/) {
    return UniquePath(name, folder);
}
