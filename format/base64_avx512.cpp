// The AVX-512 kernels of the Base64 codec (with VBMI's byte permutes): 64
// digits a decoding step; encoding as AVX2 does.
#include "format/base64_avx2.h"

#if defined(QEL_BASE64_SIMD)

namespace qel::format::base64 {

namespace {

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

// Digits 0 to 63 in one AVX-512 step, 12 to 75 in another: the second
// decodes again the groups the first ended with, as a shorter step would.
__attribute__((QEL_AVX512_TARGET, always_inline)) inline bool DecodeLineAvx512(const unsigned char* in,
                                                                               unsigned char* out) {
    return DecodeStepAvx512(in, out) && DecodeStepAvx512(in + 12, out + 9);
}
__attribute__((QEL_AVX512_TARGET)) std::size_t DecodeLinesAvx512(const unsigned char* s, std::size_t lines,
                                                                 std::size_t stride, unsigned char* out) {
    std::size_t i = 0;
    while (i < lines && EndsLikeStride(s + i * stride, stride) &&
           DecodeLineAvx512(s + i * stride, out + i * 3 * kGroupsPerLine))
        ++i;
    return i;
}
}  // namespace

const Kernels kAvx512Kernels{{EncodeGroupsAvx2<char>, EncodeLinesAvx2<char>},
                             {EncodeGroupsAvx2<char16_t>, EncodeLinesAvx2<char16_t>},
                             DecodeCleanAvx512,
                             DecodeLinesAvx512};

}  // namespace qel::format::base64

#endif
