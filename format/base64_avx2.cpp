// The AVX2 kernels of the Base64 codec.
#include "format/base64_avx2.h"

#if defined(QEL_BASE64_SIMD)

namespace qel::format::base64 {

namespace {

__attribute__((target("avx2"))) void DecodeCleanAvx2(DecodeCursor& c) {
    do {
        Avx2Steps(c);
        Ssse3Steps(c);
    } while (CleanGroupsAndLineBreak(c));
}

__attribute__((target("avx2"), always_inline)) inline bool DecodeLineAvx2(const unsigned char* in, unsigned char* out) {
    return DecodeStepAvx2(in, out) && DecodeStepAvx2(in + 32, out + 24) && DecodeStepSsse3(in + 60, out + 45);
}

__attribute__((target("avx2"))) std::size_t DecodeLinesAvx2(const unsigned char* s, std::size_t lines,
                                                            std::size_t stride, unsigned char* out) {
    std::size_t i = 0;
    while (i < lines && EndsLikeStride(s + i * stride, stride) &&
           DecodeLineAvx2(s + i * stride, out + i * 3 * kGroupsPerLine))
        ++i;
    return i;
}

}  // namespace

const Kernels kAvx2Kernels{{EncodeGroupsAvx2<char>, EncodeLinesAvx2<char>},
                           {EncodeGroupsAvx2<char16_t>, EncodeLinesAvx2<char16_t>},
                           DecodeCleanAvx2,
                           DecodeLinesAvx2};

}  // namespace qel::format::base64

#endif
