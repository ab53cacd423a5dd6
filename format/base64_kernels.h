// Inside the Base64 codec: what every instruction set's kernels share (the
// alphabet, the digit tables, the scalar group steps, the decoder's cursor)
// and the table of one set's kernels that base64.cpp dispatches to. One
// file a set: base64_scalar.cpp, base64_ssse3.*, base64_avx2.*,
// base64_avx512.cpp; the scalar code is the reference the others match.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "format/toruca_format.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QEL_BASE64_SIMD 1
#endif

namespace qel::format::base64 {

inline constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
inline constexpr std::size_t kGroupsPerLine = qel::format::kBase64LineLength / 4;  // 19 groups of three bytes
static_assert(kGroupsPerLine * 4 == qel::format::kBase64LineLength);

// Two digits for every 12-bit value, so that a group of three bytes takes
// two table reads instead of four.
template <typename Ch>
struct DigitPairs {
    std::array<std::array<Ch, 2>, 4096> pair{};
    constexpr DigitPairs() {
        for (unsigned i = 0; i < 4096; ++i) {
            pair[i][0] = static_cast<Ch>(kAlphabet[i >> 6]);
            pair[i][1] = static_cast<Ch>(kAlphabet[i & 63]);
        }
    }
};
inline constexpr DigitPairs<char> kPairs8;
inline constexpr DigitPairs<char16_t> kPairs16;

template <typename Ch>
constexpr const DigitPairs<Ch>& PairsFor() {
    if constexpr (sizeof(Ch) == 1) return kPairs8;
    else return kPairs16;
}

// Digit values already shifted into their place of a 24-bit group, one table
// per place; a character outside the alphabet sets kBad, so that four
// lookups ORed together tell at once whether the group is clean.
// `value` holds each character's digit value, kNoDigit for the others.
inline constexpr std::uint32_t kBad = 0x01000000u;
inline constexpr std::uint8_t kNoDigit = 0xFF;
struct DigitTables {
    std::array<std::uint8_t, 256> value{};
    std::array<std::array<std::uint32_t, 256>, 4> shifted{};
    constexpr DigitTables() {
        for (auto& v : value) v = kNoDigit;
        for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
        for (unsigned c = 0; c < 256; ++c)
            for (unsigned place = 0; place < 4; ++place)
                shifted[place][c] =
                    value[c] == kNoDigit ? kBad : static_cast<std::uint32_t>(value[c]) << (18 - 6 * place);
    }
};
inline constexpr DigitTables kDigits;

template <typename Ch>
inline Ch* EncodeGroups(const unsigned char*& in, std::size_t groups, Ch* out) {
    const auto& pairs = PairsFor<Ch>().pair;
    for (std::size_t g = 0; g < groups; ++g, in += 3, out += 4) {
        const std::uint32_t v = (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | in[2];
        std::memcpy(out, pairs[v >> 12].data(), 2 * sizeof(Ch));
        std::memcpy(out + 2, pairs[v & 0xFFF].data(), 2 * sizeof(Ch));
    }
    return out;
}

// The decoder's fast path. The text of a part is lines of clean groups of
// four digits joined by CR LF; this runs over such text and stops at the
// first thing it does not handle itself (any other character, a NUL, the
// end of the text, a group that would not fit), where the general loop of
// DecodeBase64 takes over. A CR LF is stepped over only when a clean group
// follows it, which is what the general loop makes of it too.
struct DecodeCursor {
    const unsigned char* s;
    std::size_t length;
    unsigned char* out;
    std::size_t capacity;
    std::size_t pos;
    std::size_t written;
};

inline std::uint32_t GroupAt(const unsigned char* c) {
    return kDigits.shifted[0][c[0]] | kDigits.shifted[1][c[1]] | kDigits.shifted[2][c[2]] | kDigits.shifted[3][c[3]];
}

inline void Put3(unsigned char* out, std::uint32_t v) {
    out[0] = static_cast<unsigned char>(v >> 16);
    out[1] = static_cast<unsigned char>(v >> 8);
    out[2] = static_cast<unsigned char>(v);
}

// Single clean groups, then a CR LF with a clean group after it. True when
// it stepped over a line break (so the caller goes on with its fast loop).
__attribute__((always_inline)) inline bool CleanGroupsAndLineBreak(DecodeCursor& c) {
    while (c.length - c.pos >= 4 && c.capacity - c.written >= 3) {
        const std::uint32_t v = GroupAt(c.s + c.pos);
        if (v & kBad) break;
        Put3(c.out + c.written, v);
        c.written += 3;
        c.pos += 4;
    }
    if (c.length - c.pos >= 6 && c.capacity - c.written >= 3 && c.s[c.pos] == '\r' && c.s[c.pos + 1] == '\n') {
        const std::uint32_t v = GroupAt(c.s + c.pos + 2);
        if (!(v & kBad)) {
            Put3(c.out + c.written, v);
            c.written += 3;
            c.pos += 6;
            return true;
        }
    }
    return false;
}

// True when the line at `s`, `stride` characters long, ends as a line of
// that stride does (CR LF for 78, LF for 77).
__attribute__((always_inline)) inline bool EndsLikeStride(const unsigned char* s, std::size_t stride) {
    constexpr std::size_t n = qel::format::kBase64LineLength;
    return stride == n + 1 ? s[n] == '\n' : s[n] == '\r' && s[n + 1] == '\n';
}

// The encoder of one path: groups without line breaks, and full lines.
template <typename Ch>
struct EncodeFns {
    Ch* (*groups)(const unsigned char*&, std::size_t, Ch*);
    Ch* (*lines)(const unsigned char*&, std::size_t, Ch*);
};

// Up to `lines` lines `stride` characters apart, each decoded by the line
// decoder of one set while it ends as its stride says and is clean; the
// number of lines decoded.
using LinesFn = std::size_t (*)(const unsigned char*, std::size_t, std::size_t, unsigned char*);

// One instruction set's kernels. The decoders run over the clean run at a
// cursor, or over whole lines; the encoders write groups or full lines.
struct Kernels {
    EncodeFns<char> encode8;
    EncodeFns<char16_t> encode16;
    void (*decodeClean)(DecodeCursor&);
    LinesFn decodeLines;
};

extern const Kernels kScalarKernels;
#if defined(QEL_BASE64_SIMD)
extern const Kernels kSsse3Kernels;
extern const Kernels kAvx2Kernels;
extern const Kernels kAvx512Kernels;
#endif

}  // namespace qel::format::base64
