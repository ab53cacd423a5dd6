// data: URLs as browsers read them: the bytes of Base64 and of escaped
// bodies, the media type, the malformed ones, and the extension an inline
// image's file gets.
#include "html/data_url.h"

#include <gtest/gtest.h>

#include "framework/codepage.h"

namespace {

using qel::html::DataUrl;
using qel::html::DataUrlExtension;
using qel::html::ParseDataUrl;

const std::string kPng("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);

TEST(DataUrl, BodiesAndMediaTypes) {
    struct Case {
        const char16_t* url;
        std::string bytes;
        const char* type;
    };
    const Case cases[] = {
        {u"data:image/png;base64,iVBORw0KGgoAAAANSUhEUg==", kPng, "image/png"},
        // As an attribute may hold it: blanks at the ends, line breaks and
        // blanks inside, case, an escaped '=' and no padding at all.
        {u" \nDATA:Image/PNG ; BASE64,iVBORw0K\r\n  GgoAAAAN SUhEUg%3D%3D\t", kPng, "image/png"},
        {u"data:image/png;base64,iVBORw0KGgoAAAANSUhEUg", kPng, "image/png"},
        {u"data:image/svg+xml,%3Csvg%20xmlns='x'%2F%3E", "<svg xmlns='x'/>", "image/svg+xml"},
        {u"data:,a%zz%41\u00E9", "a%zzA\xC3\xA9", "text/plain"},  // a stray '%' stays; UTF-8 for the rest
        {u"data:;charset=utf-8;base64,aGVsbG8=", "hello", "text/plain"},
        {u"data:image/gif;name=a.gif;base64,R0lGODlhAQABAA==", std::string("GIF89a\1\0\1\0", 10), "image/gif"},
        {u"data:image/png;base64,", "", "image/png"},
        {u"data:image/png,base64,aGVsbG8=", "base64,aGVsbG8=", "image/png"},  // only ";base64" says Base64
        {u"data:bogus,x", "x", "text/plain"},
        {u"data:image/png;base64,iVBORw0KGgoAAAANSUhEUg==#frag%41", kPng, "image/png"},  // the fragment goes
    };
    for (const Case& c : cases) {
        DataUrl data;
        ASSERT_TRUE(ParseDataUrl(c.url, data)) << qel::framework::WideToUtf8(c.url);
        EXPECT_EQ(data.bytes, c.bytes) << qel::framework::WideToUtf8(c.url);
        EXPECT_EQ(data.mediaType, c.type) << qel::framework::WideToUtf8(c.url);
    }
}

TEST(DataUrl, MalformedOnesAreNone) {
    for (const char16_t* url : {
             u"data:image/png;base64",            // no comma
             u"data:image/png;base64,iVBO$w0K",   // a character outside the alphabet
             u"data:image/png;base64,iVBORw0KG",  // one digit left over
             u"data:image/png;base64,iV=BORw0",   // '=' inside
             u"data:image/png;base64,iVBO====",   // more than two pad characters
             u"date:image/png;base64,iVBORw0K",   // another scheme
             u"image.png",
         }) {
        DataUrl data;
        EXPECT_FALSE(ParseDataUrl(url, data)) << qel::framework::WideToUtf8(url);
    }
}

TEST(DataUrl, ExtensionBySignatureThenMediaType) {
    auto extension = [](std::string bytes, std::string type) {
        return DataUrlExtension(DataUrl{std::move(type), std::move(bytes)});
    };
    EXPECT_EQ(extension(kPng, "image/gif"), u"png");  // the bytes say what the writer will say
    EXPECT_EQ(extension("GIF87a", "text/plain"), u"gif");
    EXPECT_EQ(extension("\xFF\xD8\xFF\xE0", "image/png"), u"jpg");
    EXPECT_EQ(extension("CWS\x0A", "application/octet-stream"), u"swf");
    EXPECT_EQ(extension("", "image/jpeg"), u"jpg");
    EXPECT_EQ(extension("<svg/>", "image/svg+xml"), u"svg");
    EXPECT_EQ(extension("BM", "image/bmp"), u"bmp");
    EXPECT_EQ(extension("hello", "text/plain"), u"");
}

}  // namespace
