// URL services of the host, on liburiparser (RFC 3986).
#pragma once

#include <string>

class SIFUtil {
public:
    // The file URL of a local path ("file:///tmp/a%20b/%E7%94%BB.gif"), with
    // spaces and non-ASCII characters percent-encoded as UTF-8; empty when the
    // path is not absolute.
    static void PCPathtoURL(std::u16string& url, const std::u16string& path);
    // The local path of a file URL (scheme "file", empty or "localhost" host;
    // query and fragment dropped), percent-decoding applied; empty for any
    // other URL or one that does not parse.
    static void URLtoPCPath(std::u16string& path, const std::u16string& url);
    // `reference` resolved against `base` (both percent-encoded first where a
    // browser would: blanks, non-ASCII characters). The two last arguments are
    // the host's and are not used. A reference that cannot be resolved comes
    // back as it was.
    static std::u16string getAbsUrl(const std::u16string& reference, const std::u16string& base,
                                    const std::u16string& unused1, const std::u16string& unused2);
};

// Non-zero when `value` begins with `protocol` ("http:", "https:"), ignoring
// ASCII case.
int is_protocol(const std::u16string& value, const std::u16string& protocol);
