// The HTML loader and DOM on arbitrary bytes. The first byte chooses how the
// rest reaches the loader (as UTF-8 wide text, as a page file's bytes through
// the decoder, or through a real file now and then); the input then also
// drives setAttribute calls before getHTMLText. Checked: an unchanged page
// comes back as its text, a copy stays apart from the original.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>

#include "framework/codepage.h"
#include "framework/strings.h"
#include "host/html/dom.h"
#include "host/html/htmldata.h"
#include "host/html/htmldepth.h"
#include "host/html/htmlisolation.h"
#include "host/html/htmlsource.h"
#include "page_refusal.h"

namespace {

const char16_t* const kTags[] = {u"img", u"object", u"body", u"p", u"a", u"b", u"html", u"*", u"svg", u"table"};
const char16_t* const kNames[] = {u"src", u"data", u"background", u"alt", u"class", u"checked", u"SRC", u"x y", u""};

// The page loaded from a file of `bytes`; none when the load refuses it.
std::optional<std::u16string> SavedThroughFile(const std::string& bytes) {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        return std::string(tmp && *tmp ? tmp : "/tmp") + "/dom_fuzz." + std::to_string(::getpid()) + ".html";
    }();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    CQelHtmlData loader(u"HTML");
    loader.CreateNodeData(qel::framework::PathFromNative(path));
    auto* doc = dynamic_cast<Document*>(loader.m_pRootNode);
    std::optional<std::u16string> text;
    if (doc) text = doc->getHTMLText();
    std::remove(path.c_str());
    return text;
}

}  // namespace

// The parse runs here, not in a child, so that the fuzzer sees the code the
// child runs (the records written and read back).
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qel::host::SetHtmlParseInProcess(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t mode = data[0];
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    qel::host::BeginExportReport();
    std::u16string text;
    if (mode & 1) {
        text = qel::host::DecodeHtmlBytes(bytes).text;
        // Through a file, the same text; none for a page the parse refuses.
        if ((mode & 0x1E) == 0x1E) {
            const std::optional<std::u16string> saved = SavedThroughFile(bytes);
            const std::string utf8 = qel::framework::WideToUtf8(text);
            if (saved ? *saved != qel::framework::Utf8ToWide(utf8) : !qel::fuzz::PageMayBeRefused(utf8)) std::abort();
            qel::host::BeginExportReport();
        }
    } else {
        text = qel::framework::Utf8ToWide(bytes);
    }

    CQelHtmlData loader(u"HTML");
    loader.CreateNodeDataFromData(text.data(), static_cast<int>(text.size()), nullptr);
    auto* doc = dynamic_cast<Document*>(loader.m_pRootNode);
    if (!doc) {
        // Only a page nested too deeply, or one past the parse's memory, is refused.
        if (!qel::fuzz::PageMayBeRefused(qel::framework::WideToUtf8(text))) std::abort();
        return 0;
    }
    const std::u16string original = doc->getHTMLText();
    if (original != qel::framework::Utf8ToWide(qel::framework::WideToUtf8(text))) std::abort();

    auto* copy = dynamic_cast<Document*>(doc->cloneNode(true));
    if (!copy) std::abort();
    // Each op takes three bytes from the end of the input: tag, index and
    // name; the value is a slice of the page's own text. Setting attributes
    // leaves the tree as it is, so each tag's list is gathered once: a page
    // of a million elements then costs ten walks, not sixty-four.
    std::optional<NodeList> lists[std::size(kTags)];
    for (std::size_t i = 0; i + 3 <= bytes.size() && i < 3 * 64; i += 3) {
        const auto* op = reinterpret_cast<const std::uint8_t*>(bytes.data() + bytes.size() - 3 - i);
        const std::size_t tag = op[0] % std::size(kTags);
        std::optional<NodeList>& cached = lists[tag];
        if (!cached) cached = copy->getElementsByTagName(kTags[tag]);
        const NodeList& list = *cached;
        if (list.length() == 0) continue;
        auto* e = dynamic_cast<Element*>(list.item(op[1] % list.length()));
        if (!e) std::abort();
        const std::size_t from = text.empty() ? 0 : (op[2] * 7u) % text.size();
        const std::u16string value = text.substr(from, op[2] % 13);
        const char16_t* name = kNames[op[2] % std::size(kNames)];
        e->setAttribute(name, value);
        if (qel::framework::EqualsNoCase(name, u"x y") || *name == 0) continue;
        if (e->getAttribute(name) != value) std::abort();
    }
    const std::u16string changed = copy->getHTMLText();
    // Parse what was written: it must load again, unless the parse meets
    // one of its limits (new values can make the reopened copies larger).
    qel::host::BeginExportReport();
    CQelHtmlData again(u"HTML");
    again.CreateNodeDataFromData(changed.data(), static_cast<int>(changed.size()), nullptr);
    if (!dynamic_cast<Document*>(again.m_pRootNode) &&
        !qel::fuzz::PageMayBeRefused(qel::framework::WideToUtf8(changed)))
        std::abort();
    doc->deleteNodes(copy);
    if (doc->getHTMLText() != original) std::abort();
    return 0;
}
