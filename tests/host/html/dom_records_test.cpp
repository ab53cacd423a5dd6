// The parent's reading of a parse child's records: a child may stop
// anywhere or be made to write anything, so every damaged or oversized
// record gives no document, and never a crash or a huge allocation.
#include <gtest/gtest.h>

#include <gumbo.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "framework/codepage.h"
#include "host/html/dom.h"
#include "host/html/htmlrecords.h"
#include "host/html/htmlsource.h"

namespace {

using qel::host::AttributeRecord;
using qel::host::DocumentFromRecordStream;
using qel::host::ElementRecord;
using qel::host::kChildOfRoot;
using qel::host::kEndOfRecords;
using qel::host::kNoRecord;
using qel::host::RecordsTrailer;

// The page the records below describe: <html> (made up) and its <p id="x">.
const std::string kPage = "<p id=\"x\">a";

template <typename T>
void Append(std::string& out, const T& value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// What a child writes for kPage, with `change` applied to the records
// before they are laid out.
struct Stream {
    ElementRecord html{kNoRecord, GUMBO_TAG_HTML, 0, kNoRecord, 0, 0};
    ElementRecord p{0, GUMBO_TAG_P | kChildOfRoot, 0, 0, 10, 1};
    AttributeRecord id{2, 1, 3, 2, 6, 3};
    std::string idName = "id", idValue = "x";
    RecordsTrailer trailer{3, 2, kEndOfRecords};

    std::string Bytes() const {
        std::string out;
        Append(out, html);
        Append(out, p);
        Append(out, id);
        out += idName + idValue;
        Append(out, trailer);
        return out;
    }
};

TEST(DomRecordsTest, AWholeStreamGivesTheDocument) {
    const auto doc = DocumentFromRecordStream(kPage, Stream().Bytes());
    ASSERT_NE(doc, nullptr);
    const NodeList ps = doc->getElementsByTagName(u"p");
    ASSERT_EQ(ps.length(), 1u);
    EXPECT_EQ(static_cast<Element*>(ps.item(0))->getAttribute(u"id"), u"x");
    EXPECT_EQ(qel::framework::WideToUtf8(doc->getHTMLText()), kPage);
}

TEST(DomRecordsTest, DamagedRecordsGiveNoDocument) {
    struct Case {
        const char* what;
        void (*damage)(Stream&);
    };
    const Case cases[] = {
        // Counts that claim more than the bytes left: no room may be made for them.
        {"attribute count of 2^32 - 1", [](Stream& s) { s.p.attributes = 0xFFFFFFFFu; }},
        {"one attribute more than there are", [](Stream& s) { s.p.attributes = 2; }},
        {"a name longer than the rest", [](Stream& s) { s.id.nameLength = 0xFFFFFFF0u; }},
        {"a value longer than the rest", [](Stream& s) { s.id.valueLength = 1000; }},
        {"a parent after its child", [](Stream& s) { s.html.parent = 1; }},
        {"a parent that is itself", [](Stream& s) { s.p.parent = 1; }},
        {"a tag beyond gumbo's", [](Stream& s) { s.p.kind = GUMBO_TAG_LAST + 1; }},
        {"the trailer counts another number of elements", [](Stream& s) { s.trailer.elements = 3; }},
        {"no end mark", [](Stream& s) { s.trailer.end = 0; }},
    };
    for (const Case& c : cases) {
        Stream stream;
        c.damage(stream);
        EXPECT_EQ(DocumentFromRecordStream(kPage, stream.Bytes()), nullptr) << c.what;
    }
}

// A child that stopped anywhere: no prefix of a whole stream is a document.
TEST(DomRecordsTest, EveryTruncatedStreamGivesNoDocument) {
    const std::string whole = Stream().Bytes();
    for (std::size_t n = 0; n < whole.size(); ++n)
        EXPECT_EQ(DocumentFromRecordStream(kPage, whole.substr(0, n)), nullptr) << n;
}

// Source offsets beyond the text are not followed: the document stands, but
// nothing of it points outside the page.
TEST(DomRecordsTest, OffsetsOutsideTheTextAreNotFollowed) {
    Stream stream;
    stream.p.tagOffset = 0xFFFFFF00u;
    stream.id.nameOffset = static_cast<std::uint32_t>(kPage.size());
    stream.id.valueOffset = 0xFFFFFFF0u;
    const auto doc = DocumentFromRecordStream(kPage, stream.Bytes());
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(qel::framework::WideToUtf8(doc->getHTMLText()), kPage);
}

}  // namespace
