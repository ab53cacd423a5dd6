#include "host/url.h"

#include <uriparser/Uri.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <string_view>

#include "framework/codepage.h"
#include "framework/strings.h"
#include "host/htmlsource.h"

namespace {

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

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
    std::u16string kept;
    kept.reserve(last - first);
    for (std::size_t i = first; i < last; ++i)
        if (text[i] != u'\t' && text[i] != u'\n' && text[i] != u'\r') kept += text[i];
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
    const std::size_t end = text.find_first_of("?#");
    for (std::size_t i = 0; i < text.size() && i < end; ++i)
        if (text[i] == '\\') text[i] = '/';
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
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            if (i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2])) out += '%';
            else AppendEscaped(out, c);
        } else if (c == '#') {
            if (seenHash) AppendEscaped(out, c);
            else out += '#';
            seenHash = true;
        } else if (c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}", c) != nullptr ||
                   (brackets && i >= afterAuthority && (c == '[' || c == ']'))) {
            AppendEscaped(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string_view RangeText(const UriTextRangeA& r) {
    if (r.first == nullptr || r.afterLast == nullptr) return {};
    return std::string_view(r.first, static_cast<std::size_t>(r.afterLast - r.first));
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
    return qel::framework::EqualsNoCase(qel::framework::Utf8ToWide(a), qel::framework::Utf8ToWide(b));
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
        m_parsed = uriParseSingleUriExA(&m_uri, m_text.data(), m_text.data() + m_text.size(), &error) ==
                   URI_SUCCESS;
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
            const char* stop =
                uriEscapeExA(path.data() + pos, path.data() + end, escaped.data(), URI_FALSE, URI_FALSE);
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

void SIFUtil::URLtoPCPath(std::u16string& path, const std::u16string& url) {
    URLtoPCPath(path, url, std::string());
}

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

// Appends '/' and one unescaped path segment to `native`; false when the
// segment would not stay one name.
bool AppendSegment(std::string& native, std::string segment, const std::string& encoding) {
    // An escaped NUL or '/' would change what the path names.
    for (std::size_t p = segment.find('%'); p != std::string::npos; p = segment.find('%', p + 1)) {
        const std::string_view esc = std::string_view(segment).substr(p + 1, 2);
        if (EqualsAsciiNoCase(esc, "00") || EqualsAsciiNoCase(esc, "2F")) return false;
    }
    const char* end = uriUnescapeInPlaceExA(segment.data(), URI_FALSE, URI_BR_DONT_TOUCH);
    segment.resize(static_cast<std::size_t>(end - segment.data()));
    native += '/';
    // Old pages escaped the bytes of their own encoding ("%83%8D%83S" for
    // ロゴ in Shift_JIS); the names on disk are UTF-8.
    if (qel::framework::IsValidUtf8(segment) || !TranscodesNames(encoding)) {
        native += segment;
        return true;
    }
    // Whatever the encoding, the segment stays one name.
    const std::u16string name = qel::host::DecodeBytesAs(segment, encoding);
    if (name.find_first_of(std::u16string_view(u"/\0", 2)) != std::u16string::npos || name == u"." || name == u"..")
        return false;
    native += qel::framework::WideToUtf8(name);
    return true;
}

}  // namespace

void SIFUtil::URLtoPCPath(std::u16string& path, const std::u16string& url, const std::string& encoding) {
    path.clear();
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

std::u16string SIFUtil::getAbsUrl(const std::u16string& reference, const std::u16string& base,
                                  const std::u16string& /*unused1*/, const std::u16string& /*unused2*/) {
    if (reference.find(u'\0') != std::u16string::npos || base.find(u'\0') != std::u16string::npos)
        return reference;
    std::string refText = Prepare(reference);
    const std::string baseText = Prepare(base);
    std::string scheme = SchemeOf(refText);
    if (scheme.empty()) {
        // A relative reference takes the base's scheme; a plain path is a file.
        const std::string baseScheme = SchemeOf(baseText);
        scheme = baseScheme.empty() ? "file" : baseScheme;
    }
    if (IsSpecialScheme(scheme)) SlashBackslashes(refText);
    Uri ref;
    if (!ref.Parse(refText)) return reference;
    // An absolute reference ("http:", "cid:", "mailto:") needs no base.
    if (ref.HasScheme()) return qel::framework::Utf8ToWide(ref.text());

    Uri baseUri;
    if (baseText.empty()) return reference;
    if (!baseUri.Parse(baseText) || !baseUri.HasScheme()) {
        // A plain path: its file URL, a relative one taken from the current
        // folder (where a page of that path is read from).
        std::string native = qel::framework::PathToNative(base);
        if (native[0] != '/') {
            char* cwd = ::getcwd(nullptr, 0);
            if (cwd == nullptr) return reference;
            native = std::string(cwd) + "/" + native;
            ::free(cwd);
        }
        if (!baseUri.ParseExactly(FileUrlOfNative(native))) return reference;
    }

    UriUriA resolved{};
    if (uriAddBaseUriExA(&resolved, &ref.get(), &baseUri.get(), URI_RESOLVE_STRICTLY) != URI_SUCCESS)
        return reference;
    const std::string text = ToString(resolved);
    uriFreeUriMembersA(&resolved);
    return text.empty() ? reference : qel::framework::Utf8ToWide(text);
}

int is_protocol(const std::u16string& value, const std::u16string& protocol) {
    if (protocol.empty()) return 0;
    std::size_t first = 0;
    while (first < value.size() && value[first] <= 0x20) ++first;
    return qel::framework::StartsWithNoCase(std::u16string_view(value).substr(first), protocol) ? 1 : 0;
}
