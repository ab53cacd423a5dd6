#include "framework/strings.h"

#include <algorithm>

namespace qel::framework {

char16_t AsciiLower(char16_t c) noexcept { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

int CompareNoCase(std::u16string_view a, std::u16string_view b) noexcept {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = AsciiLower(a[i]), y = AsciiLower(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) noexcept {
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) noexcept {
    return text.size() >= prefix.size() && CompareNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

bool IsSpace(char16_t c) noexcept {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

std::u16string TrimRight(std::u16string_view s) {
    std::size_t e = s.size();
    while (e > 0 && IsSpace(s[e - 1])) --e;
    return std::u16string(s.substr(0, e));
}

std::u16string Trim(std::u16string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsSpace(s[b])) ++b;
    while (e > b && IsSpace(s[e - 1])) --e;
    return std::u16string(s.substr(b, e - b));
}

std::u16string Widen(std::string_view ascii) {
    std::u16string out(ascii.size(), u'\0');
    for (std::size_t i = 0; i < ascii.size(); ++i) out[i] = static_cast<char16_t>(static_cast<unsigned char>(ascii[i]));
    return out;
}

namespace {

void AppendNumber(std::u16string& out, long long value, int base, bool zeroPad, int width, bool isUnsigned) {
    char16_t digits[32];
    int n = 0;
    bool negative = false;
    unsigned long long v;
    if (isUnsigned || base == 16) {
        // %u and %x take the argument as a 32-bit unsigned value, as printf does for an int.
        v = static_cast<unsigned long long>(static_cast<std::uint32_t>(value));
    } else if (value < 0) {
        negative = true;
        v = 0ull - static_cast<unsigned long long>(value);
    } else {
        v = static_cast<unsigned long long>(value);
    }
    do {
        const unsigned d = static_cast<unsigned>(v % static_cast<unsigned>(base));
        digits[n++] = static_cast<char16_t>(d < 10 ? u'0' + d : u'a' + (d - 10));
        v /= static_cast<unsigned>(base);
    } while (v != 0);
    const int len = n + (negative ? 1 : 0);
    const int pad = width > len ? width - len : 0;
    if (!zeroPad) out.append(static_cast<std::size_t>(pad), u' ');
    if (negative) out.push_back(u'-');
    if (zeroPad) out.append(static_cast<std::size_t>(pad), u'0');
    while (n > 0) out.push_back(digits[--n]);
}

// A conversion's flags and width: "%05d" has zeroPad and width 5.
struct FieldFormat {
    bool zeroPad = false;
    int width = 0;
};

// Reads the flag and width that start at `j`; answers the index after them.
std::size_t ReadFlagsAndWidth(std::u16string_view format, std::size_t j, FieldFormat& field) {
    if (format[j] == u'0') {
        field.zeroPad = true;
        ++j;
    }
    while (j < format.size() && format[j] >= u'0' && format[j] <= u'9') {
        field.width = std::min(field.width * 10 + (format[j] - u'0'), 64);
        ++j;
    }
    return j;
}

// Appends one conversion of `arg` (null when the arguments have run out);
// answers whether it took the argument. An argument of the wrong kind is
// taken and writes nothing; an unknown conversion keeps `written` as it is.
bool AppendConversion(std::u16string& out, char16_t conv, const FieldFormat& field, const FormatArg* arg,
                      std::u16string_view written) {
    switch (conv) {
        case u's':
            if (!arg) return false;
            if (auto* s = std::get_if<std::u16string_view>(arg)) out.append(*s);
            return true;
        case u'd':
        case u'i':
        case u'u':
        case u'x':
            if (!arg) return false;
            if (auto* v = std::get_if<long long>(arg))
                AppendNumber(out, *v, conv == u'x' ? 16 : 10, field.zeroPad, field.width, conv == u'u');
            return true;
        default:
            // Not a conversion we know: keep the text as written.
            out.append(written);
            return false;
    }
}

}  // namespace

std::u16string FormatV(std::u16string_view format, std::initializer_list<FormatArg> args) {
    std::u16string out;
    out.reserve(format.size() + 16);
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char16_t c = format[i];
        if (c != u'%' || i + 1 >= format.size()) {
            out.push_back(c);
            continue;
        }
        if (format[i + 1] == u'%') {
            out.push_back(u'%');
            ++i;
            continue;
        }
        FieldFormat field;
        const std::size_t j = ReadFlagsAndWidth(format, i + 1, field);
        if (j >= format.size()) {
            out.append(format.substr(i));
            break;
        }
        const FormatArg* arg = next != args.end() ? &*next : nullptr;
        if (AppendConversion(out, format[j], field, arg, format.substr(i, j - i + 1))) ++next;
        i = j;
    }
    return out;
}

}  // namespace qel::framework
