#include "host/paths.h"

#include <sys/stat.h>

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
    return ::stat(qel::PathToNative(path).c_str(), &st) == 0 && S_ISREG(st.st_mode) ? 1 : 0;
}
