// File and image kinds: the signature decides, the extension only when the
// file cannot be read.
#include "host/filekind.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

using namespace std::string_literals;  // the signatures hold NUL bytes

class FileKind : public qel::test::TempDirTest {};

TEST_F(FileKind, SignaturesDecide) {
    struct Case {
        const char* name;
        std::string bytes;
        int file;
        int image;
    };
    const Case cases[] = {
        {"a.gif", "GIF87a\x01\x00"s, 2, 2},
        {"b.gif", "GIF89a", 2, 2},
        {"c.jpg", "\xFF\xD8\xFF\xE0", 2, 3},
        {"d.png", "\x89PNG\r\n\x1A\n\0\0"s, 2, 4},
        {"e.swf", "FWS\x06", 23, 0},
        {"f.swf", "CWS\x0A", 23, 0},
        {"g.swf", "ZWS\x0D", 23, 0},
        // The content wins over a misleading name, either way.
        {"png-named.gif", "\x89PNG\r\n\x1A\n", 2, 4},
        {"gif-named.bin", "GIF89a", 2, 2},
        {"text.gif", "hello world", 0, 0},
        {"short.png", "\x89PNG", 0, 0},
        {"gif88.gif", "GIF88a", 0, 0},
    };
    for (const Case& c : cases) {
        const std::u16string p = WriteFile(c.name, c.bytes);
        EXPECT_EQ(CQelTktUtil::whatKindOfFile(p, false), c.file) << c.name;
        EXPECT_EQ(CQelTktUtil::whatKindOfImage(p), c.image) << c.name;
    }
}

TEST_F(FileKind, ExtensionDecidesWhenTheFileCannotBeRead) {
    struct Case {
        const char16_t* name;
        int file;
        int image;
    };
    const Case cases[] = {
        {u"missing.GIF", 2, 2}, {u"missing.jpg", 2, 3},  {u"missing.JPEG", 2, 3}, {u"missing.jpe", 2, 3},
        {u"missing.Png", 2, 4}, {u"missing.swf", 23, 0}, {u"missing.bmp", 0, 0},  {u"missing", 0, 0},
    };
    for (const Case& c : cases) {
        const std::u16string p = wdir() + u"/" + c.name;
        EXPECT_EQ(CQelTktUtil::whatKindOfFile(p, false), c.file);
        EXPECT_EQ(CQelTktUtil::whatKindOfImage(p), c.image);
    }
    EXPECT_EQ(CQelTktUtil::whatKindOfImage(u"http://www.example.com/img/logo.png"), 4);
    std::filesystem::create_directory(path("folder.jpg"));
    EXPECT_EQ(CQelTktUtil::whatKindOfImage(wpath("folder.jpg")), 3);
    EXPECT_EQ(CQelTktUtil::whatKindOfImage(WriteFile("empty.gif", "")), 2);
    EXPECT_EQ(CQelTktUtil::whatKindOfFile(u"", false), 0);
}

}  // namespace
