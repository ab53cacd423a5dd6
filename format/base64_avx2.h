// The AVX2 steps of the Base64 codec, inline so that the AVX-512 kernels
// can use them: eight groups a step to encode, 32 digits a step to decode.
#pragma once

#include "format/base64_ssse3.h"

#if defined(QEL_BASE64_SIMD)

namespace qel::format::base64 {

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

}  // namespace qel::format::base64

#endif
