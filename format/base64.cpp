// The Base64 codec's entry points and the choice, once at run time, of the
// kernels of the best instruction set the processor has
// (format/base64_kernels.h). The general decoding loop, which every set
// falls back to for what is not a clean run, is here too.
#include "format/base64.h"

#include <algorithm>
#include <new>
#include <type_traits>

#include "format/base64_kernels.h"
#include "framework/exceptions.h"

using namespace qel::format::base64;

namespace {

#if defined(QEL_BASE64_SIMD)
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

// The kernels of `path`, which the processor must have.
const Kernels& KernelsFor(qel::format::Base64Path path) {
    switch (path) {
#if defined(QEL_BASE64_SIMD)
        case qel::format::Base64Path::avx512: return kAvx512Kernels;
        case qel::format::Base64Path::avx2: return kAvx2Kernels;
        case qel::format::Base64Path::ssse3: return kSsse3Kernels;
#endif
        default: return kScalarKernels;
    }
}

template <typename Ch>
EncodeFns<Ch> EncodeFnsFor(qel::format::Base64Path path) {
    if constexpr (sizeof(Ch) == 1) return KernelsFor(path).encode8;
    else return KernelsFor(path).encode16;
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
    static const EncodeFns<Ch> best = EncodeFnsFor<Ch>(qel::format::Base64DispatchPath());
    return best;
}

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
            KernelsFor(path).decodeClean(c);
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

// The characters of the line end after a line of kBase64LineLength
// characters at `s` (2 for CR LF, 1 for LF), or 0 when there is none.
__attribute__((always_inline)) inline std::size_t LineEndAfterLine(const unsigned char* s, std::size_t left) {
    constexpr std::size_t n = qel::format::kBase64LineLength;
    if (left > n && s[n] == '\n') return 1;
    if (left > n + 1 && s[n] == '\r' && s[n + 1] == '\n') return 2;
    return 0;
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
    return Decode(text, length, out, outLength, qel::format::Base64DispatchPath());
}

namespace qel::format {

std::size_t DecodeBase64Lines(const char* text, std::size_t length, unsigned char* out, std::size_t capacity,
                              std::size_t* used) {
    static const LinesFn best = KernelsFor(Base64DispatchPath()).decodeLines;
    return DecodeLines(best, text, length, out, capacity, used);
}

bool Base64PathAvailable(Base64Path path) noexcept {
    switch (path) {
        case Base64Path::scalar: return true;
#if defined(QEL_BASE64_SIMD)
        case Base64Path::ssse3: return HaveSsse3();
        case Base64Path::avx2: return HaveAvx2();
        case Base64Path::avx512: return HaveAvx512();
#endif
        default: return false;
    }
}

Base64Path BestBase64Path(bool (*available)(Base64Path)) noexcept {
    for (Base64Path path : {Base64Path::avx512, Base64Path::avx2, Base64Path::ssse3})
        if (available(path)) return path;
    return Base64Path::scalar;
}

Base64Path Base64DispatchPath() noexcept {
    static const Base64Path chosen = BestBase64Path(Base64PathAvailable);
    return chosen;
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
    return DecodeLines(KernelsFor(path).decodeLines, text, length, out, capacity, used);
}

}  // namespace qel::format

int Base64DigitValue(char ch) noexcept {
    const std::uint8_t v = kDigits.value[static_cast<unsigned char>(ch)];
    return v == kNoDigit ? -1 : v;
}
