// The Base64 codec of ToruCa files: the standard alphabet of RFC 4648 with
// "=" padding, 76-character lines joined by CR LF, and a lenient decoder.
//
// Buffers are plain arrays with explicit lengths; the encoder writes no
// terminating NUL. Lengths are counts of characters (encoder output, decoder
// input) or bytes (encoder input, decoder output). Nothing here allocates
// but DecodeBase64Bytes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

inline constexpr unsigned BASE64_NO_PAD = 1;          // no "=" pad characters
inline constexpr unsigned BASE64_NO_LINE_BREAKS = 2;  // no CR LF at all

// An upper bound of the characters EncodeBase64 writes for `count` bytes.
// Raises CHResultException(E_FAIL) for 536,870,912 bytes or more (four times
// the count would not fit a signed 32-bit length).
std::size_t Base64RequiredLength(std::size_t count, unsigned flags);

// Encodes `count` bytes into `out`. `outLength` holds the capacity on entry
// and the number of characters written on return. False, with nothing
// written, when an argument is missing or the capacity is below
// Base64RequiredLength(count, flags).
//
// Layout with flags 0: lines of 76 characters joined by CR LF; the remainder
// and its pad characters end the last line. When `count` is a positive
// multiple of 57 the text ends with the CR LF of its last full line, which
// ToruCa files carry as an empty line before the next part.
bool EncodeBase64(const unsigned char* bytes, std::size_t count, char* out, std::size_t* outLength, unsigned flags);
// The same, writing UTF-16 code units (for building wide file text directly).
bool EncodeBase64(const unsigned char* bytes, std::size_t count, char16_t* out, std::size_t* outLength, unsigned flags);

// Decodes `length` characters into `out`, skipping every character outside
// the alphabet ("=", CR, LF, blanks, NUL inside a group, bytes of 0x80 and
// more); decoding ends at the end of the text or at a NUL where a group of
// four digits would start. A last group of two or three digits gives one or
// two bytes, a single digit none. `outLength` holds the capacity on entry
// and receives the number of bytes the text decodes to, also when they did
// not fit. False when `text` or `outLength` is missing or the capacity is
// too small (nothing from the first group that does not fit on is written).
// With `out` null the decoder only counts and returns false.
bool DecodeBase64(const char* text, std::size_t length, unsigned char* out, std::size_t* outLength);

// 0..63 for a character of the alphabet, -1 for any other (bytes 0x80 and
// more included).
int Base64DigitValue(char ch) noexcept;

namespace qel::format {

// Decodes the lines at the start of `text` that have the encoder's layout:
// kBase64LineLength digits followed by CR LF or LF, each giving 57 bytes,
// the bytes DecodeBase64 makes of them. Stops before the first line that
// has not (any other character, a shorter line, a line whose end is not in
// `text` yet) and when `out` has no room for another line within
// `capacity`. Returns the bytes written; `used` receives the characters
// taken. The bytes of `out` past those written may have been changed.
std::size_t DecodeBase64Lines(const char* text, std::size_t length, unsigned char* out, std::size_t capacity,
                              std::size_t* used);

// Appends the encoding of `count` bytes to `out` (no allocation beyond
// growing `out`). Raises like Base64RequiredLength.
void AppendBase64(std::u16string& out, const unsigned char* bytes, std::size_t count, unsigned flags);

// A new buffer with the bytes that `length` characters of Base64 text decode
// to (as DecodeBase64 decodes), their number in `count`; null and `count` 0
// when no text is given or decoding fails. Raises CMemoryException when the
// buffer cannot be had.
std::unique_ptr<unsigned char[]> DecodeBase64Bytes(const char* text, std::size_t length, std::size_t& count);

// The code paths of the codec. EncodeBase64 and DecodeBase64 take the best
// one the processor has, chosen once at run time; the scalar code is the
// reference the others must match byte for byte. avx512 (AVX-512 with its
// byte permutes, VBMI) decodes 64 digits a step and encodes as avx2 does.
enum class Base64Path { scalar, ssse3, avx2, avx512 };

// True when this processor (and this build) can run `path`.
bool Base64PathAvailable(Base64Path path) noexcept;
// The best path that `available` grants: avx512, then avx2, then ssse3, and
// scalar when it grants none of them.
Base64Path BestBase64Path(bool (*available)(Base64Path)) noexcept;
// The path that EncodeBase64, DecodeBase64, DecodeBase64Lines and
// AppendBase64 run on: BestBase64Path of what this processor has.
Base64Path Base64DispatchPath() noexcept;
// EncodeBase64, DecodeBase64 and DecodeBase64Lines on the given path, which
// must be available (nothing is done otherwise).
bool EncodeBase64On(Base64Path path, const unsigned char* bytes, std::size_t count, char* out, std::size_t* outLength,
                    unsigned flags);
bool EncodeBase64On(Base64Path path, const unsigned char* bytes, std::size_t count, char16_t* out,
                    std::size_t* outLength, unsigned flags);
bool DecodeBase64On(Base64Path path, const char* text, std::size_t length, unsigned char* out, std::size_t* outLength);
std::size_t DecodeBase64LinesOn(Base64Path path, const char* text, std::size_t length, unsigned char* out,
                                std::size_t capacity, std::size_t* used);

}  // namespace qel::format
