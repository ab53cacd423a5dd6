// The SSSE3 (and SSE4.1) steps of the Base64 codec, inline so that the
// AVX2 and AVX-512 kernels can finish their runs with them.
#pragma once

#include "format/base64_kernels.h"

#if defined(QEL_BASE64_SIMD)
#include <immintrin.h>

namespace qel::format::base64 {

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

}  // namespace qel::format::base64

#endif
