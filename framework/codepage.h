// Conversions between wide text (UTF-16), code page 932 bytes (Windows-31J,
// the Shift_JIS of Japanese Windows) and UTF-8.
//
// Code page 932 is glibc's "CP932" converter; never "SHIFT_JIS", which maps
// '\' to the yen sign and cannot hold characters such as U+FF5E or U+2225.
// ASCII runs are copied without iconv, and the answers for other characters
// are cached in tables filled on first use, so iconv is asked once per
// distinct character in a process. The user-defined area 0xF040-0xF9FC,
// where i-mode pictograms live, maps to U+E000-U+E757 and back.
#pragma once

#include "framework/api.h"

#include <string>
#include <string_view>

namespace qel::framework {

// Wide to code page 932. Every code unit is converted: a NUL becomes the
// byte 0, so that text holding one is written whole. A character
// that code page 932 cannot hold becomes its decimal character reference
// (U+1F600 -> "&#128512;"), so no text is lost silently; a lone surrogate
// counts as U+FFFD.
QEL_FW_API std::string WideToCp932(std::u16string_view text);
QEL_FW_API void AppendWideAsCp932(std::string& out, std::u16string_view text);

// Code page 932 to wide. Every byte is converted, NUL included. A byte or
// pair that is not valid code page 932 reads as U+FFFD: a lead byte followed
// by a trail byte counts as one pair, a lead byte followed by anything else
// becomes U+FFFD alone and the next byte is read anew.
QEL_FW_API std::u16string Cp932ToWide(std::string_view bytes);
QEL_FW_API void AppendCp932AsWide(std::u16string& out, std::string_view bytes);

// UTF-8 <-> UTF-16. Invalid UTF-8 (overlong forms, surrogates, bytes out of
// place) reads as U+FFFD; a lone surrogate in UTF-16 writes U+FFFD.
QEL_FW_API std::u16string Utf8ToWide(std::string_view utf8);
QEL_FW_API std::string WideToUtf8(std::u16string_view text);
// The same appended to `out`; the second also with a lone surrogate written
// as U+FFFD, as the round trip through UTF-8 gives it.
QEL_FW_API void AppendUtf8AsWide(std::u16string& out, std::string_view utf8);
QEL_FW_API void AppendWideAsUtf8(std::string& out, std::u16string_view text);
QEL_FW_API void AppendWholeWide(std::u16string& out, std::u16string_view text);

// True when `bytes` is well-formed UTF-8.
QEL_FW_API bool IsValidUtf8(std::string_view bytes) noexcept;

// Paths cross the boundary as wide strings and reach the system as bytes.
// A Linux file name is any bytes: UTF-8 is read as text, and each byte that
// is not part of valid UTF-8 (a Latin-1 or Shift_JIS name) becomes the lone
// surrogate U+DC00 + byte (U+DC80-U+DCFF, the escape of Python's
// "surrogateescape"), which PathToNative turns back into that byte: every
// name comes back unchanged. Such a path shown as text must go through
// PathForDisplay.
QEL_FW_API std::u16string PathFromNative(std::string_view path);
QEL_FW_API std::string PathToNative(std::u16string_view path);
// A path or system bytes for a person: UTF-8, with each byte that is not
// part of valid UTF-8 written visibly as "\xNN" (upper-case hex).
QEL_FW_API std::string PathForDisplay(std::u16string_view path);
QEL_FW_API std::string NativeForDisplay(std::string_view bytes);

}  // namespace qel::framework
