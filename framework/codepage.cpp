#include "framework/codepage.h"
#include "framework/hugepages.h"

#include <iconv.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qel::framework {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// --- code page 932 tables -------------------------------------------------

bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

// The user-defined area: 10 lead bytes 0xF0-0xF9 of 188 trail bytes each.
bool IsUserDefinedLead(unsigned char b) { return b >= 0xF0 && b <= 0xF9; }
char16_t UserDefinedToWide(unsigned char lead, unsigned char trail) {
    const int t = trail < 0x80 ? trail - 0x40 : trail - 0x41;
    return static_cast<char16_t>(0xE000 + (lead - 0xF0) * 188 + t);
}
std::uint16_t WideToUserDefined(char16_t c) {
    const int i = c - 0xE000;
    const int lead = 0xF0 + i / 188, t = i % 188;
    const int trail = t < 0x3F ? 0x40 + t : 0x41 + t;
    return static_cast<std::uint16_t>(lead << 8 | trail);
}

class Converter {
public:
    // Asks iconv for one code page 932 sequence; 0xFFFF when it is not valid.
    char16_t Decode(const unsigned char* bytes, std::size_t n) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!Open()) return kReplacement;
        iconv(toWide_, nullptr, nullptr, nullptr, nullptr);
        char in[2] = {static_cast<char>(bytes[0]), n > 1 ? static_cast<char>(bytes[1]) : '\0'};
        char16_t out[4] = {};
        char* ip = in;
        char* op = reinterpret_cast<char*>(out);
        std::size_t il = n, ol = sizeof out;
        if (iconv(toWide_, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || il != 0 || sizeof out - ol != 2)
            return 0xFFFF;
        return out[0];
    }
    // Asks iconv for the code page 932 form of one BMP character: the byte
    // (below 0x100) or the pair (lead << 8 | trail); 0xFFFF when it has none.
    std::uint16_t Encode(char16_t c) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!Open()) return 0xFFFF;
        iconv(toCp932_, nullptr, nullptr, nullptr, nullptr);
        char16_t in[1] = {c};
        unsigned char out[8] = {};
        char* ip = reinterpret_cast<char*>(in);
        char* op = reinterpret_cast<char*>(out);
        std::size_t il = sizeof in, ol = sizeof out;
        if (iconv(toCp932_, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || il != 0) return 0xFFFF;
        const std::size_t n = sizeof out - ol;
        if (n == 1) return out[0];
        if (n == 2) return static_cast<std::uint16_t>(out[0] << 8 | out[1]);
        return 0xFFFF;
    }

private:
    bool Open() {
        if (toWide_ == reinterpret_cast<iconv_t>(-1)) toWide_ = iconv_open("UTF-16LE", "CP932");
        if (toCp932_ == reinterpret_cast<iconv_t>(-1)) toCp932_ = iconv_open("CP932", "UTF-16LE");
        return toWide_ != reinterpret_cast<iconv_t>(-1) && toCp932_ != reinterpret_cast<iconv_t>(-1);
    }
    std::mutex mutex_;
    iconv_t toWide_ = reinterpret_cast<iconv_t>(-1);
    iconv_t toCp932_ = reinterpret_cast<iconv_t>(-1);
};

Converter& TheConverter() {
    static Converter* converter = new Converter();  // lives as long as the process
    return *converter;
}

// Cached answers. 0 means "not asked yet" (no non-ASCII sequence maps to or
// from U+0000 / byte 0, so 0 is free); 0xFFFF means "not valid".
std::array<std::atomic<std::uint16_t>, 65536>& DecodeTable() {
    static auto* table = new std::array<std::atomic<std::uint16_t>, 65536>();
    return *table;
}
std::array<std::atomic<std::uint16_t>, 65536>& EncodeTable() {
    static auto* table = new std::array<std::atomic<std::uint16_t>, 65536>();
    return *table;
}

char16_t DecodeSequence(unsigned char lead, unsigned char trail, std::size_t n) {
    const std::size_t key = n == 1 ? lead : static_cast<std::size_t>(lead << 8 | trail);
    auto& slot = DecodeTable()[key];
    std::uint16_t v = slot.load(std::memory_order_relaxed);
    if (v == 0) {
        const unsigned char bytes[2] = {lead, trail};
        v = TheConverter().Decode(bytes, n);
        if (v == 0) v = 0xFFFF;
        slot.store(v, std::memory_order_relaxed);
    }
    return v == 0xFFFF ? kReplacement : static_cast<char16_t>(v);
}

std::uint16_t EncodeChar(char16_t c) {
    auto& slot = EncodeTable()[c];
    std::uint16_t v = slot.load(std::memory_order_relaxed);
    if (v == 0) {
        v = TheConverter().Encode(c);
        if (v == 0) v = 0xFFFF;
        slot.store(v, std::memory_order_relaxed);
    }
    return v;
}

// Copies the ASCII code units (0..0x7F) at the start of `src` as bytes, at
// most `n`; answers how many. Sixteen at a time where SSE2 is there.
std::size_t NarrowAscii(const char16_t* src, std::size_t n, char* dst) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    for (; n - i >= 16; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8));
        const __m128i bad = _mm_and_si128(_mm_or_si128(a, b), high);
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(bad, zero)) != 0xFFFF) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(a, b));
    }
#endif
    for (; i < n && src[i] < 0x80; ++i) dst[i] = static_cast<char>(src[i]);
    return i;
}

// Writes "&#N;" at `d`; answers its length (at most 10 for any code point).
std::size_t WriteReference(char* d, char32_t cp) {
    char buf[16];
    const int n = std::snprintf(buf, sizeof buf, "&#%u;", static_cast<unsigned>(cp));
    std::memcpy(d, buf, static_cast<std::size_t>(n));
    return static_cast<std::size_t>(n);
}

// The text goes in chunks into room made at the end of the output: two
// bytes a code unit, which every character but a character reference fits,
// and spare room for one reference. A reference that would eat into the
// room of the rest of the chunk ends the chunk early. The zero fill of a
// chunk's room stays in cache.
constexpr std::size_t kChunk = 2048;
constexpr std::size_t kLongestReference = 10;  // "&#1114111;"

// How one character other than ASCII is written: its code page 932 form,
// or else the code point of a reference, and the code units it takes.
struct NarrowForm {
    std::uint16_t bytes;  // a byte below 0x100, or lead << 8 | trail
    char32_t reference;   // 0, or the code point written as "&#N;"
    std::size_t used;     // 1, or 2 for a surrogate pair
};

inline NarrowForm FormOf(const char16_t* p, const char16_t* end) {
    const char16_t c = *p;
    if (c >= 0xD800 && c <= 0xDFFF) {
        // Nothing outside the BMP is in code page 932.
        if (c <= 0xDBFF && p + 1 < end && p[1] >= 0xDC00 && p[1] <= 0xDFFF)
            return {0, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (p[1] - 0xDC00), 2};
        return {0, kReplacement, 1};
    }
    if (c >= 0xE000 && c <= 0xE757) return {WideToUserDefined(c), 0, 1};
    const std::uint16_t v = EncodeChar(c);
    if (v == 0xFFFF) return {0, c, 1};
    return {v, 0, 1};
}

inline char* PutNarrow(char* d, std::uint16_t v) {
    if (v < 0x100) {
        *d++ = static_cast<char>(v);
    } else {
        *d++ = static_cast<char>(v >> 8);
        *d++ = static_cast<char>(v & 0xFF);
    }
    return d;
}

// Writes the run of characters other than ASCII at `p`, up to the next
// ASCII one or `stop`. False when a reference would not fit the room left
// for the rest of the chunk: `p` is then at it, and the next chunk starts
// with it.
inline bool NarrowOtherRun(const char16_t*& p, const char16_t* stop, const char16_t* end, char*& d, char* limit) {
    do {
        const NarrowForm form = FormOf(p, end);
        if (form.reference != 0) {
            const std::size_t rest = static_cast<std::size_t>(stop - p);
            const std::size_t after = rest > form.used ? rest - form.used : 0;
            if (static_cast<std::size_t>(limit - d) < kLongestReference + 2 * after) return false;
            d += WriteReference(d, form.reference);
        } else {
            d = PutNarrow(d, form.bytes);
        }
        p += form.used;
    } while (p < stop && *p >= 0x80);
    return true;
}

// Writes the chunk from `p` to `stop` into the room from `d` to `limit`;
// answers where the bytes end. `p` is left where the chunk ended.
inline char* NarrowChunk(const char16_t*& p, const char16_t* stop, const char16_t* end, char* d, char* limit) {
    while (p < stop) {
        // ASCII run: one byte per code unit, no table, no iconv.
        const std::size_t n = NarrowAscii(p, static_cast<std::size_t>(stop - p), d);
        p += n;
        d += n;
        if (p == stop || !NarrowOtherRun(p, stop, end, d, limit)) break;
    }
    return d;
}

}  // namespace

void AppendWideAsCp932(std::string& out, std::u16string_view text) {
    const char16_t* p = text.data();
    const char16_t* const end = p + text.size();
    while (p < end) {
        const std::size_t units = std::min<std::size_t>(static_cast<std::size_t>(end - p), kChunk);
        const std::size_t at = out.size();
        out.resize(at + 2 * units + kLongestReference);
        char* const base = out.data() + at;
        char* const d = NarrowChunk(p, p + units, end, base, base + 2 * units + kLongestReference);
        out.resize(at + static_cast<std::size_t>(d - base));
    }
}

std::string WideToCp932(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    AdviseHugePages(out.data(), out.capacity());
    AppendWideAsCp932(out, text);
    return out;
}

void AppendCp932AsWide(std::u16string& out, std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    // The output never has more code units than the input has bytes.
    const std::size_t base = out.size();
    out.resize(base + bytes.size());
    char16_t* dst = out.data() + base;
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0x80) {
            *dst++ = b;
            ++p;
            continue;
        }
        if (b >= 0xA1 && b <= 0xDF) {  // half-width katakana
            *dst++ = static_cast<char16_t>(0xFF61 + (b - 0xA1));
            ++p;
            continue;
        }
        if (IsLeadByte(b)) {
            if (p + 1 < end && IsTrailByte(p[1])) {
                *dst++ = IsUserDefinedLead(b) ? UserDefinedToWide(b, p[1]) : DecodeSequence(b, p[1], 2);
                p += 2;
            } else {
                *dst++ = kReplacement;
                ++p;
            }
            continue;
        }
        *dst++ = DecodeSequence(b, 0, 1);  // 0x80, 0xA0, 0xFD-0xFF
        ++p;
    }
    out.resize(static_cast<std::size_t>(dst - out.data()));
}

std::u16string Cp932ToWide(std::string_view bytes) {
    std::u16string out;
    AppendCp932AsWide(out, bytes);
    return out;
}

// --- UTF-8 ------------------------------------------------------------------

namespace {

// Decodes one UTF-8 sequence at p; returns the code point or -1 for invalid
// input, and advances p past what was consumed (at least one byte).
long DecodeUtf8(const unsigned char*& p, const unsigned char* end) {
    const unsigned char b = *p++;
    if (b < 0x80) return b;
    int extra;
    long cp, min;
    if (b >= 0xC2 && b <= 0xDF) {
        extra = 1;
        cp = b & 0x1F;
        min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        extra = 2;
        cp = b & 0x0F;
        min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        extra = 3;
        cp = b & 0x07;
        min = 0x10000;
    } else return -1;
    for (int i = 0; i < extra; ++i) {
        if (p >= end || (*p & 0xC0) != 0x80) return -1;
        cp = (cp << 6) | (*p++ & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    return cp;
}

constexpr std::uint64_t kHighBits8 = 0x8080808080808080u;
constexpr std::uint64_t kHighBits16 = 0xFF80FF80FF80FF80u;

// Whether the eight bytes at `p` are ASCII.
bool EightAscii(const unsigned char* p) {
    std::uint64_t eight;
    std::memcpy(&eight, p, 8);
    return (eight & kHighBits8) == 0;
}

// The lone surrogate a byte that is not UTF-8 stands for in a path, and back.
constexpr char16_t kEscapeBase = 0xDC00;
constexpr bool IsEscapedByte(char16_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

// Writes the UTF-16 of `utf8` at `o` (room for utf8.size() units); returns the
// end. A byte of invalid UTF-8 is U+FFFD, or with `escape` its own escape
// (and the bytes after it are read anew).
char16_t* WriteUtf8AsWide(char16_t* o, std::string_view utf8, bool escape) {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = p + utf8.size();
    while (p < end) {
        // ASCII eight bytes at a time: most of a page is.
        while (end - p >= 8 && EightAscii(p)) {
            for (int k = 0; k < 8; ++k) o[k] = p[k];
            p += 8;
            o += 8;
        }
        if (p == end) break;
        if (*p < 0x80) {
            *o++ = *p++;
            continue;
        }
        const unsigned char* const start = p;
        const long cp = DecodeUtf8(p, end);
        if (cp < 0 && escape) {
            *o++ = static_cast<char16_t>(kEscapeBase + *start);
            p = start + 1;
        } else if (cp < 0) {
            *o++ = kReplacement;
        } else if (cp >= 0x10000) {
            *o++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            *o++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            *o++ = static_cast<char16_t>(cp);
        }
    }
    return o;
}

}  // namespace

void AppendUtf8AsWide(std::u16string& out, std::string_view utf8) {
    // Never more code units than bytes: the text is written in place and cut.
    const std::size_t at = out.size();
    out.resize(at + utf8.size());
    char16_t* const end = WriteUtf8AsWide(out.data() + at, utf8, false);
    out.resize(static_cast<std::size_t>(end - out.data()));
}

std::u16string Utf8ToWide(std::string_view utf8) {
    std::u16string out;
    AppendUtf8AsWide(out, utf8);
    return out;
}

namespace {

// The code point at text[i], a surrogate pair taken whole (`i` moves on to
// its second half) and a lone surrogate read as U+FFFD.
char32_t CodePointAt(std::u16string_view text, std::size_t& i) {
    const char32_t c = text[i];
    if (c < 0xD800 || c > 0xDFFF) return c;
    if (c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        ++i;
        return 0x10000 + ((c - 0xD800) << 10) + (text[i] - 0xDC00);
    }
    return kReplacement;
}

// Whether the four code units at `p` are ASCII.
bool FourAscii(const char16_t* p) {
    std::uint64_t four;
    std::memcpy(&four, p, 8);
    return (four & kHighBits16) == 0;
}

std::size_t Utf8Length(std::u16string_view text, bool escape) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        while (text.size() - i >= 4 && FourAscii(text.data() + i)) {
            length += 4;
            i += 4;
        }
        if (i == text.size()) break;
        if (text[i] < 0x80 || (escape && IsEscapedByte(text[i]))) {
            ++length;
            continue;
        }
        const char32_t cp = CodePointAt(text, i);
        length += cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    }
    return length;
}

// Writes the UTF-8 of `text` at `o` (room for Utf8Length(text, escape)
// bytes); with `escape`, a lone U+DC80-U+DCFF is the byte it stands for.
void WriteWideAsUtf8(char* o, std::u16string_view text, bool escape) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        while (text.size() - i >= 4 && FourAscii(text.data() + i)) {
            for (int k = 0; k < 4; ++k) o[k] = static_cast<char>(text[i + static_cast<std::size_t>(k)]);
            o += 4;
            i += 4;
        }
        if (i == text.size()) break;
        if (text[i] < 0x80) {
            *o++ = static_cast<char>(text[i]);
            continue;
        }
        if (escape && IsEscapedByte(text[i])) {
            *o++ = static_cast<char>(text[i] - kEscapeBase);
            continue;
        }
        const char32_t cp = CodePointAt(text, i);
        if (cp < 0x800) {
            *o++ = static_cast<char>(0xC0 | (cp >> 6));
            *o++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *o++ = static_cast<char>(0xE0 | (cp >> 12));
            *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *o++ = static_cast<char>(0xF0 | (cp >> 18));
            *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
}

}  // namespace

void AppendWideAsUtf8(std::string& out, std::u16string_view text) {
    // The exact length first, then the bytes written in place.
    const std::size_t at = out.size();
    out.resize(at + Utf8Length(text, false));
    WriteWideAsUtf8(out.data() + at, text, false);
}

std::string WideToUtf8(std::u16string_view text) {
    std::string out;
    AppendWideAsUtf8(out, text);
    return out;
}

void AppendWholeWide(std::u16string& out, std::u16string_view text) {
    const std::size_t at = out.size();
    out.append(text);
    for (std::size_t i = at; i < out.size(); ++i) {
        const char16_t c = out[i];
        if (c < 0xD800 || c > 0xDFFF) continue;
        if (c <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF) ++i;
        else out[i] = kReplacement;
    }
}

std::u16string PathFromNative(std::string_view path) {
    std::u16string out(path.size(), u'\0');
    char16_t* const end = WriteUtf8AsWide(out.data(), path, true);
    out.resize(static_cast<std::size_t>(end - out.data()));
    return out;
}

std::string PathToNative(std::u16string_view path) {
    std::string out(Utf8Length(path, true), '\0');
    WriteWideAsUtf8(out.data(), path, true);
    return out;
}

std::string NativeForDisplay(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    while (p < end) {
        const unsigned char* const start = p;
        if (*p < 0x80) {
            out += static_cast<char>(*p++);
            continue;
        }
        if (DecodeUtf8(p, end) >= 0) {
            out.append(reinterpret_cast<const char*>(start), static_cast<std::size_t>(p - start));
            continue;
        }
        static constexpr char kHex[] = "0123456789ABCDEF";
        out += "\\x";
        out += kHex[*start >> 4];
        out += kHex[*start & 0xF];
        p = start + 1;
    }
    return out;
}

std::string PathForDisplay(std::u16string_view path) { return NativeForDisplay(PathToNative(path)); }

bool IsValidUtf8(std::string_view bytes) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        if (DecodeUtf8(p, end) < 0) return false;
    }
    return true;
}

}  // namespace qel::framework
