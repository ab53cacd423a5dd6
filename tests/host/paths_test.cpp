// Path services: name parts, is_file on real entries, and the long form of a
// path (absolute, normalised, links resolved) in a caller's buffer.
#include "host/paths.h"

#include <unistd.h>

#include <filesystem>

#include "framework/codepage.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

class PathsTest : public qel::test::TempDirTest {};

std::u16string LongPath(const std::u16string& path, int* result = nullptr) {
    char16_t buffer[1024];
    const int n = QelGetLongPathName(path, buffer, 1024);
    if (result != nullptr) *result = n;
    return buffer;
}

TEST(PathParts, NameExtensionAndFolder) {
    EXPECT_EQ(getBaseName(u"/tmp/写真 1/toruca.tpj"), u"toruca.tpj");
    EXPECT_EQ(getBaseExt(u"/tmp/写真 1/toruca.TPJ"), u"TPJ");
    EXPECT_EQ(getBaseExt(u"/tmp/a.dir/noext"), u"");
    EXPECT_EQ(getBaseExt(u"archive.tar.gz"), u"gz");
    EXPECT_EQ(getBasePath(u"/tmp/写真 1/toruca.tpj"), u"/tmp/写真 1");
    EXPECT_EQ(getBasePath(u"/toruca.tpj"), u"/");
    EXPECT_EQ(getBasePath(u"toruca.tpj"), u"");
}

TEST_F(PathsTest, IsFileOnlyForExistingRegularFilesAndLinksToThem) {
    const auto file = WriteFile("画像 1.gif", "GIF89a");
    fs::create_directory(path("フォルダ"));
    fs::create_symlink(path("画像 1.gif"), path("link.gif"));
    fs::create_symlink(path("missing.gif"), path("dangling.gif"));

    EXPECT_NE(is_file(file), 0);
    EXPECT_NE(is_file(wpath("link.gif")), 0);
    EXPECT_EQ(is_file(wpath("dangling.gif")), 0);
    EXPECT_EQ(is_file(wpath("フォルダ")), 0);
    EXPECT_EQ(is_file(wpath("missing.gif")), 0);
    EXPECT_EQ(is_file(u""), 0);
    EXPECT_EQ(is_file(file + std::u16string(1, u'\0') + u"x"), 0);
}

TEST_F(PathsTest, LongPathResolvesLinksAndDotsOfExistingFiles) {
    WriteFile("本物 1.png", "x");
    fs::create_directory(path("sub"));
    fs::create_symlink(path("本物 1.png"), path("sub/リンク.png"));

    int n = 0;
    const std::u16string real = qel::framework::PathFromNative(fs::canonical(path("本物 1.png")).string());
    EXPECT_EQ(LongPath(wpath("sub/../sub/./リンク.png"), &n), real);
    EXPECT_EQ(n, static_cast<int>(real.size()));
}

TEST_F(PathsTest, LongPathOfMissingFileIsNormalisedLexically) {
    const std::u16string base = qel::framework::PathFromNative(fs::canonical(dir()).string());
    EXPECT_EQ(LongPath(wdir() + u"/無い/../まだ無い//x.png/"), base + u"/まだ無い/x.png");
}

TEST_F(PathsTest, LongPathOfRelativePathStartsAtCurrentFolder) {
    const fs::path saved = fs::current_path();
    fs::current_path(dir());
    const std::u16string got = LongPath(u"./a/../b.txt");
    fs::current_path(saved);
    EXPECT_EQ(got, qel::framework::PathFromNative(fs::canonical(dir()).string()) + u"/b.txt");
}

TEST(LongPath, TooSmallBufferOrEmptyPathGivesZeroAndTheCutPath) {
    char16_t small[8];
    EXPECT_EQ(QelGetLongPathName(u"/usr/share/doc", small, 8), 0);
    EXPECT_EQ(std::u16string(small), u"/usr/sh");
    // A surrogate pair is never split.
    EXPECT_EQ(QelGetLongPathName(u"/tmp/ab\U0001F600/x", small, 8), 0);
    EXPECT_EQ(std::u16string(small), u"/tmp/ab");

    char16_t buffer[16] = u"junk";
    EXPECT_EQ(QelGetLongPathName(u"", buffer, 16), 0);
    EXPECT_EQ(buffer[0], u'\0');
    EXPECT_EQ(QelGetLongPathName(u"/tmp", nullptr, 16), 0);
    EXPECT_EQ(QelGetLongPathName(u"/tmp", buffer, 0), 0);
}

}  // namespace
