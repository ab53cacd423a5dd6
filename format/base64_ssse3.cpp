// The SSSE3 kernels of the Base64 codec: four groups a step.
#include "format/base64_ssse3.h"

#if defined(QEL_BASE64_SIMD)

namespace qel::format::base64 {

namespace {

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

__attribute__((target("ssse3,sse4.1"))) void DecodeCleanSsse3(DecodeCursor& c) {
    do Ssse3Steps(c);
    while (CleanGroupsAndLineBreak(c));
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

__attribute__((target("ssse3,sse4.1"))) std::size_t DecodeLinesSsse3(const unsigned char* s, std::size_t lines,
                                                                     std::size_t stride, unsigned char* out) {
    std::size_t i = 0;
    while (i < lines && EndsLikeStride(s + i * stride, stride) &&
           DecodeLineSsse3(s + i * stride, out + i * 3 * kGroupsPerLine))
        ++i;
    return i;
}

}  // namespace

const Kernels kSsse3Kernels{{EncodeGroupsSsse3<char>, EncodeLinesSsse3<char>},
                            {EncodeGroupsSsse3<char16_t>, EncodeLinesSsse3<char16_t>},
                            DecodeCleanSsse3,
                            DecodeLinesSsse3};

}  // namespace qel::format::base64

#endif
