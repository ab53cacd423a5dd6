#include "host/messages.h"

#include <libintl.h>
#include <limits.h>
#include <unistd.h>

#include <clocale>
#include <string>

namespace {

constexpr char kDomain[] = "qeltoruca";

// The folder of the running program; "." when it cannot be told.
std::string ProgramFolder() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    const std::string self(buf, static_cast<std::size_t>(n));
    const std::size_t slash = self.find_last_of('/');
    return slash == std::string::npos ? "." : self.substr(0, slash);
}

}  // namespace

namespace qel::host {

void OpenMessageCatalogue() {
    std::setlocale(LC_MESSAGES, "");
    const std::string self = ProgramFolder();
    std::string folder = self + "/locale";
    if (::access(folder.c_str(), F_OK) != 0) folder = self + "/../share/locale";
    ::bindtextdomain(kDomain, folder.c_str());
    ::bind_textdomain_codeset(kDomain, "UTF-8");
}

const char* Tr(const char* text) { return ::dgettext(kDomain, text); }

std::string TrFill(const char* text, std::initializer_list<std::string> values) {
    const std::string pattern = Tr(text);
    std::string out;
    auto value = values.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern.compare(i, 2, "%s") == 0 && value != values.end()) {
            out += *value++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

}  // namespace qel::host
