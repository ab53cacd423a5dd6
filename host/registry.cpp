// The machine registry, read from a registry export file.
//
// The file named by QELHOST_REGISTRY is read afresh by every GetValueString,
// so a change of the variable or of the file is seen at once; nothing is
// cached and nothing is ever written. Without the variable (or with an
// empty one) there is no file: the open commands of the file classes the
// desktop knows are answered from its default applications (desktop.h),
// every other key reads as missing.
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
// The file is read as a stream, one block at a time, so that a file of any
// size costs one block and one line. A line longer than kMaxLine bytes is
// skipped and ends the current key, like a "[" line that is no key line.
// A file that cannot be read, is no regular file (a pipe or a device is
// refused without waiting for it), is UTF-16 with an odd number of bytes,
// or holds invalid UTF-8 counts as missing: every value reads as the
// default text.
#include "host/registry.h"

#include <cstdlib>
#include <string_view>

#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/strings.h"
#include "host/desktop.h"

namespace {

constexpr std::size_t kMaxLine = std::size_t{1} << 20;
constexpr char16_t kRoot[] = u"HKEY_LOCAL_MACHINE";

// Appends buffer[pos, next LF) to `line`, or drops it once the line holds
// more than `max` units; moves `pos` past the LF. True when a LF ended the line.
template <typename Str>
bool TakeUpToLf(const Str& buffer, std::size_t& pos, Str& line, bool& tooLong, std::size_t max) {
    const std::size_t lf = buffer.find(typename Str::value_type('\n'), pos);
    const std::size_t end = lf == Str::npos ? buffer.size() : lf;
    if (!tooLong && line.size() + (end - pos) > max) {
        tooLong = true;
        Str().swap(line);
    }
    if (!tooLong) line.append(buffer, pos, end - pos);
    pos = lf == Str::npos ? buffer.size() : lf + 1;
    return lf != Str::npos;
}

// The file's lines, decoded, one at a time: UTF-16LE after its byte-order
// mark, otherwise UTF-8 with or without one.
class LineReader {
public:
    // False when the file cannot be opened as a regular file.
    bool Open(const char* path) {
        return m_file.Open(qel::framework::PathFromNative(path), CFile::modeRead | CFile::typeBinary);
    }

    // The next line without its LF, or false at the end of the file.
    // `tooLong` tells a line that was dropped for its length (`line` is then
    // empty). Raises CFileException on a read error.
    bool Next(std::u16string& line, bool& tooLong) {
        for (;;) {
            const bool ended = m_utf16 ? TakeUpToLf(m_units, m_pos, m_wide, m_tooLong, kMaxLine / 2)
                                       : TakeUpToLf(m_bytes, m_pos, m_narrow, m_tooLong, kMaxLine);
            if (!ended && Fill()) continue;
            if (!ended && m_narrow.empty() && m_wide.empty() && !m_tooLong) return false;
            tooLong = m_tooLong;
            if (m_utf16) {
                line.swap(m_wide);
            } else {
                if (!qel::framework::IsValidUtf8(m_narrow)) m_malformed = true;
                line = qel::framework::Utf8ToWide(m_narrow);
            }
            m_wide.clear();
            m_narrow.clear();
            m_tooLong = false;
            return true;
        }
    }

    // Invalid UTF-8 in a line read, or UTF-16 with an odd number of bytes.
    bool Malformed() const { return m_malformed || m_half >= 0; }

private:
    // Reads the next block; false at the end of the file.
    bool Fill() {
        m_raw.resize(std::size_t{1} << 16);
        const unsigned n = m_file.Read(m_raw.data(), static_cast<unsigned>(m_raw.size()));
        if (n == 0) return false;
        std::string_view in(m_raw.data(), n);
        if (m_first) {  // Read fills the block unless the file ends: a mark is seen whole
            m_first = false;
            if (in.starts_with("\xFF\xFE")) {
                m_utf16 = true;
                in.remove_prefix(2);
            } else if (in.starts_with("\xEF\xBB\xBF")) {
                in.remove_prefix(3);
            }
        }
        m_pos = 0;
        if (m_utf16) {
            m_units.clear();
            for (const char c : in) {
                const int b = static_cast<unsigned char>(c);
                if (m_half < 0) {
                    m_half = b;
                } else {
                    m_units.push_back(static_cast<char16_t>(m_half | b << 8));
                    m_half = -1;
                }
            }
        } else {
            m_bytes.assign(in);
        }
        return true;
    }

    CFile m_file;
    std::string m_raw;
    bool m_first = true;
    bool m_utf16 = false;
    std::string m_bytes;     // UTF-8: the block's bytes
    std::u16string m_units;  // UTF-16: the block's units
    std::size_t m_pos = 0;   // where the next line starts in the block
    int m_half = -1;         // UTF-16: a unit's first byte, its second not read yet
    std::string m_narrow;    // the current line so far
    std::u16string m_wide;
    bool m_tooLong = false;
    bool m_malformed = false;
};

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

// The registry file named by QELHOST_REGISTRY; null when none is.
const char* RegistryFile() {
    const char* file = std::getenv("QELHOST_REGISTRY");
    return file && *file ? file : nullptr;
}

// The default value of a key that the desktop's associations answer, when no
// registry file is named.
std::u16string FromDesktop(std::u16string_view keyPath, const std::u16string& name, const std::u16string& defaultText) {
    const char* mimeType = qel::host::DesktopTypeOfKey(keyPath);
    if (!mimeType || !name.empty()) return defaultText;
    std::u16string command = qel::host::DesktopOpenCommand(mimeType);
    return command.empty() ? defaultText : command;
}

}  // namespace

CRegistryBase::CRegistryBase(std::u16string keyPath) : m_keyPath(std::move(keyPath)) {}

CRegistryBase::~CRegistryBase() = default;

std::u16string CRegistryBase::GetValueString(const std::u16string& name, const std::u16string& defaultText,
                                             int /*reserved*/) {
    const char* file = RegistryFile();
    if (!file) return FromDesktop(m_keyPath, name, defaultText);
    bool inKey = false;
    bool found = false;
    std::u16string result, lineName, lineValue, text;
    try {
        LineReader reader;
        if (!reader.Open(file)) return defaultText;
        bool tooLong = false;
        while (reader.Next(text, tooLong)) {
            std::u16string_view line(text);
            while (!line.empty() && (IsBlank(line.back()) || line.back() == u'\r')) line.remove_suffix(1);
            while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);

            if (tooLong) {
                inKey = false;  // it may have been a key line
            } else if (line.starts_with(u'[')) {
                inKey = line.size() >= 2 && line.back() == u']' &&
                        qel::framework::EqualsNoCase(line.substr(1, line.size() - 2), m_keyPath);
            } else if (inKey && ParseStringValue(line, lineName, lineValue) &&
                       qel::framework::EqualsNoCase(lineName, name)) {
                result = lineValue;
                found = true;
            }
        }
        if (reader.Malformed()) return defaultText;
    } catch (const CException&) {
        return defaultText;
    }
    return found ? result : defaultText;
}

CHKLMRegistryBase::CHKLMRegistryBase(const std::u16string& key, int /*flags*/)
    : CRegistryBase(key.empty() ? std::u16string(kRoot) : std::u16string(kRoot) + u'\\' + key) {}

void qel::host::PrefetchDesktopAnswers() noexcept {
    if (!RegistryFile()) PrefetchDesktopOpenCommands();
}
