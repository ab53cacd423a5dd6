#include "format/base64.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "format/toruca_format.h"
#include "framework/exceptions.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kGroupsPerLine = qel::format::kBase64LineLength / 4;  // 19 groups of three bytes
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
constexpr DigitPairs<char> kPairs8;
constexpr DigitPairs<char16_t> kPairs16;

template <typename Ch>
constexpr const DigitPairs<Ch>& PairsFor() {
    if constexpr (sizeof(Ch) == 1) return kPairs8;
    else return kPairs16;
}

// Digit values already shifted into their place of a 24-bit group, one table
// per place; a character outside the alphabet sets kBad, so that four
// lookups ORed together tell at once whether the group is clean.
// `value` holds each character's digit value, kNoDigit for the others.
constexpr std::uint32_t kBad = 0x01000000u;
constexpr std::uint8_t kNoDigit = 0xFF;
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
constexpr DigitTables kDigits;

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

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QEL_BASE64_SIMD 1

// Twelve bytes (the low ones of `in`) to sixteen digits, as Muła and Lemire
// do: the bytes are spread so that each 32-bit lane holds one group, the
// four 6-bit values are moved into their own bytes by two multiplies, and
// each value is turned into its digit by adding an offset looked up by its
// range (A-Z, a-z, 0-9, "+", "/").
// `spread` picks the three bytes of each group into its 32-bit lane (the
// second byte twice), so that the groups can sit anywhere in `in`.
__attribute__((target("ssse3"), always_inline)) inline __m128i DigitsSsse3(__m128i in, __m128i spread) {
    in = _mm_shuffle_epi8(in, spread);
    const __m128i t0 = _mm_and_si128(in, _mm_set1_epi32(0x0fc0fc00));
    const __m128i t1 = _mm_mulhi_epu16(t0, _mm_set1_epi32(0x04000040));
    const __m128i t2 = _mm_and_si128(in, _mm_set1_epi32(0x003f03f0));
    const __m128i t3 = _mm_mullo_epi16(t2, _mm_set1_epi32(0x01000010));
    const __m128i values = _mm_or_si128(t1, t3);
    __m128i range = _mm_subs_epu8(values, _mm_set1_epi8(51));
    range = _mm_or_si128(range, _mm_and_si128(_mm_cmpgt_epi8(_mm_set1_epi8(26), values), _mm_set1_epi8(13)));
    const __m128i offsets = _mm_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                                          '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
    return _mm_add_epi8(_mm_shuffle_epi8(offsets, range), values);
}

__attribute__((target("ssse3"), always_inline)) inline __m128i DigitsSsse3(__m128i in) {
    return DigitsSsse3(in, _mm_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10));
}

// The same on two sets of twelve bytes, one in each 128-bit lane.
__attribute__((target("avx2"), always_inline)) inline __m256i DigitsAvx2(__m256i in) {
    in = _mm256_shuffle_epi8(in, _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10, 1, 0, 2, 1, 4, 3,
                                                  5, 4, 7, 6, 8, 7, 10, 9, 11, 10));
    const __m256i t0 = _mm256_and_si256(in, _mm256_set1_epi32(0x0fc0fc00));
    const __m256i t1 = _mm256_mulhi_epu16(t0, _mm256_set1_epi32(0x04000040));
    const __m256i t2 = _mm256_and_si256(in, _mm256_set1_epi32(0x003f03f0));
    const __m256i t3 = _mm256_mullo_epi16(t2, _mm256_set1_epi32(0x01000010));
    const __m256i values = _mm256_or_si256(t1, t3);
    __m256i range = _mm256_subs_epu8(values, _mm256_set1_epi8(51));
    range =
        _mm256_or_si256(range, _mm256_and_si256(_mm256_cmpgt_epi8(_mm256_set1_epi8(26), values), _mm256_set1_epi8(13)));
    const __m256i offsets = _mm256_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                                             '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0,
                                             'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                                             '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
    return _mm256_add_epi8(_mm256_shuffle_epi8(offsets, range), values);
}

// Stores sixteen digits as bytes or as UTF-16 code units.
template <typename Ch>
__attribute__((target("ssse3"), always_inline)) inline void Store16(Ch* out, __m128i digits) {
    if constexpr (sizeof(Ch) == 1) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), digits);
    } else {
        const __m128i zero = _mm_setzero_si128();
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(digits, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out) + 1, _mm_unpackhi_epi8(digits, zero));
    }
}

// Stores the first twelve of sixteen digits, nothing after them.
template <typename Ch>
__attribute__((target("ssse3"), always_inline)) inline void Store12(Ch* out, __m128i digits) {
    if constexpr (sizeof(Ch) == 1) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), digits);
        const std::uint32_t last = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(digits, 8)));
        std::memcpy(out + 8, &last, 4);
    } else {
        const __m128i zero = _mm_setzero_si128();
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(digits, zero));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(digits, zero));
    }
}

// The last three groups of a line (bytes 48 to 56) from the sixteen bytes
// that end with them, so that nothing past the line is read.
template <typename Ch>
__attribute__((target("ssse3"), always_inline)) inline void EncodeLineTail(const unsigned char* line, Ch* out) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + 41));
    const __m128i spread = _mm_setr_epi8(8, 7, 9, 8, 11, 10, 12, 11, 14, 13, 15, 14, 14, 13, 15, 14);
    Store12(out + 64, DigitsSsse3(bytes, spread));
    out[76] = Ch('\r');
    out[77] = Ch('\n');
}

// Four groups per step; a step reads sixteen bytes, so it runs while six
// groups or more are left and the rest goes to the scalar loop.
template <typename Ch>
__attribute__((target("ssse3"))) Ch* EncodeGroupsSsse3(const unsigned char*& in, std::size_t groups, Ch* out) {
    for (; groups >= 6; groups -= 4, in += 12, out += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        Store16(out, DigitsSsse3(bytes));
    }
    return EncodeGroups(in, groups, out);
}

// Eight groups per step, the two halves of the register loaded from 12
// bytes apart; a step reads 28 bytes, so it runs while ten groups or more
// are left.
template <typename Ch>
__attribute__((target("avx2"))) Ch* EncodeGroupsAvx2(const unsigned char*& in, std::size_t groups, Ch* out) {
    for (; groups >= 10; groups -= 8, in += 24, out += 32) {
        const __m256i bytes =
            _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(in + 12), reinterpret_cast<const __m128i*>(in));
        const __m256i digits = DigitsAvx2(bytes);
        Store16(out, _mm256_castsi256_si128(digits));
        Store16(out + 16, _mm256_extracti128_si256(digits, 1));
    }
    return EncodeGroupsSsse3(in, groups, out);
}

// Full lines (57 bytes to 76 digits and CR LF): four steps of four groups
// and the tail, every read inside the line.
template <typename Ch>
__attribute__((target("ssse3"))) Ch* EncodeLinesSsse3(const unsigned char*& in, std::size_t lines, Ch* out) {
    for (; lines > 0; --lines, in += 57, out += 78) {
        for (std::size_t step = 0; step < 4; ++step)
            Store16(out + 16 * step, DigitsSsse3(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 12 * step))));
        EncodeLineTail(in, out);
    }
    return out;
}

// Full lines with AVX2: two steps of eight groups and the tail.
template <typename Ch>
__attribute__((target("avx2"))) Ch* EncodeLinesAvx2(const unsigned char*& in, std::size_t lines, Ch* out) {
    for (; lines > 0; --lines, in += 57, out += 78) {
        for (std::size_t step = 0; step < 2; ++step) {
            const unsigned char* at = in + 24 * step;
            const __m256i digits = DigitsAvx2(
                _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(at + 12), reinterpret_cast<const __m128i*>(at)));
            Store16(out + 32 * step, _mm256_castsi256_si128(digits));
            Store16(out + 32 * step + 16, _mm256_extracti128_si256(digits, 1));
        }
        EncodeLineTail(in, out);
    }
    return out;
}

bool HaveSsse3() {
    static const bool have = __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1");
    return have;
}
bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2") && HaveSsse3();
    return have;
}
bool HaveAvx512() {
    static const bool have = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                             __builtin_cpu_supports("avx512vbmi") && HaveAvx2();
    return have;
}
#endif

// Full lines, each 19 groups and CR LF.
template <typename Ch>
Ch* EncodeLines(const unsigned char*& in, std::size_t lines, Ch* out) {
    for (; lines > 0; --lines) {
        out = EncodeGroups(in, kGroupsPerLine, out);
        *out++ = Ch('\r');
        *out++ = Ch('\n');
    }
    return out;
}

// The encoder of one path: groups without line breaks, and full lines.
template <typename Ch>
struct EncodeFns {
    Ch* (*groups)(const unsigned char*&, std::size_t, Ch*);
    Ch* (*lines)(const unsigned char*&, std::size_t, Ch*);
};

template <typename Ch>
EncodeFns<Ch> EncodeFnsFor(qel::format::Base64Path path) {
    switch (path) {
#ifdef QEL_BASE64_SIMD
        case qel::format::Base64Path::avx512:
        case qel::format::Base64Path::avx2: return {EncodeGroupsAvx2<Ch>, EncodeLinesAvx2<Ch>};
        case qel::format::Base64Path::ssse3: return {EncodeGroupsSsse3<Ch>, EncodeLinesSsse3<Ch>};
#endif
        default: return {EncodeGroups<Ch>, EncodeLines<Ch>};
    }
}

qel::format::Base64Path BestPath() {
#ifdef QEL_BASE64_SIMD
    if (HaveAvx512()) return qel::format::Base64Path::avx512;
    if (HaveAvx2()) return qel::format::Base64Path::avx2;
    if (HaveSsse3()) return qel::format::Base64Path::ssse3;
#endif
    return qel::format::Base64Path::scalar;
}

template <typename Ch>
bool Encode(const unsigned char* bytes, std::size_t count, Ch* out, std::size_t* outLength, unsigned flags,
            EncodeFns<Ch> fns) {
    if (!bytes || !out || !outLength) return false;
    if (*outLength < Base64RequiredLength(count, flags)) return false;

    Ch* p = out;
    std::size_t groups = count / 3;
    if (flags & BASE64_NO_LINE_BREAKS) {
        p = fns.groups(bytes, groups, p);
    } else {
        // Every full line keeps its CR LF, the last one included: only the
        // line break after the partial (possibly empty) last line is left out.
        const std::size_t lines = groups / kGroupsPerLine;
        p = fns.lines(bytes, lines, p);
        p = fns.groups(bytes, groups - lines * kGroupsPerLine, p);
    }

    const std::size_t rest = count % 3;
    if (rest != 0) {
        std::uint32_t v = std::uint32_t{bytes[0]} << 16;
        if (rest == 2) v |= std::uint32_t{bytes[1]} << 8;
        *p++ = Ch(kAlphabet[v >> 18]);
        *p++ = Ch(kAlphabet[(v >> 12) & 63]);
        if (rest == 2) *p++ = Ch(kAlphabet[(v >> 6) & 63]);
        if (!(flags & BASE64_NO_PAD))
            for (std::size_t i = rest; i < 3; ++i) *p++ = Ch('=');
    }
    *outLength = static_cast<std::size_t>(p - out);
    return true;
}

template <typename Ch>
EncodeFns<Ch> BestEncodeFns() {
    static const EncodeFns<Ch> best = EncodeFnsFor<Ch>(BestPath());
    return best;
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

void DecodeCleanScalar(DecodeCursor& c) {
    do {
        // Two groups per step. Stores write exactly the bytes of the groups:
        // nothing past a group that does not fit is touched.
        if constexpr (std::endian::native == std::endian::little) {
            while (c.length - c.pos >= 8 && c.capacity - c.written >= 6) {
                const std::uint32_t a = GroupAt(c.s + c.pos);
                const std::uint32_t b = GroupAt(c.s + c.pos + 4);
                if ((a | b) & kBad) break;
                const std::uint64_t v = __builtin_bswap64((std::uint64_t{a} << 40) | (std::uint64_t{b} << 16));
                std::memcpy(c.out + c.written, &v, 6);
                c.written += 6;
                c.pos += 8;
            }
        }
    } while (CleanGroupsAndLineBreak(c));
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QEL_BASE64_SSSE3 1
// Sixteen digits to twelve bytes with SSSE3 (and SSE4.1 for the test),
// classifying the characters by nibble lookups as Muła and Lemire do. False,
// with nothing stored, when the sixteen hold anything but digits.
__attribute__((target("ssse3,sse4.1"), always_inline)) inline bool DecodeStepSsse3(const unsigned char* in,
                                                                                   unsigned char* out) {
    const __m128i lutLo =
        _mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
    const __m128i lutHi =
        _mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
    const __m128i lutRoll = _mm_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m128i mask2F = _mm_set1_epi8(0x2F);
    const __m128i str = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i hiNibbles = _mm_and_si128(_mm_srli_epi32(str, 4), mask2F);
    const __m128i loNibbles = _mm_and_si128(str, mask2F);
    const __m128i hi = _mm_shuffle_epi8(lutHi, hiNibbles);
    const __m128i lo = _mm_shuffle_epi8(lutLo, loNibbles);
    if (!_mm_testz_si128(lo, hi)) return false;
    const __m128i eq2F = _mm_cmpeq_epi8(str, mask2F);
    const __m128i roll = _mm_shuffle_epi8(lutRoll, _mm_add_epi8(eq2F, hiNibbles));
    const __m128i values = _mm_add_epi8(str, roll);
    const __m128i groups =
        _mm_madd_epi16(_mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140)), _mm_set1_epi32(0x00011000));
    const __m128i bytes =
        _mm_shuffle_epi8(groups, _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
    const std::uint32_t last = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 8)));
    std::memcpy(out + 8, &last, 4);
    return true;
}

__attribute__((target("ssse3,sse4.1"), always_inline)) inline void Ssse3Steps(DecodeCursor& c) {
    while (c.length - c.pos >= 16 && c.capacity - c.written >= 12 && DecodeStepSsse3(c.s + c.pos, c.out + c.written)) {
        c.written += 12;
        c.pos += 16;
    }
}

__attribute__((target("ssse3,sse4.1"))) void DecodeCleanSsse3(DecodeCursor& c) {
    do Ssse3Steps(c);
    while (CleanGroupsAndLineBreak(c));
}

// Thirty-two digits to 24 bytes with AVX2: the SSSE3 step on both halves,
// the two 12-byte results then joined by a lane permute.
__attribute__((target("avx2"), always_inline)) inline bool DecodeStepAvx2(const unsigned char* in, unsigned char* out) {
    const __m256i lutLo = _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B,
                                           0x1B, 0x1B, 0x1A, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                           0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
    const __m256i lutHi = _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10,
                                           0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10,
                                           0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
    const __m256i lutRoll = _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 19, 4,
                                             -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i mask2F = _mm256_set1_epi8(0x2F);
    const __m256i pack = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0, 6, 5, 4, 10,
                                          9, 8, 14, 13, 12, -1, -1, -1, -1);
    const __m256i str = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    const __m256i hiNibbles = _mm256_and_si256(_mm256_srli_epi32(str, 4), mask2F);
    const __m256i loNibbles = _mm256_and_si256(str, mask2F);
    const __m256i hi = _mm256_shuffle_epi8(lutHi, hiNibbles);
    const __m256i lo = _mm256_shuffle_epi8(lutLo, loNibbles);
    if (!_mm256_testz_si256(lo, hi)) return false;
    const __m256i eq2F = _mm256_cmpeq_epi8(str, mask2F);
    const __m256i roll = _mm256_shuffle_epi8(lutRoll, _mm256_add_epi8(eq2F, hiNibbles));
    const __m256i values = _mm256_add_epi8(str, roll);
    const __m256i groups =
        _mm256_madd_epi16(_mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140)), _mm256_set1_epi32(0x00011000));
    const __m256i bytes =
        _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(groups, pack), _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(bytes, 1));
    return true;
}

__attribute__((target("avx2"), always_inline)) inline void Avx2Steps(DecodeCursor& c) {
    while (c.length - c.pos >= 32 && c.capacity - c.written >= 24 && DecodeStepAvx2(c.s + c.pos, c.out + c.written)) {
        c.written += 24;
        c.pos += 32;
    }
}

__attribute__((target("avx2"))) void DecodeCleanAvx2(DecodeCursor& c) {
    do {
        Avx2Steps(c);
        Ssse3Steps(c);
    } while (CleanGroupsAndLineBreak(c));
}

// The tables of the AVX-512 step: the value of each ASCII character (0x80
// for one outside the alphabet), and where each of the 48 bytes of a step
// is found among the 64 of its groups (three of every four, high first).
struct Avx512Tables {
    alignas(64) std::array<std::uint8_t, 128> value{};
    alignas(64) std::array<std::uint8_t, 64> pack{};
    constexpr Avx512Tables() {
        for (std::size_t c = 0; c < value.size(); ++c)
            value[c] = kDigits.value[c] == kNoDigit ? std::uint8_t{0x80} : kDigits.value[c];
        for (std::size_t i = 0; i < 48; ++i) pack[i] = static_cast<std::uint8_t>(i / 3 * 4 + 2 - i % 3);
    }
};
constexpr Avx512Tables kAvx512;

#define QEL_AVX512_TARGET target("avx512f,avx512bw,avx512vbmi,avx2,ssse3,sse4.1")

// Sixty-four digits to 48 bytes with AVX-512: each character's value by
// one byte permute over the 128-entry table, a character of 0x80 or more
// or outside the alphabet seen by the top bit of value or character, then
// the SSSE3 step's multiplies and one byte permute that packs the groups.
// False, with nothing stored, when the 64 hold anything but digits.
__attribute__((QEL_AVX512_TARGET, always_inline)) inline bool DecodeStepAvx512(const unsigned char* in,
                                                                               unsigned char* out) {
    const __m512i lower = _mm512_load_si512(kAvx512.value.data());
    const __m512i upper = _mm512_load_si512(kAvx512.value.data() + 64);
    const __m512i str = _mm512_loadu_si512(in);
    const __m512i values = _mm512_permutex2var_epi8(lower, str, upper);
    if (_mm512_movepi8_mask(_mm512_or_si512(values, str)) != 0) return false;
    const __m512i groups =
        _mm512_madd_epi16(_mm512_maddubs_epi16(values, _mm512_set1_epi32(0x01400140)), _mm512_set1_epi32(0x00011000));
    constexpr __mmask64 k48 = 0xFFFFFFFFFFFF;
    _mm512_mask_storeu_epi8(out, k48,
                            _mm512_maskz_permutexvar_epi8(k48, _mm512_load_si512(kAvx512.pack.data()), groups));
    return true;
}

__attribute__((QEL_AVX512_TARGET)) void DecodeCleanAvx512(DecodeCursor& c) {
    do {
        while (c.length - c.pos >= 64 && c.capacity - c.written >= 48 &&
               DecodeStepAvx512(c.s + c.pos, c.out + c.written)) {
            c.written += 48;
            c.pos += 64;
        }
        Avx2Steps(c);
        Ssse3Steps(c);
    } while (CleanGroupsAndLineBreak(c));
}

// One line of the encoder's layout, 76 digits to 57 bytes: steps at digits
// 0, 32 and 60, the last one decoding again the group the second ended
// with. False when the line holds anything but digits (what was stored
// then means nothing).
__attribute__((target("ssse3,sse4.1"), always_inline)) inline bool DecodeLineSsse3(const unsigned char* in,
                                                                                   unsigned char* out) {
    for (std::size_t step = 0; step < 4; ++step)
        if (!DecodeStepSsse3(in + 16 * step, out + 12 * step)) return false;
    return DecodeStepSsse3(in + 60, out + 45);
}

__attribute__((target("avx2"), always_inline)) inline bool DecodeLineAvx2(const unsigned char* in, unsigned char* out) {
    return DecodeStepAvx2(in, out) && DecodeStepAvx2(in + 32, out + 24) && DecodeStepSsse3(in + 60, out + 45);
}

// Digits 0 to 63 in one AVX-512 step, 12 to 75 in another: the second
// decodes again the groups the first ended with, as a shorter step would.
__attribute__((QEL_AVX512_TARGET, always_inline)) inline bool DecodeLineAvx512(const unsigned char* in,
                                                                               unsigned char* out) {
    return DecodeStepAvx512(in, out) && DecodeStepAvx512(in + 12, out + 9);
}
#endif

}  // namespace

std::size_t Base64RequiredLength(std::size_t count, unsigned flags) {
    // The format's lengths are signed 32-bit: four times the count must fit.
    if (count >= std::size_t{536870912}) AtlThrow(E_FAIL);
    std::size_t r = 4 * count / 3;
    if (!(flags & BASE64_NO_PAD)) r += count % 3;
    const std::size_t lines = r / qel::format::kBase64LineLength + 1;
    const std::size_t last = r % qel::format::kBase64LineLength;
    if (last != 0 && last % 4 != 0) r += 4 - last % 4;
    if (!(flags & BASE64_NO_LINE_BREAKS)) r += 2 * lines;
    return r;
}

bool EncodeBase64(const unsigned char* bytes, std::size_t count, char* out, std::size_t* outLength, unsigned flags) {
    return Encode(bytes, count, out, outLength, flags, BestEncodeFns<std::remove_pointer_t<decltype(out)>>());
}

bool EncodeBase64(const unsigned char* bytes, std::size_t count, char16_t* out, std::size_t* outLength,
                  unsigned flags) {
    return Encode(bytes, count, out, outLength, flags, BestEncodeFns<std::remove_pointer_t<decltype(out)>>());
}

void qel::format::AppendBase64(std::u16string& out, const unsigned char* bytes, std::size_t count, unsigned flags) {
    if (!bytes || count == 0) return;
    const std::size_t at = out.size();
    std::size_t written = Base64RequiredLength(count, flags);
    out.resize(at + written);
    Encode(bytes, count, out.data() + at, &written, flags, BestEncodeFns<char16_t>());
    out.resize(at + written);
}

namespace {

// The fast decoder `path` names, over the clean run at the cursor.
inline void DecodeCleanRun(DecodeCursor& c, qel::format::Base64Path path) {
#ifdef QEL_BASE64_SSSE3
    if (path == qel::format::Base64Path::avx512) DecodeCleanAvx512(c);
    else if (path == qel::format::Base64Path::avx2) DecodeCleanAvx2(c);
    else if (path == qel::format::Base64Path::ssse3) DecodeCleanSsse3(c);
    else DecodeCleanScalar(c);
#else
    static_cast<void>(path);
    DecodeCleanScalar(c);
#endif
}

// Counting only: steps over the clean groups at `pos`, adding their bytes.
inline void CountCleanGroups(const unsigned char* s, std::size_t length, std::size_t& pos, std::size_t& written) {
    for (; length - pos >= 4 && !(GroupAt(s + pos) & kBad); pos += 4) written += 3;
}

// A group as the general rule reads it: its digits in the high bits of a
// 24-bit value, and the whole bytes they make (0 to 3).
struct GatheredGroup {
    std::uint32_t bits;
    std::size_t bytes;
};

// Gathers up to four digits from `pos` on, stepping over every other
// character (line breaks, pad characters, foreign characters) until four
// are found or the text ends.
inline GatheredGroup GatherGroup(const unsigned char* s, std::size_t length, std::size_t& pos) {
    std::uint32_t v = 0;
    unsigned digits = 0;
    for (; digits < 4 && pos < length; ++pos) {
        const std::uint8_t d = kDigits.value[s[pos]];
        if (d == kNoDigit) continue;
        v = (v << 6) | d;
        ++digits;
    }
    return {v << (6 * (4 - digits)), 6 * digits / 8};
}

inline void PutGathered(unsigned char* out, GatheredGroup g) {
    for (std::size_t i = 0; i < g.bytes; ++i) out[i] = static_cast<unsigned char>(g.bits >> (16 - 8 * i));
}

bool Decode(const char* text, std::size_t length, unsigned char* out, std::size_t* outLength,
            qel::format::Base64Path path) {
    if (!text || !outLength) return false;
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    const std::size_t capacity = *outLength;
    bool overflow = out == nullptr;  // no buffer: count only
    std::size_t written = 0;
    std::size_t pos = 0;

    for (;;) {
        if (!overflow) {
            DecodeCursor c{s, length, out, capacity, pos, written};
            DecodeCleanRun(c, path);
            pos = c.pos;
            written = c.written;
        } else {
            CountCleanGroups(s, length, pos, written);
        }
        // Anything else, one group at a time: line breaks, pad characters,
        // foreign characters, the end of the text, a group that overflows.
        if (pos >= length || s[pos] == 0) break;
        const GatheredGroup g = GatherGroup(s, length, pos);
        if (!overflow && capacity - written < g.bytes) overflow = true;
        if (!overflow) PutGathered(out + written, g);
        written += g.bytes;
    }
    *outLength = written;
    return !overflow;
}

inline bool DecodeLineScalar(const unsigned char* in, unsigned char* out) {
    std::uint32_t bad = 0;
    for (std::size_t g = 0; g < kGroupsPerLine; ++g, in += 4, out += 3) {
        const std::uint32_t v = GroupAt(in);
        bad |= v;
        Put3(out, v);
    }
    return !(bad & kBad);
}

// The characters of the line end after a line of kBase64LineLength
// characters at `s` (2 for CR LF, 1 for LF), or 0 when there is none.
__attribute__((always_inline)) inline std::size_t LineEndAfterLine(const unsigned char* s, std::size_t left) {
    constexpr std::size_t n = qel::format::kBase64LineLength;
    if (left > n && s[n] == '\n') return 1;
    if (left > n + 1 && s[n] == '\r' && s[n + 1] == '\n') return 2;
    return 0;
}

// True when the line at `s`, `stride` characters long, ends as a line of
// that stride does (CR LF for 78, LF for 77).
__attribute__((always_inline)) inline bool EndsLikeStride(const unsigned char* s, std::size_t stride) {
    constexpr std::size_t n = qel::format::kBase64LineLength;
    return stride == n + 1 ? s[n] == '\n' : s[n] == '\r' && s[n + 1] == '\n';
}

// Up to `lines` lines `stride` characters apart, each decoded by the line
// decoder of one path while it ends as its stride says and is clean; the
// number of lines decoded.
using LinesFn = std::size_t (*)(const unsigned char*, std::size_t, std::size_t, unsigned char*);

std::size_t DecodeLinesScalar(const unsigned char* s, std::size_t lines, std::size_t stride, unsigned char* out) {
    std::size_t i = 0;
    while (i < lines && EndsLikeStride(s + i * stride, stride) &&
           DecodeLineScalar(s + i * stride, out + i * 3 * kGroupsPerLine))
        ++i;
    return i;
}

#ifdef QEL_BASE64_SSSE3
__attribute__((target("ssse3,sse4.1"))) std::size_t DecodeLinesSsse3(const unsigned char* s, std::size_t lines,
                                                                     std::size_t stride, unsigned char* out) {
    std::size_t i = 0;
    while (i < lines && EndsLikeStride(s + i * stride, stride) &&
           DecodeLineSsse3(s + i * stride, out + i * 3 * kGroupsPerLine))
        ++i;
    return i;
}

__attribute__((target("avx2"))) std::size_t DecodeLinesAvx2(const unsigned char* s, std::size_t lines,
                                                            std::size_t stride, unsigned char* out) {
    std::size_t i = 0;
    while (i < lines && EndsLikeStride(s + i * stride, stride) &&
           DecodeLineAvx2(s + i * stride, out + i * 3 * kGroupsPerLine))
        ++i;
    return i;
}

__attribute__((QEL_AVX512_TARGET)) std::size_t DecodeLinesAvx512(const unsigned char* s, std::size_t lines,
                                                                 std::size_t stride, unsigned char* out) {
    std::size_t i = 0;
    while (i < lines && EndsLikeStride(s + i * stride, stride) &&
           DecodeLineAvx512(s + i * stride, out + i * 3 * kGroupsPerLine))
        ++i;
    return i;
}
#endif

LinesFn DecodeLinesFor(qel::format::Base64Path path) {
    switch (path) {
#ifdef QEL_BASE64_SSSE3
        case qel::format::Base64Path::avx512: return DecodeLinesAvx512;
        case qel::format::Base64Path::avx2: return DecodeLinesAvx2;
        case qel::format::Base64Path::ssse3: return DecodeLinesSsse3;
#endif
        default: return DecodeLinesScalar;
    }
}

// Runs of lines with the same line end, as long as they fit `capacity`.
std::size_t DecodeLines(LinesFn decode, const char* text, std::size_t length, unsigned char* out, std::size_t capacity,
                        std::size_t* used) {
    constexpr std::size_t kLineBytes = kGroupsPerLine * 3;
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    std::size_t pos = 0, written = 0;
    for (;;) {
        const std::size_t end = LineEndAfterLine(s + pos, length - pos);
        if (end == 0 || capacity - written < kLineBytes) break;
        const std::size_t stride = qel::format::kBase64LineLength + end;
        const std::size_t most = std::min((length - pos) / stride, (capacity - written) / kLineBytes);
        const std::size_t clean = decode(s + pos, most, stride, out + written);
        pos += clean * stride;
        written += clean * kLineBytes;
        if (clean == 0) break;  // the first line is not clean; otherwise the line end changed, or the end came
    }
    *used = pos;
    return written;
}

}  // namespace

bool DecodeBase64(const char* text, std::size_t length, unsigned char* out, std::size_t* outLength) {
    static const qel::format::Base64Path best = BestPath();
    return Decode(text, length, out, outLength, best);
}

namespace qel::format {

std::size_t DecodeBase64Lines(const char* text, std::size_t length, unsigned char* out, std::size_t capacity,
                              std::size_t* used) {
    static const LinesFn best = DecodeLinesFor(BestPath());
    return DecodeLines(best, text, length, out, capacity, used);
}

bool Base64PathAvailable(Base64Path path) noexcept {
    switch (path) {
        case Base64Path::scalar: return true;
#ifdef QEL_BASE64_SIMD
        case Base64Path::ssse3: return HaveSsse3();
        case Base64Path::avx2: return HaveAvx2();
        case Base64Path::avx512: return HaveAvx512();
#endif
        default: return false;
    }
}

bool EncodeBase64On(Base64Path path, const unsigned char* bytes, std::size_t count, char* out, std::size_t* outLength,
                    unsigned flags) {
    if (!Base64PathAvailable(path)) return false;
    return Encode(bytes, count, out, outLength, flags, EncodeFnsFor<char>(path));
}

bool EncodeBase64On(Base64Path path, const unsigned char* bytes, std::size_t count, char16_t* out,
                    std::size_t* outLength, unsigned flags) {
    if (!Base64PathAvailable(path)) return false;
    return Encode(bytes, count, out, outLength, flags, EncodeFnsFor<char16_t>(path));
}

bool DecodeBase64On(Base64Path path, const char* text, std::size_t length, unsigned char* out, std::size_t* outLength) {
    if (!Base64PathAvailable(path)) return false;
    return Decode(text, length, out, outLength, path);
}

std::unique_ptr<unsigned char[]> DecodeBase64Bytes(const char* text, std::size_t length, std::size_t& count) {
    count = 0;
    if (!text) return nullptr;
    // Four characters never give more than three bytes, so `length` suffices.
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[length + 1]);
    if (!buffer) AfxThrowMemoryException();
    std::size_t written = length;
    if (!DecodeBase64(text, length, buffer.get(), &written)) return nullptr;
    count = written;
    return buffer;
}

std::size_t DecodeBase64LinesOn(Base64Path path, const char* text, std::size_t length, unsigned char* out,
                                std::size_t capacity, std::size_t* used) {
    *used = 0;
    if (!Base64PathAvailable(path)) return 0;
    return DecodeLines(DecodeLinesFor(path), text, length, out, capacity, used);
}

}  // namespace qel::format

int Base64DigitValue(char ch) noexcept {
    const std::uint8_t v = kDigits.value[static_cast<unsigned char>(ch)];
    return v == kNoDigit ? -1 : v;
}
