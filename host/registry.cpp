// The machine registry, read from a registry export file.
//
// The file named by QELHOST_REGISTRY is read afresh by every GetValueString,
// so a change of the variable or of the file is seen at once; nothing is
// cached and nothing is ever written.
//
// Accepted text, line by line (LF or CR LF):
//   - an optional header "Windows Registry Editor Version 5.00" or "REGEDIT4"
//     (like every line of no known form, it is simply skipped);
//   - key lines "[HKEY_LOCAL_MACHINE\...]", compared with the wanted key
//     without regard to ASCII case;
//   - string values @="..." (the default value) or "name"="...", in which
//     \\ stands for one backslash and \" for one double quote; blanks may
//     surround the "=".
// Value names compare without regard to ASCII case, as the platform's do.
// Lines that begin with "[" but are no key line (a deletion "[-...]", a
// missing "]") end the current key, so that what follows is never taken for
// a value of the key before. Other lines are skipped: other value types
// (dword:, hex:), deletions (=-), comments (;), and string values with any
// other escape or text after the closing quote. Lines continued with a
// trailing backslash are not joined: the exporter only continues hex values,
// which are skipped anyway. When a key or value appears more than once, the
// last one wins, as importing the file would leave it.
//
// A file that cannot be read, is no regular file, is larger than
// kMaxFileSize, is UTF-16 with an odd number of bytes, or holds invalid
// UTF-8 counts as missing: every value reads as the default text.
#include "host/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "framework/codepage.h"
#include "framework/strings.h"

namespace {

constexpr std::size_t kMaxFileSize = 16u << 20;
constexpr char16_t kRoot[] = u"HKEY_LOCAL_MACHINE";

bool ReadWholeFile(const char* path, std::string& bytes) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) <= kMaxFileSize;
    if (ok) {
        bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0) {
                ok = false;
                break;
            }
            if (n == 0) break;  // the file shrank while we read it
            done += static_cast<std::size_t>(n);
        }
        bytes.resize(done);
    }
    ::close(fd);
    return ok;
}

// UTF-16LE with its byte-order mark, or UTF-8 with or without one.
bool DecodeText(std::string_view bytes, std::u16string& text) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        bytes.remove_prefix(2);
        if (bytes.size() % 2 != 0) return false;
        text.resize(bytes.size() / 2);
        for (std::size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                            static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
        return true;
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    if (!qel::framework::IsValidUtf8(bytes)) return false;
    text = qel::framework::Utf8ToWide(bytes);
    return true;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

void SkipBlanks(std::u16string_view line, std::size_t& pos) {
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
}

// A quoted string starting at line[pos] == '"'; on success `pos` is just past
// the closing quote.
bool ParseQuoted(std::u16string_view line, std::size_t& pos, std::u16string& out) {
    if (pos >= line.size() || line[pos] != u'"') return false;
    out.clear();
    for (std::size_t i = pos + 1; i < line.size(); ++i) {
        const char16_t c = line[i];
        if (c == u'"') {
            pos = i + 1;
            return true;
        }
        if (c == u'\\') {
            if (++i == line.size() || (line[i] != u'\\' && line[i] != u'"')) return false;
            out += line[i];
        } else {
            out += c;
        }
    }
    return false;  // no closing quote
}

// @="value" or "name"="value", the line already trimmed.
bool ParseStringValue(std::u16string_view line, std::u16string& name, std::u16string& value) {
    std::size_t pos = 0;
    if (line.starts_with(u'@')) {
        name.clear();
        pos = 1;
    } else if (!ParseQuoted(line, pos, name)) {
        return false;
    }
    SkipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != u'=') return false;
    ++pos;
    SkipBlanks(line, pos);
    if (!ParseQuoted(line, pos, value)) return false;
    SkipBlanks(line, pos);
    return pos == line.size();
}

}  // namespace

CRegistryBase::CRegistryBase(std::u16string keyPath) : m_keyPath(std::move(keyPath)) {}

CRegistryBase::~CRegistryBase() = default;

std::u16string CRegistryBase::GetValueString(const std::u16string& name, const std::u16string& defaultText,
                                             int /*reserved*/) {
    const char* file = std::getenv("QELHOST_REGISTRY");
    if (!file || !*file) return defaultText;
    std::string bytes;
    std::u16string text;
    if (!ReadWholeFile(file, bytes) || !DecodeText(bytes, text)) return defaultText;

    const std::u16string_view all(text);
    bool inKey = false;
    bool found = false;
    std::u16string result, lineName, lineValue;
    for (std::size_t start = 0; start <= all.size();) {
        std::size_t end = all.find(u'\n', start);
        if (end == std::u16string_view::npos) end = all.size();
        std::u16string_view line = all.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (IsBlank(line.back()) || line.back() == u'\r')) line.remove_suffix(1);
        while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);

        if (line.starts_with(u'[')) {
            inKey = line.size() >= 2 && line.back() == u']' &&
                    qel::framework::EqualsNoCase(line.substr(1, line.size() - 2), m_keyPath);
        } else if (inKey && ParseStringValue(line, lineName, lineValue) && qel::framework::EqualsNoCase(lineName, name)) {
            result = lineValue;
            found = true;
        }
    }
    return found ? result : defaultText;
}

CHKLMRegistryBase::CHKLMRegistryBase(const std::u16string& key, int /*flags*/)
    : CRegistryBase(key.empty() ? std::u16string(kRoot) : std::u16string(kRoot) + u'\\' + key) {}
