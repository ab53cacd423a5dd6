// A base and a reference as arbitrary text (UTF-8, base first, split at the
// first newline), resolved and made a local path as the page import does.
// Plain references and plain file URLs are answered without a parse; a form
// of the same text that takes the long way must give the same answer:
// "./" before a relative path, and "FILE:" for "file:".
#include <cstdint>
#include <cstdlib>
#include <string>

#include "framework/codepage.h"
#include "host/url.h"

namespace {

// A relative reference that means the same with "./" before it: it starts
// with an ASCII letter or digit, and no ':' makes its start a scheme.
bool MeansTheSameAfterDotSlash(const std::u16string& ref) {
    if (ref.empty() || ref.find(u':') != std::u16string::npos) return false;
    const char16_t c = ref[0];
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

std::u16string PathOf(const std::u16string& url) {
    std::u16string path;
    SIFUtil::URLtoPCPath(path, url, "CP932");
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = text.find('\n');
    const std::u16string base = qel::framework::Utf8ToWide(text.substr(0, newline));
    const std::u16string ref =
        newline == std::string::npos ? std::u16string() : qel::framework::Utf8ToWide(text.substr(newline + 1));

    const std::u16string url = SIFUtil::getAbsUrl(ref, base, u"", u"");
    const std::u16string path = PathOf(url);
    if (MeansTheSameAfterDotSlash(ref)) {
        // A reference that cannot be resolved comes back as it is, in both forms.
        const std::u16string dotted = SIFUtil::getAbsUrl(u"./" + ref, base, u"", u"");
        if (url == ref ? dotted != u"./" + ref : dotted != url) std::abort();
    }
    if (url.rfind(u"file:", 0) == 0 && PathOf(u"FILE:" + url.substr(5)) != path) std::abort();
    return 0;
}
