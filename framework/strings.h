// String helpers of the framework. Wide strings are std::u16string (UTF-16);
// narrow strings are std::string holding code page 932 bytes (see codepage.h).
#pragma once

#include "framework/api.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace qel::framework {

// ASCII-only case folding, as the module compares keys, extensions and
// versions: "TPJ" equals "tpj"; other characters compare exactly.
QEL_FW_API char16_t AsciiLower(char16_t c) noexcept;
QEL_FW_API bool EqualsNoCase(std::u16string_view a, std::u16string_view b) noexcept;
QEL_FW_API int CompareNoCase(std::u16string_view a, std::u16string_view b) noexcept;
// True when `text` begins with `prefix`, ignoring ASCII case.
QEL_FW_API bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) noexcept;

// White space as the framework's Trim sees it: blank, tab, CR, LF, VT, FF and
// the ideographic space U+3000 is *not* included (it is text in Japanese).
QEL_FW_API bool IsSpace(char16_t c) noexcept;
QEL_FW_API std::u16string Trim(std::u16string_view s);
QEL_FW_API std::u16string TrimRight(std::u16string_view s);

// Widening of ASCII text: each byte becomes the same code unit.
QEL_FW_API std::u16string Widen(std::string_view ascii);

// One argument of Format: a text or an integer.
using FormatArg = std::variant<std::u16string_view, long long>;

// Builds a line from a format like the C runtime's wide printf, for the
// conversions the module uses: %s (a text), %d, %u and %x with an optional
// zero flag and width (%04d, %04x), and %%. A conversion whose argument is
// missing or of the other kind writes nothing. Negative numbers under %0Nd
// put the sign before the zeros, as printf does ("-007").
QEL_FW_API std::u16string FormatV(std::u16string_view format, std::initializer_list<FormatArg> args);

template <typename... Args>
std::u16string Format(std::u16string_view format, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return FormatV(format, {});
    } else {
        auto conv = [](const auto& a) -> FormatArg {
            using T = std::decay_t<decltype(a)>;
            if constexpr (std::is_integral_v<T>) return static_cast<long long>(a);
            else return std::u16string_view(a);
        };
        return FormatV(format, {conv(args)...});
    }
}

}  // namespace qel::framework
