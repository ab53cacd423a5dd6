// URL services of the host, on liburiparser (RFC 3986).
//
// Wide strings are UTF-16; URLs are made and parsed as UTF-8 and come back
// ASCII, with every non-ASCII character percent-encoded as UTF-8 bytes.
#pragma once

#include "host/api.h"

#include <string>

class QEL_HOST_API SIFUtil {
public:
    // The file URL of an absolute local path ("file:///tmp/a%20b/%E7%94%BB.gif"):
    // each component percent-encoded except for unreserved characters
    // (letters, digits, "-._~"). Empty when the path is not absolute or holds
    // a NUL.
    static void PCPathtoURL(std::u16string& url, const std::u16string& path);
    // The local path of a file URL: scheme "file" in any case, no host or
    // "localhost", no user or port; query and fragment dropped; the path
    // percent-decoded as UTF-8 ("file:/tmp/x" is accepted too); a '\'
    // before the query is a '/', as in browsers. The URL is
    // read the way getAbsUrl reads a reference, so "file:///tmp/a b.gif"
    // gives "/tmp/a b.gif". Empty for any other URL (http, cid, mailto,
    // another host, a relative reference), one that does not parse, and one
    // whose path holds an escaped NUL or '/' ("%00", "%2F").
    static void URLtoPCPath(std::u16string& path, const std::u16string& url);
    // The same for a reference of a page read in `encoding` (a name as
    // Document::getInputEncoding gives it): a path segment whose escaped
    // bytes are not valid UTF-8 is read in that encoding, as browsers of the
    // page's time did ("%83%8D%83S.gif" of a Shift_JIS page is "ロゴ.gif").
    // Pages in UTF-8 or UTF-16, or of no known encoding, keep U+FFFD.
    static void URLtoPCPath(std::u16string& path, const std::u16string& url, const std::string& encoding);
    // `reference` resolved against `base`. Both are first read the way a
    // browser reads an attribute: blanks and control characters at the ends
    // dropped, tabs and line breaks removed, then blanks, control and
    // non-ASCII characters and `"<>\^`{|}` percent-encoded (existing "%XX"
    // escapes kept, a stray '%' becomes "%25"). In a reference of the file,
    // http(s), ftp and ws(s) schemes, or a relative one against such a base
    // or a plain path, '\' before the query reads as '/' (the WHATWG URL
    // rules, and the Windows host's own reading of its pages). A reference with a scheme
    // ("http:", "HTTP:", "cid:", "mailto:") needs no base and comes back as
    // read. A base without a scheme is a local path: its file URL, a relative
    // path taken from the current folder. A reference that cannot be parsed
    // or resolved, or an empty base, gives the reference unchanged. The two
    // last arguments are the host's and are not used.
    static std::u16string getAbsUrl(const std::u16string& reference, const std::u16string& base,
                                    const std::u16string& unused1, const std::u16string& unused2);
};

// Non-zero when `value` begins with `protocol` ("http:", "https:"), ignoring
// ASCII case and blanks or control characters before it (a browser drops
// them too). 0 for an empty protocol.
QEL_HOST_API int is_protocol(const std::u16string& value, const std::u16string& protocol);
