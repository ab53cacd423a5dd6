// URL services: file URLs of paths and back, reference resolution against a
// page, and the protocol test.
#include "host/url.h"

#include <filesystem>

#include "framework/codepage.h"
#include "host/paths.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

std::u16string ToUrl(const std::u16string& path) {
    std::u16string url = u"junk";
    SIFUtil::PCPathtoURL(url, path);
    return url;
}

std::u16string ToPath(const std::u16string& url) {
    std::u16string path = u"junk";
    SIFUtil::URLtoPCPath(path, url);
    return path;
}

std::u16string Resolve(const std::u16string& ref, const std::u16string& base) {
    return SIFUtil::getAbsUrl(ref, base, u"", u"");
}

bool IsAscii(const std::u16string& s) {
    for (char16_t c : s)
        if (c > 0x7E || c <= 0x20) return false;
    return true;
}

TEST(FileUrl, EncodesSpacesAndJapaneseAsUtf8) {
    EXPECT_EQ(ToUrl(u"/tmp/a b/画.gif"), u"file:///tmp/a%20b/%E7%94%BB.gif");
    EXPECT_EQ(ToUrl(u"/"), u"file:///");
    EXPECT_EQ(ToUrl(u"/tmp/dir/"), u"file:///tmp/dir/");
}

TEST(FileUrl, RoundTripsEveryKindOfName) {
    for (const std::u16string path :
         {u"/tmp/ページ 1/画像/写真.jpg", u"/tmp/a b/c  d.gif", u"/tmp/100%.png", u"/tmp/a#b?c;d=e&f/x.gif",
          u"/tmp/[x]{y}|z^`\\\"<>.gif", u"/tmp/a+b/~x.gif", u"/tmp/%20literal", u"/tmp/\U0001F600.png", u"/tmp/dir/"}) {
        const std::u16string url = ToUrl(path);
        EXPECT_TRUE(IsAscii(url)) << qel::framework::WideToUtf8(url);
        EXPECT_EQ(ToPath(url), path) << qel::framework::WideToUtf8(url);
    }
}

TEST(FileUrl, NoUrlForRelativeOrEmptyPaths) {
    EXPECT_EQ(ToUrl(u"page.html"), u"");
    EXPECT_EQ(ToUrl(u"./page.html"), u"");
    EXPECT_EQ(ToUrl(u""), u"");
    EXPECT_EQ(ToUrl(std::u16string(u"/tmp/a\0b", 8)), u"");
}

TEST(FileUrl, LocalFormsGiveTheirPath) {
    EXPECT_EQ(ToPath(u"file:///tmp/x.gif"), u"/tmp/x.gif");
    EXPECT_EQ(ToPath(u"file://localhost/tmp/x.gif"), u"/tmp/x.gif");
    EXPECT_EQ(ToPath(u"FILE://LocalHost/tmp/x.gif"), u"/tmp/x.gif");
    EXPECT_EQ(ToPath(u"file:/tmp/x.gif"), u"/tmp/x.gif");
    EXPECT_EQ(ToPath(u"file:///tmp/x.gif?v=2#top"), u"/tmp/x.gif");
    EXPECT_EQ(ToPath(u"file:///tmp/%e7%94%bb.gif"), u"/tmp/画.gif");
    EXPECT_EQ(ToPath(u"file:///tmp/a+b.gif"), u"/tmp/a+b.gif");     // '+' is no blank in a path
    EXPECT_EQ(ToPath(u" file:///tmp/a b.gif\n"), u"/tmp/a b.gif");  // as a browser reads it
    EXPECT_EQ(ToPath(u"file:///"), u"/");
    // An overlong UTF-8 '/' stays three bytes of a name (paths are bytes),
    // never a separator.
    EXPECT_EQ(ToPath(u"file:///a%E0%80%AF..%E0%80%AFetc"),
              u"/a\xDCE0\xDC80\xDCAF..\xDCE0\xDC80\xDCAF"
              u"etc");
}

TEST(FileUrl, BackslashesBeforeTheQueryAreSlashes) {
    EXPECT_EQ(ToPath(u"file:///tmp\\img\\x.gif"), u"/tmp/img/x.gif");
    EXPECT_EQ(ToPath(u"file:///tmp/a%5Cb.gif"), u"/tmp/a\\b.gif");  // an escaped one is a character
    const std::u16string base = ToUrl(u"/tmp/site/index.html");
    EXPECT_EQ(Resolve(u"img\\a.gif?x\\y#p\\q", base), u"file:///tmp/site/img/a.gif?x%5Cy#p%5Cq");
    EXPECT_EQ(ToPath(Resolve(u"img\\a.gif", u"/tmp/site/index.html")), u"/tmp/site/img/a.gif");
    EXPECT_EQ(Resolve(u"..\\x.gif", u"http://host/dir/sub/page.html"), u"http://host/dir/x.gif");
    // Other schemes keep theirs.
    EXPECT_EQ(Resolve(u"cid:a\\b", base), u"cid:a%5Cb");
}

// Escaped bytes that are not UTF-8 are read in the page's own encoding, one
// path segment at a time; UTF-8 escapes stay UTF-8.
TEST(FileUrl, EscapesOfThePagesOwnEncoding) {
    auto toPath = [](const std::u16string& url, const std::string& encoding) {
        std::u16string path = u"junk";
        SIFUtil::URLtoPCPath(path, url, encoding);
        return path;
    };
    EXPECT_EQ(toPath(u"file:///tmp/%83%8D%83S.gif", "CP932"), u"/tmp/ロゴ.gif");
    EXPECT_EQ(toPath(u"file:///tmp/%95%5C/%E8%A1%A8.gif", "CP932"), u"/tmp/表/表.gif");
    EXPECT_EQ(toPath(u"file:///tmp/%A5%ED%A5%B4.gif", "EUC-JP"), u"/tmp/ロゴ.gif");
    // Not read in a UTF page's encoding: the bytes themselves name the file.
    EXPECT_EQ(toPath(u"file:///tmp/%83%8D.gif", "UTF-8"), u"/tmp/\xDC83\xDC8D.gif");
    EXPECT_EQ(toPath(u"file:///tmp/%83%8D.gif", "UTF-16LE"), u"/tmp/\xDC83\xDC8D.gif");
    EXPECT_EQ(toPath(u"file:///tmp/%83%8D.gif", ""), ToPath(u"file:///tmp/%83%8D.gif"));
    EXPECT_EQ(toPath(u"file:///tmp/%83%2F%8D.gif", "CP932"), u"");  // the guard against '/' still holds
    EXPECT_EQ(toPath(u"file:///tmp/%80+AC8-etc", "UTF-7"), u"");    // and against a '/' that decoding makes
}

TEST(FileUrl, EverythingElseGivesNoPath) {
    for (const std::u16string url : {u"http://host/x.gif",
                                     u"https://host/x.gif",
                                     u"HTTP://host/x.gif",
                                     u"ftp://host/x.gif",
                                     u"file://otherhost/tmp/x.gif",
                                     u"file://127.0.0.1/tmp/x.gif",
                                     u"file://[::1]/tmp/x.gif",
                                     u"file://user@localhost/tmp/x.gif",
                                     u"file://localhost:80/tmp/x.gif",
                                     u"file:x.gif",
                                     u"cid:image1",
                                     u"mailto:x@example.com",
                                     u"data:image/gif;base64,R0lG",
                                     u"/tmp/x.gif",
                                     u"x.gif",
                                     u"",
                                     u"::::",
                                     u"http://[bad",
                                     u"file:///tmp/a%00b.gif",
                                     u"file:///tmp/a%2Fb/c.gif",
                                     u"file:///tmp/a%2fb"}) {
        EXPECT_EQ(ToPath(url), u"") << qel::framework::WideToUtf8(url);
    }
}

TEST(AbsUrl, RelativeReferencesAgainstAPageUrl) {
    const std::u16string base = ToUrl(u"/tmp/サイト/ページ/index.html");
    EXPECT_EQ(ToPath(Resolve(u"img/a b.png", base)), u"/tmp/サイト/ページ/img/a b.png");
    EXPECT_EQ(Resolve(u"img/a b.png", base),
              u"file:///tmp/%E3%82%B5%E3%82%A4%E3%83%88/"
              u"%E3%83%9A%E3%83%BC%E3%82%B8/img/a%20b.png");
    EXPECT_EQ(ToPath(Resolve(u"../x.gif", base)), u"/tmp/サイト/x.gif");
    EXPECT_EQ(ToPath(Resolve(u"../../../../x.gif", base)), u"/x.gif");
    EXPECT_EQ(ToPath(Resolve(u"画像/写真.jpg", base)), u"/tmp/サイト/ページ/画像/写真.jpg");
    EXPECT_EQ(Resolve(u"/abs.gif", base), u"file:///abs.gif");
    EXPECT_EQ(ToPath(Resolve(u"a%20b.png", base)), u"/tmp/サイト/ページ/a b.png");  // escapes kept
    EXPECT_EQ(ToPath(Resolve(u"100%.png", base)), u"/tmp/サイト/ページ/100%.png");
    EXPECT_EQ(ToPath(Resolve(u"a.png?v=1#x#y", base)), u"/tmp/サイト/ページ/a.png");
    EXPECT_EQ(ToPath(Resolve(u"  img/a.png\n", base)), u"/tmp/サイト/ページ/img/a.png");
    EXPECT_EQ(ToPath(Resolve(u"..\\x.gif", base)), u"/tmp/サイト/x.gif");  // '\\' reads as '/'
    EXPECT_EQ(ToPath(Resolve(u"images\\logo.gif", base)), u"/tmp/サイト/ページ/images/logo.gif");
    EXPECT_EQ(ToPath(Resolve(u"a[1].gif", base)), u"/tmp/サイト/ページ/a[1].gif");
}

TEST(AbsUrl, AbsoluteReferencesStayAsTheyAre) {
    const std::u16string base = ToUrl(u"/tmp/site/index.html");
    for (const std::u16string ref : {u"http://host/x.gif", u"HTTP://HOST/X.GIF", u"https://host/a/../b.gif",
                                     u"cid:image1", u"mailto:x@example.com", u"file:///etc/x.gif"}) {
        EXPECT_EQ(Resolve(ref, base), ref);
    }
    EXPECT_EQ(ToPath(Resolve(u"cid:image1", base)), u"");
    EXPECT_EQ(Resolve(u"//otherhost/x.gif", base), u"file://otherhost/x.gif");
    EXPECT_EQ(ToPath(Resolve(u"//otherhost/x.gif", base)), u"");
}

TEST(AbsUrl, AgainstAWebPage) {
    EXPECT_EQ(Resolve(u"../x.gif", u"http://host/dir/sub/page.html"), u"http://host/dir/x.gif");
    EXPECT_EQ(Resolve(u"a b.gif", u"http://host"), u"http://host/a%20b.gif");
    // uriparser writes an IPv6 host in full.
    EXPECT_EQ(Resolve(u"a[1].gif", u"http://[::1]/dir/"),
              u"http://[0000:0000:0000:0000:0000:0000:0000:0001]/dir/a%5B1%5D.gif");
    EXPECT_EQ(Resolve(u"http://[::1]/a[1].gif", u""), u"http://[::1]/a%5B1%5D.gif");
}

TEST(AbsUrl, PlainPathBaseIsTakenAsAFile) {
    EXPECT_EQ(ToPath(Resolve(u"img/a.png", u"/tmp/a b/index.html")), u"/tmp/a b/img/a.png");
    const std::u16string cwd = qel::framework::PathFromNative(fs::current_path().string());
    EXPECT_EQ(ToPath(Resolve(u"img/a.png", u"site/index.html")), cwd + u"/site/img/a.png");
}

// One base after another, as pages of different folders are imported: each
// call resolves against its own base, and a relative path against the
// folder current at that call.
TEST(AbsUrl, EachCallTakesItsOwnBase) {
    const std::u16string first = ToUrl(u"/tmp/one/index.html");
    const std::u16string second = u"http://host/two/";
    EXPECT_EQ(Resolve(u"a.gif", first), u"file:///tmp/one/a.gif");
    EXPECT_EQ(Resolve(u"a.gif", second), u"http://host/two/a.gif");
    EXPECT_EQ(Resolve(u"a.gif", first), u"file:///tmp/one/a.gif");
    EXPECT_EQ(Resolve(u"a.gif", u""), u"a.gif");
    EXPECT_EQ(Resolve(u"a.gif", u" " + second), u"http://host/two/a.gif");

    const fs::path before = fs::current_path();
    EXPECT_EQ(ToPath(Resolve(u"a.gif", u"site/index.html")),
              qel::framework::PathFromNative(before.string()) + u"/site/a.gif");
    fs::current_path("/tmp");
    EXPECT_EQ(ToPath(Resolve(u"a.gif", u"site/index.html")), u"/tmp/site/a.gif");
    fs::current_path(before);
}

// Plain references and file URLs are answered without a parse; a form of
// the same reference that needs one ("./", an upper-case scheme) must give
// the same answer, whatever the base holds.
TEST(AbsUrl, PlainFormsAnswerAsTheirLongForms) {
    for (const std::u16string& base :
         {ToUrl(u"/tmp/サイト/index.html"), std::u16string(u"file:///a/./b/../c/page.html?q=1#f"),
          std::u16string(u"file:///../x/"), std::u16string(u"http://host"), std::u16string(u"http://[::1]/dir/"),
          std::u16string(u"cid:part"), std::u16string(u"HTTP://Host/A/B")}) {
        for (const std::u16string ref : {u"a.gif", u"img/a.gif", u"img//a.gif", u"img/", u"a.b/c@d;e=f,g+h"})
            EXPECT_EQ(Resolve(ref, base), Resolve(u"./" + ref, base)) << qel::framework::WideToUtf8(base);
    }
    for (const std::u16string path : {u"/a.gif", u"/a//b/./c/../d.gif", u"/", u"//x", u"/a:b@c/d;e"})
        EXPECT_EQ(ToPath(u"file://" + path), ToPath(u"FILE://" + path));
}

TEST(AbsUrl, UnresolvableReferencesComeBackUnchanged) {
    const std::u16string base = ToUrl(u"/tmp/site/index.html");
    EXPECT_EQ(Resolve(u"img/a.png", u""), u"img/a.png");
    EXPECT_EQ(Resolve(u"http://[bad", base), u"http://[bad");
    EXPECT_EQ(Resolve(std::u16string(u"a\0b", 3), base), std::u16string(u"a\0b", 3));
}

// How the HTML import uses these services: a reference in a page found as a
// file next to the page, whatever its name.
class UrlFilesTest : public qel::test::TempDirTest {};

TEST_F(UrlFilesTest, ReferencesOfAPageFindItsFiles) {
    fs::create_directories(path("サイト 1/画像"));
    qel::test::WriteFileBytes(path("サイト 1/画像/写真 2.jpg"), "x");
    qel::test::WriteFileBytes(path("top.gif"), "x");
    const std::u16string page = wpath("サイト 1/index.html");
    std::u16string base;
    SIFUtil::PCPathtoURL(base, page);
    ASSERT_FALSE(base.empty());
    EXPECT_NE(is_file(ToPath(Resolve(u"画像/写真 2.jpg", base))), 0);
    EXPECT_NE(is_file(ToPath(Resolve(u"画像/写真%202.jpg", base))), 0);
    EXPECT_NE(is_file(ToPath(Resolve(u"../top.gif", base))), 0);
    EXPECT_EQ(is_file(ToPath(Resolve(u"画像/無い.jpg", base))), 0);
}

TEST(IsProtocol, IgnoresCaseAndLeadingBlanks) {
    EXPECT_NE(is_protocol(u"http://host/x.gif", u"http:"), 0);
    EXPECT_NE(is_protocol(u"HTTP://host/x.gif", u"http:"), 0);
    EXPECT_NE(is_protocol(u"Https://host/x.gif", u"https:"), 0);
    EXPECT_NE(is_protocol(u" \thttp://host/x.gif", u"http:"), 0);
    EXPECT_EQ(is_protocol(u"https://host/x.gif", u"http:"), 0);
    EXPECT_EQ(is_protocol(u"img/http:x.gif", u"http:"), 0);
    EXPECT_EQ(is_protocol(u"http", u"http:"), 0);
    EXPECT_EQ(is_protocol(u"http://x", u""), 0);
}

}  // namespace
