// The scalar kernels of the Base64 codec: the reference every other set
// matches byte for byte, and the path of processors without SIMD.
#include <bit>

#include "format/base64_kernels.h"

namespace qel::format::base64 {

namespace {

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

inline bool DecodeLineScalar(const unsigned char* in, unsigned char* out) {
    std::uint32_t bad = 0;
    for (std::size_t g = 0; g < kGroupsPerLine; ++g, in += 4, out += 3) {
        const std::uint32_t v = GroupAt(in);
        bad |= v;
        Put3(out, v);
    }
    return !(bad & kBad);
}

std::size_t DecodeLinesScalar(const unsigned char* s, std::size_t lines, std::size_t stride, unsigned char* out) {
    std::size_t i = 0;
    while (i < lines && EndsLikeStride(s + i * stride, stride) &&
           DecodeLineScalar(s + i * stride, out + i * 3 * kGroupsPerLine))
        ++i;
    return i;
}

}  // namespace

const Kernels kScalarKernels{{EncodeGroups<char>, EncodeLines<char>},
                             {EncodeGroups<char16_t>, EncodeLines<char16_t>},
                             DecodeCleanScalar,
                             DecodeLinesScalar};

}  // namespace qel::format::base64
