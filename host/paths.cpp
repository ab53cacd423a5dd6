#include "host/paths.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "framework/codepage.h"

std::u16string getBaseName(const std::u16string& path) {
    const auto slash = path.find_last_of(u'/');
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::u16string getBaseExt(const std::u16string& path) {
    const std::u16string name = getBaseName(path);
    const auto dot = name.find_last_of(u'.');
    return dot == std::u16string::npos ? std::u16string() : name.substr(dot + 1);
}

std::u16string getBasePath(const std::u16string& path) {
    const auto slash = path.find_last_of(u'/');
    if (slash == std::u16string::npos) return {};
    return path.substr(0, slash == 0 ? 1 : slash);
}

int is_file(const std::u16string& path) {
    if (path.empty() || path.find(u'\0') != std::u16string::npos) return 0;
    struct stat st;
    return ::stat(qel::framework::PathToNative(path).c_str(), &st) == 0 && S_ISREG(st.st_mode) ? 1 : 0;
}

namespace {

// Copies `text` and a NUL into `buffer`, cut to `size - 1` units without
// splitting a surrogate pair.
void CopyCut(const std::u16string& text, char16_t* buffer, int size) {
    std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size) - 1);
    if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    text.copy(buffer, n);
    buffer[n] = u'\0';
}

}  // namespace

int QelGetLongPathName(const std::u16string& path, char16_t* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    std::u16string full;
    if (!path.empty() && path.find(u'\0') == std::u16string::npos) {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path absolute = fs::absolute(fs::path(qel::framework::PathToNative(path)), ec);
        if (!ec) {
            // The existing part of the path is resolved (links, "..") by the
            // system; what does not exist yet is normalised lexically.
            fs::path canonical = fs::weakly_canonical(absolute, ec);
            if (ec) canonical = absolute.lexically_normal();
            std::string native = canonical.string();
            while (native.size() > 1 && native.back() == '/') native.pop_back();
            full = qel::framework::PathFromNative(native);
        }
    }
    if (full.empty() || full.size() >= static_cast<std::size_t>(size)) {
        CopyCut(path, buffer, size);
        return 0;
    }
    CopyCut(full, buffer, size);
    return static_cast<int>(full.size());
}

namespace qel::host {

std::string ProgramLibraryPath(const std::string& file) {
    std::string self = ".";
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) {
        self.assign(buf, static_cast<std::size_t>(n));
        const std::size_t slash = self.find_last_of('/');
        self = slash == std::string::npos ? "." : self.substr(0, slash);
    }
    const std::string beside = self + "/" + file;
    const std::string installed = self + "/../lib/qeltoruca/" + file;
    if (::access(beside.c_str(), F_OK) != 0 && ::access(installed.c_str(), F_OK) == 0) return installed;
    return beside;
}

}  // namespace qel::host
