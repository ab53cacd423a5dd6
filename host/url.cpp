#include "host/url.h"

#include <sys/stat.h>

#include <uriparser/Uri.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "framework/codepage.h"
#include "framework/strings.h"
#include "host/charset.h"

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

void AppendEscaped(std::string& out, unsigned char c) {
    static const char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

// The text of a URL as a browser takes it from an attribute: blanks and
// control characters at both ends dropped, tabs and line breaks inside
// removed, as UTF-8.
std::string Prepare(std::u16string_view text) {
    std::size_t first = 0, last = text.size();
    while (first < last && text[first] <= 0x20) ++first;
    while (last > first && text[last - 1] <= 0x20) --last;
    const std::u16string_view trimmed = text.substr(first, last - first);
    // Most references are ASCII: their bytes are written straight away.
    std::string ascii(trimmed.size(), '\0');
    std::size_t n = 0, seen = 0;
    for (; seen < trimmed.size() && trimmed[seen] < 0x80; ++seen)
        if (trimmed[seen] != u'\t' && trimmed[seen] != u'\n' && trimmed[seen] != u'\r')
            ascii[n++] = static_cast<char>(trimmed[seen]);
    if (seen == trimmed.size()) {
        ascii.resize(n);
        return ascii;
    }
    std::u16string kept;
    kept.reserve(trimmed.size());
    for (const char16_t c : trimmed)
        if (c != u'\t' && c != u'\n' && c != u'\r') kept += c;
    return qel::framework::WideToUtf8(kept);
}

// The scheme of a URL's text in lower case ("file" of "FILE:///x"), empty
// when it has none (a relative reference).
std::string SchemeOf(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return {};
    std::string scheme;
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = text[i];
        const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alpha && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))) return {};
        scheme += static_cast<char>(alpha ? (c | 0x20) : c);
    }
    return scheme;
}

// The schemes whose URLs read '\' as '/' in browsers (the "special" schemes
// of the WHATWG URL rules), as the Windows host does for its pages.
bool IsSpecialScheme(std::string_view scheme) {
    return scheme == "file" || scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "ws" ||
           scheme == "wss";
}

// Every '\' before the query and the fragment made a '/'.
void SlashBackslashes(std::string& text) {
    for (char& c : text) {
        if (c == '?' || c == '#') break;
        if (c == '\\') c = '/';
    }
}

// Where the authority ("//host:port") of a URI reference ends; 0 when it
// has none.
std::size_t AuthorityEnd(std::string_view text) {
    std::size_t start = 0;
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos && colon > 0 &&
        text.substr(0, colon).find_first_of("/?#") == std::string_view::npos)
        start = colon + 1;
    if (text.substr(start, 2) != "//") return 0;
    const std::size_t end = text.find_first_of("/?#", start + 2);
    return end == std::string_view::npos ? text.size() : end;
}

// The printable ASCII characters that may not appear in a URI at all.
constexpr bool IsUnsafeInUri(unsigned char c) {
    switch (c) {
        case '"':
        case '<':
        case '>':
        case '\\':
        case '^':
        case '`':
        case '{':
        case '|':
        case '}': return true;
        default: return false;
    }
}

// Per byte: 1 when EncodeLikeBrowser copies it as it is whatever comes
// around it, 2 when it does so where '[' and ']' are encoded too.
constexpr std::array<unsigned char, 256> kPlainInUri = [] {
    std::array<unsigned char, 256> table{};
    for (unsigned c = 0x21; c < 0x7F; ++c) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '%' || b == '#' || IsUnsafeInUri(b)) continue;
        table[c] = b == '[' || b == ']' ? 1 : 3;
    }
    return table;
}();

// A character that EncodeLikeBrowser copies as it is whatever comes around
// it; `bracketsEncoded` where '[' and ']' are encoded.
bool IsPlainInUri(unsigned char c, bool bracketsEncoded) { return (kPlainInUri[c] & (bracketsEncoded ? 2 : 1)) != 0; }

// Percent-encodes what a browser encodes before it parses a reference:
// blanks, control characters, every byte of a non-ASCII character and the
// characters that may not appear in a URI at all. Existing "%XX" escapes are
// kept; a '%' that starts none becomes "%25", and a '#' after the first one
// "%23". With `brackets`, '[' and ']' after the authority are encoded too
// (they are legal only around an IPv6 host).
std::string EncodeLikeBrowser(std::string_view text, bool brackets) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    bool seenHash = false;
    const std::size_t afterAuthority = brackets ? AuthorityEnd(text) : 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // A run of characters that stay as they are, appended at once.
        std::size_t plain = i;
        while (plain < text.size() &&
               IsPlainInUri(static_cast<unsigned char>(text[plain]), brackets && plain >= afterAuthority))
            ++plain;
        out.append(text.substr(i, plain - i));
        if (plain == text.size()) break;
        i = plain;
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            if (i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2])) out += '%';
            else AppendEscaped(out, c);
        } else if (c == '#') {
            if (seenHash) AppendEscaped(out, c);
            else out += '#';
            seenHash = true;
        } else {
            AppendEscaped(out, c);
        }
    }
    return out;
}

std::string_view RangeText(const UriTextRangeA& r) {
    if (r.first == nullptr || r.afterLast == nullptr) return {};
    return std::string_view(r.first, static_cast<std::size_t>(r.afterLast - r.first));
}

// `a` equal to the ASCII text `b`, ignoring ASCII case.
bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] | 0x20) : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] | 0x20) : b[i];
        if (x != y) return false;
    }
    return true;
}

// A parsed URI and the text it points into.
class Uri {
public:
    Uri() = default;
    Uri(const Uri&) = delete;
    Uri& operator=(const Uri&) = delete;
    ~Uri() {
        if (m_parsed) uriFreeUriMembersA(&m_uri);
    }

    // Parses `text` after encoding it like a browser. A reference with a
    // bracket outside an IPv6 host is tried again with its brackets encoded.
    bool Parse(std::string_view text) {
        return ParseExactly(EncodeLikeBrowser(text, false)) || ParseExactly(EncodeLikeBrowser(text, true));
    }
    // Parses `text` as it is.
    bool ParseExactly(std::string text) {
        Reset();
        m_text = std::move(text);
        const char* error = nullptr;
        m_parsed = uriParseSingleUriExA(&m_uri, m_text.data(), m_text.data() + m_text.size(), &error) == URI_SUCCESS;
        return m_parsed;
    }

    const UriUriA& get() const { return m_uri; }
    UriUriA& get() { return m_uri; }
    const std::string& text() const { return m_text; }
    bool HasScheme() const { return m_parsed && !RangeText(m_uri.scheme).empty(); }

private:
    void Reset() {
        if (m_parsed) uriFreeUriMembersA(&m_uri);
        m_parsed = false;
    }

    UriUriA m_uri{};
    std::string m_text;
    bool m_parsed = false;
};

// A base URL as given, as prepared, its scheme, and its parse when it has
// a scheme (`parsed`).
struct BaseCache {
    std::u16string base;
    std::string text;
    std::string scheme;
    Uri uri;
    bool parsed = false;
    // What a plain relative path resolves to when appended to it (see
    // IsPlainRelativePath); empty when there is no such prefix.
    std::u16string directory;
};

// A relative reference that every step of the resolution leaves as it is:
// printable ASCII that needs no escape, without a scheme, query, fragment,
// escape or dot segment, not starting with '/'. Resolved against a base, it
// is the base's directory followed by the reference itself.
bool IsPlainRelativePath(std::u16string_view ref) {
    if (ref.empty() || ref[0] == u'/') return false;
    std::size_t segment = 0;
    for (std::size_t i = 0; i <= ref.size(); ++i) {
        if (i == ref.size() || ref[i] == u'/') {
            const std::u16string_view name = ref.substr(segment, i - segment);
            if (name == u"." || name == u"..") return false;
            segment = i + 1;
            continue;
        }
        const char16_t c = ref[i];
        if (c >= 0x7F || c == u'?' || c == u':' || !IsPlainInUri(static_cast<unsigned char>(c), true)) return false;
    }
    return true;
}

// A file URL of this machine that the parse leaves as it is: "file:///" and
// printable ASCII that needs no escape, without a query or fragment. Its
// path is the text after "file://".
bool IsPlainFileUrl(std::u16string_view url) {
    if (url.substr(0, 8) != u"file:///") return false;
    for (const char16_t c : url.substr(8))
        if (c >= 0x7F || c == u'?' || !IsPlainInUri(static_cast<unsigned char>(c), true)) return false;
    return true;
}

std::string ToString(const UriUriA& uri) {
    int chars = 0;
    if (uriToStringCharsRequiredA(&uri, &chars) != URI_SUCCESS) return {};
    std::string out(static_cast<std::size_t>(chars) + 1, '\0');
    int written = 0;
    if (uriToStringA(out.data(), &uri, chars + 1, &written) != URI_SUCCESS) return {};
    out.resize(std::strlen(out.c_str()));
    return out;
}

// The file URL of an absolute local path given as UTF-8.
std::string FileUrlOfNative(std::string_view path) {
    std::string url = "file://";
    std::size_t pos = 0;
    while (pos < path.size()) {
        const std::size_t slash = path.find('/', pos);
        const std::size_t end = slash == std::string_view::npos ? path.size() : slash;
        if (end > pos) {
            std::string escaped((end - pos) * 3 + 1, '\0');
            const char* stop = uriEscapeExA(path.data() + pos, path.data() + end, escaped.data(), URI_FALSE, URI_FALSE);
            escaped.resize(static_cast<std::size_t>(stop - escaped.data()));
            url += escaped;
        }
        if (slash == std::string_view::npos) break;
        url += '/';
        pos = slash + 1;
    }
    return url;
}

// Whether escapes that are not UTF-8 are read in `encoding`: not for pages
// read as UTF-8 or UTF-16, whose browsers escape UTF-8 bytes only.
bool TranscodesNames(const std::string& encoding) {
    return !encoding.empty() && encoding != "UTF-8" && encoding.rfind("UTF-16", 0) != 0;
}

}  // namespace

void SIFUtil::PCPathtoURL(std::u16string& url, const std::u16string& path) {
    url.clear();
    if (path.empty() || path[0] != u'/' || path.find(u'\0') != std::u16string::npos) return;
    url = qel::framework::Utf8ToWide(FileUrlOfNative(qel::framework::PathToNative(path)));
}

void SIFUtil::URLtoPCPath(std::u16string& path, const std::u16string& url) { URLtoPCPath(path, url, std::string()); }

namespace {

// A file URL names a place on this machine: no user, port or host other
// than "localhost", and a path from the root.
bool NamesLocalPlace(const UriUriA& u) {
    if (u.hostText.first == nullptr) return u.absolutePath != URI_FALSE;  // "file:name" names no place
    if (!RangeText(u.userInfo).empty() || u.portText.first != nullptr) return false;
    if (u.hostData.ip4 != nullptr || u.hostData.ip6 != nullptr || u.hostData.ipFuture.first != nullptr) return false;
    const std::string_view host = RangeText(u.hostText);
    return host.empty() || EqualsAsciiNoCase(host, "localhost");
}

bool Exists(const std::string& native) {
    struct stat st;
    return ::lstat(native.c_str(), &st) == 0;
}

// The unescaped bytes of a segment read in the page's `encoding`, as a
// UTF-8 name; false when they would not stay one name.
bool NameInEncoding(const std::string& segment, const std::string& encoding, std::string& name) {
    const std::u16string wide = qel::host::DecodeBytesAs(segment, encoding);
    if (wide.find_first_of(std::u16string_view(u"/\0", 2)) != std::u16string::npos || wide == u"." || wide == u"..")
        return false;
    name = qel::framework::WideToUtf8(wide);
    return true;
}

// Appends '/' and one unescaped path segment to `native`; false when the
// segment would not stay one name.
bool AppendSegment(std::string& native, std::string segment, const std::string& encoding) {
    // A segment without escapes is ASCII (the parse encoded everything
    // else) and names itself.
    if (segment.find('%') == std::string::npos) {
        native += '/';
        native += segment;
        return true;
    }
    // An escaped NUL or '/' would change what the path names.
    for (std::size_t p = segment.find('%'); p != std::string::npos; p = segment.find('%', p + 1)) {
        const std::string_view esc = std::string_view(segment).substr(p + 1, 2);
        if (EqualsAsciiNoCase(esc, "00") || EqualsAsciiNoCase(esc, "2F")) return false;
    }
    const char* end = uriUnescapeInPlaceExA(segment.data(), URI_FALSE, URI_BR_DONT_TOUCH);
    segment.resize(static_cast<std::size_t>(end - segment.data()));
    native += '/';
    // Old pages escaped the bytes of their own encoding ("%83%8D%83S" for
    // ロゴ in Shift_JIS); the names on disk are UTF-8. A name on the disk
    // that has the bytes themselves (a folder named in Latin-1, whose path
    // the page's own URL escapes byte for byte) is that name.
    if (!TranscodesNames(encoding) || (!qel::framework::IsValidUtf8(segment) && Exists(native + segment))) {
        native += segment;
        return true;
    }
    std::string transcoded;
    const bool nameInEncoding = NameInEncoding(segment, encoding, transcoded);
    if (qel::framework::IsValidUtf8(segment)) {
        // Bytes that are UTF-8 too ("%C3%A9", ﾃｩ in Shift_JIS) name the file
        // the page's encoding names when no file has the UTF-8 name.
        const bool useTranscoded =
            nameInEncoding && transcoded != segment && !Exists(native + segment) && Exists(native + transcoded);
        native += useTranscoded ? transcoded : segment;
        return true;
    }
    if (!nameInEncoding) return false;
    native += transcoded;
    return true;
}

}  // namespace

void SIFUtil::URLtoPCPath(std::u16string& path, const std::u16string& url, const std::string& encoding) {
    path.clear();
    // Most URLs of a page's images take the short way.
    if (IsPlainFileUrl(url)) {
        path.assign(url, 7);
        return;
    }
    if (url.find(u'\0') != std::u16string::npos) return;
    std::string text = Prepare(url);
    if (SchemeOf(text) != "file") return;
    SlashBackslashes(text);
    Uri uri;
    if (!uri.Parse(text)) return;
    const UriUriA& u = uri.get();
    if (!NamesLocalPlace(u)) return;
    std::string native;
    for (const UriPathSegmentA* seg = u.pathHead; seg != nullptr; seg = seg->next)
        if (!AppendSegment(native, std::string(RangeText(seg->text)), encoding)) return;
    if (native.empty()) native.push_back('/');
    path = qel::framework::PathFromNative(native);
}

namespace {

// `reference` resolved against the base that `last` holds.
std::u16string Resolve(const std::u16string& reference, const BaseCache& last) {
    std::string refText = Prepare(reference);
    std::string scheme = SchemeOf(refText);
    if (scheme.empty()) {
        // A relative reference takes the base's scheme; a plain path is a file.
        scheme = last.scheme.empty() ? "file" : last.scheme;
        // A first segment with a colon but no valid scheme before it
        // ("12:30.gif") is a path, as browsers read it.
        const std::size_t colon = refText.find(':');
        if (colon != std::string::npos && colon < refText.find_first_of("/\\?#")) refText.insert(0, "./");
    }
    if (IsSpecialScheme(scheme)) SlashBackslashes(refText);
    Uri ref;
    if (!ref.Parse(refText)) return reference;
    // An absolute reference ("http:", "cid:", "mailto:") needs no base.
    if (ref.HasScheme()) return qel::framework::Utf8ToWide(ref.text());

    if (last.text.empty()) return reference;
    Uri plainBase;
    const Uri* baseUri = &last.uri;
    if (!last.parsed) {
        // A plain path: its file URL, a relative one taken from the current
        // folder (where a page of that path is read from), so never kept.
        std::string native = qel::framework::PathToNative(last.base);
        if (native[0] != '/') {
            char* cwd = ::getcwd(nullptr, 0);
            if (cwd == nullptr) return reference;
            native = std::string(cwd) + "/" + native;
            ::free(cwd);
        }
        if (!plainBase.ParseExactly(FileUrlOfNative(native))) return reference;
        baseUri = &plainBase;
    }

    UriUriA resolved{};
    if (uriAddBaseUriExA(&resolved, &ref.get(), &baseUri->get(), URI_RESOLVE_STRICTLY) != URI_SUCCESS) return reference;
    const std::string text = ToString(resolved);
    uriFreeUriMembersA(&resolved);
    return text.empty() ? reference : qel::framework::Utf8ToWide(text);
}

// The cache holding `base`, refilled when the base is another.
const BaseCache& CacheFor(const std::u16string& base) {
    // A page resolves all its references against one base: its text and
    // parse are kept from one call to the next. An empty cache stands for
    // the empty base.
    thread_local BaseCache last;
    if (last.base == base) return last;
    last.base = base;
    last.text = Prepare(base);
    last.scheme = SchemeOf(last.text);
    last.parsed = !last.text.empty() && last.uri.Parse(last.text) && last.uri.HasScheme();
    last.directory.clear();
    if (last.parsed) {
        // A plain relative path keeps its text through the resolution, so
        // "x" shows what comes before any of them.
        std::u16string probe = Resolve(u"x", last);
        if (probe.size() > 1 && probe.back() == u'x') {
            probe.pop_back();
            last.directory = std::move(probe);
        }
    }
    return last;
}

}  // namespace

std::u16string SIFUtil::getAbsUrl(const std::u16string& reference, const std::u16string& base,
                                  const std::u16string& /*unused1*/, const std::u16string& /*unused2*/) {
    if (reference.find(u'\0') != std::u16string::npos || base.find(u'\0') != std::u16string::npos) return reference;
    const BaseCache& last = CacheFor(base);
    if (!last.directory.empty() && IsPlainRelativePath(reference)) return last.directory + reference;
    return Resolve(reference, last);
}

int is_protocol(const std::u16string& value, const std::u16string& protocol) {
    if (protocol.empty()) return 0;
    std::size_t first = 0;
    while (first < value.size() && value[first] <= 0x20) ++first;
    return qel::framework::StartsWithNoCase(std::u16string_view(value).substr(first), protocol) ? 1 : 0;
}
