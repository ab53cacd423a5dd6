// The character set declarations of a page's meta elements: which labels
// are Shift_JIS, and the declarations that DeclareShiftJis changes (only the
// label inside a Content-Type value, the rest of the page as written).
#include "html/meta_charset.h"

#include <gtest/gtest.h>

#include "framework/codepage.h"
#include "host/html/dom.h"
#include "host/html/htmldata.h"

namespace {

using qel::html::DeclareShiftJis;
using qel::html::DeclareShiftJisInXmlDeclaration;
using qel::html::IsShiftJisLabel;

TEST(MetaCharset, ShiftJisLabels) {
    for (const char16_t* label : {u"Shift_JIS", u"shift-jis", u"SJIS", u"x-sjis", u"Windows-31J", u"cp932", u"MS932",
                                  u"ms_kanji", u"csShiftJIS", u" shift_jis\t"})
        EXPECT_TRUE(IsShiftJisLabel(label)) << qel::framework::WideToUtf8(label);
    for (const char16_t* label : {u"", u"utf-8", u"euc-jp", u"iso-2022-jp", u"shift_jis2004", u"sjis;", u"\"sjis\""})
        EXPECT_FALSE(IsShiftJisLabel(label)) << qel::framework::WideToUtf8(label);
}

// The page text after DeclareShiftJis, and the number of changes.
std::pair<std::u16string, int> Declared(const std::u16string& page) {
    CQelHtmlData loader(u"HTML");
    loader.CreateNodeDataFromData(page.data(), static_cast<int>(page.size()), nullptr);
    auto* doc = dynamic_cast<Document*>(loader.m_pRootNode);
    if (!doc) return {u"<none>", -1};
    const int changed = DeclareShiftJis(*doc);
    return {doc->getHTMLText(), changed};
}

TEST(MetaCharset, OtherCharsetsBecomeShiftJisAndTheRestStaysAsWritten) {
    const std::pair<std::u16string, std::u16string> changed[] = {
        {u"<meta charset=utf-8><p>x", u"<meta charset=Shift_JIS><p>x"},
        {u"<META CHARSET='EUC-JP'>", u"<META CHARSET='Shift_JIS'>"},
        {u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">",
         u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">"},
        {u"<meta content='text/html;charset=\"utf-8\" ; level=1' http-equiv=' content-type '>",
         u"<meta content='text/html;charset=\"Shift_JIS\" ; level=1' http-equiv=' content-type '>"},
        {u"<meta http-equiv=content-type content=\"text/html; charsetx=1; charset = utf-8;x\">",
         u"<meta http-equiv=content-type content=\"text/html; charsetx=1; charset = Shift_JIS;x\">"},
        {u"<head><meta charset=utf-8>\r\n<meta http-equiv=content-type content=\"text/html; charset=euc-jp\"></head>",
         u"<head><meta charset=Shift_JIS>\r\n<meta http-equiv=content-type content=\"text/html; "
         u"charset=Shift_JIS\"></head>"},
    };
    for (const auto& [page, want] : changed) {
        const auto [text, count] = Declared(page);
        EXPECT_EQ(text, want) << qel::framework::WideToUtf8(page);
        EXPECT_GT(count, 0) << qel::framework::WideToUtf8(page);
    }
    const char16_t* unchanged[] = {
        u"<meta charset=Shift_JIS>",
        u"<meta charset=\" MS932 \">",
        u"<meta http-equiv=Content-Type content=\"text/html; charset=x-sjis\">",
        u"<meta http-equiv=Content-Type content=\"text/html\">",
        u"<meta http-equiv=Content-Type content=\"text/html; charset=\">",
        u"<meta http-equiv=Content-Type content='text/html; charset=\"utf-8'>",  // unmatched quote
        u"<meta http-equiv=refresh content=\"5; charset=utf-8\">",               // not a declaration
        u"<meta name=description content=\"charset=utf-8\">",
        u"<meta charset=\"\">",
        u"<p>charset=utf-8</p>",
    };
    for (const char16_t* page : unchanged) {
        const auto [text, count] = Declared(page);
        EXPECT_EQ(text, page);
        EXPECT_EQ(count, 0) << qel::framework::WideToUtf8(page);
    }
}

// The XML declaration of an XHTML page follows the same rule: another
// encoding becomes Shift_JIS in its own quotes, nothing else moves.
TEST(MetaCharset, XmlDeclarationEncoding) {
    const std::pair<std::u16string, std::u16string> changed[] = {
        {u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<html>",
         u"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<html>"},
        {u"\uFEFF<?xml version='1.0' encoding = 'euc-jp' standalone='yes'?><p>encoding=\"x\"",
         u"\uFEFF<?xml version='1.0' encoding = 'Shift_JIS' standalone='yes'?><p>encoding=\"x\""},
        {u"<?xml\tversion=\"1.0\"\nencoding=\"utf-8\"?>", u"<?xml\tversion=\"1.0\"\nencoding=\"Shift_JIS\"?>"},
    };
    for (const auto& [page, want] : changed) {
        std::u16string text = page;
        EXPECT_TRUE(DeclareShiftJisInXmlDeclaration(text)) << qel::framework::WideToUtf8(page);
        EXPECT_EQ(text, want);
    }
    for (const char16_t* page : {
             u"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>",
             u"<?xml version=\"1.0\" encoding='x-sjis'?>",
             u"<?xml version=\"1.0\"?><p>encoding=\"utf-8\"?>",  // declares no encoding
             u"<?xml version=\"1.0\" encoding=\"\"?>",
             u"<?XML version=\"1.0\" encoding=\"UTF-8\"?>",   // not a declaration (case)
             u" <?xml version=\"1.0\" encoding=\"UTF-8\"?>",  // not at the start
             u"<!-- x --><?xml version=\"1.0\" encoding=\"UTF-8\"?>",
             u"<?xml-stylesheet href=\"a.css\" encoding=\"UTF-8\"?>",
             u"<?xml version=\"1.0\" encoding=\"UTF-8\"",  // never closed
             u"<?xml version=\"1.0\" xencoding=\"UTF-8\"?>",
         }) {
        std::u16string text = page;
        EXPECT_FALSE(DeclareShiftJisInXmlDeclaration(text)) << qel::framework::WideToUtf8(page);
        EXPECT_EQ(text, page);
    }
}

}  // namespace
