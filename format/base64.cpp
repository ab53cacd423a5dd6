#include "format/base64.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "format/toruca_format.h"
#include "framework/exceptions.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kGroupsPerLine = toruca::kBase64LineLength / 4;  // 19 groups of three bytes
static_assert(kGroupsPerLine * 4 == toruca::kBase64LineLength);

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
constexpr std::uint32_t kBad = 0x01000000u;
struct DigitTables {
    std::array<std::int8_t, 256> value{};
    std::array<std::array<std::uint32_t, 256>, 4> shifted{};
    constexpr DigitTables() {
        for (auto& v : value) v = -1;
        for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
        for (unsigned c = 0; c < 256; ++c)
            for (unsigned place = 0; place < 4; ++place)
                shifted[place][c] = value[c] < 0 ? kBad : static_cast<std::uint32_t>(value[c]) << (18 - 6 * place);
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

template <typename Ch>
bool Encode(const unsigned char* bytes, std::size_t count, Ch* out, std::size_t* outLength, unsigned flags) {
    if (!bytes || !out || !outLength) return false;
    if (*outLength < Base64RequiredLength(count, flags)) return false;

    Ch* p = out;
    std::size_t groups = count / 3;
    if (flags & BASE64_NO_LINE_BREAKS) {
        p = EncodeGroups(bytes, groups, p);
    } else {
        // Every full line keeps its CR LF, the last one included: only the
        // line break after the partial (possibly empty) last line is left out.
        for (; groups >= kGroupsPerLine; groups -= kGroupsPerLine) {
            p = EncodeGroups(bytes, kGroupsPerLine, p);
            *p++ = Ch('\r');
            *p++ = Ch('\n');
        }
        p = EncodeGroups(bytes, groups, p);
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

}  // namespace

std::size_t Base64RequiredLength(std::size_t count, unsigned flags) {
    // The format's lengths are signed 32-bit: four times the count must fit.
    if (count >= std::size_t{536870912}) AtlThrow(E_FAIL);
    std::size_t r = 4 * count / 3;
    if (!(flags & BASE64_NO_PAD)) r += count % 3;
    const std::size_t lines = r / toruca::kBase64LineLength + 1;
    const std::size_t last = r % toruca::kBase64LineLength;
    if (last != 0 && last % 4 != 0) r += 4 - last % 4;
    if (!(flags & BASE64_NO_LINE_BREAKS)) r += 2 * lines;
    return r;
}

bool EncodeBase64(const unsigned char* bytes, std::size_t count, char* out, std::size_t* outLength,
                  unsigned flags) {
    return Encode(bytes, count, out, outLength, flags);
}

bool EncodeBase64(const unsigned char* bytes, std::size_t count, char16_t* out, std::size_t* outLength,
                  unsigned flags) {
    return Encode(bytes, count, out, outLength, flags);
}

void AppendBase64(std::u16string& out, const unsigned char* bytes, std::size_t count, unsigned flags) {
    if (!bytes || count == 0) return;
    const std::size_t at = out.size();
    std::size_t written = Base64RequiredLength(count, flags);
    out.resize(at + written);
    Encode(bytes, count, out.data() + at, &written, flags);
    out.resize(at + written);
}

bool DecodeBase64(const char* text, std::size_t length, unsigned char* out, std::size_t* outLength) {
    if (!text || !outLength) return false;
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    const std::size_t capacity = *outLength;
    bool overflow = out == nullptr;  // no buffer: count only
    std::size_t written = 0;
    std::size_t pos = 0;

    for (;;) {
        // Groups of four digits in a row, the common case, in one step each.
        while (length - pos >= 4) {
            const std::uint32_t v = kDigits.shifted[0][s[pos]] | kDigits.shifted[1][s[pos + 1]] |
                                    kDigits.shifted[2][s[pos + 2]] | kDigits.shifted[3][s[pos + 3]];
            if (v & kBad) break;
            if (!overflow) {
                if (capacity - written < 3) break;
                out[written] = static_cast<unsigned char>(v >> 16);
                out[written + 1] = static_cast<unsigned char>(v >> 8);
                out[written + 2] = static_cast<unsigned char>(v);
            }
            written += 3;
            pos += 4;
        }
        // Anything else, one group at a time: line breaks, pad characters,
        // foreign characters, the end of the text, a group that overflows.
        if (pos >= length || s[pos] == 0) break;
        std::uint32_t v = 0;
        unsigned digits = 0;
        for (; digits < 4 && pos < length; ++pos) {
            const int d = kDigits.value[s[pos]];
            if (d < 0) continue;
            v = (v << 6) | static_cast<std::uint32_t>(d);
            ++digits;
        }
        v <<= 6 * (4 - digits);
        const std::size_t n = 6 * digits / 8;
        if (!overflow && capacity - written < n) overflow = true;
        for (std::size_t i = 0; i < n; ++i, ++written)
            if (!overflow) out[written] = static_cast<unsigned char>(v >> (16 - 8 * i));
    }
    *outLength = written;
    return !overflow;
}

int Base64DigitValue(char ch) noexcept { return kDigits.value[static_cast<unsigned char>(ch)]; }
