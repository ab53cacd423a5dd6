// CQelTorucaUtil's Base64 decoding wrapper, file reading, and the lenient
// integer conversion.
#include "toruca/torucautil.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "framework/exceptions.h"
#include "tests/support/test_support.h"

namespace {

using Buffer = std::unique_ptr<unsigned char[]>;

TEST(TorucaUtilBase64, DecodingWrapper) {
    CQelTorucaUtil util;
    std::size_t count = 99;
    Buffer b(util.DecodeBase64Bytes("YWJj\r\nZA==", 10, count));
    ASSERT_TRUE(b);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.get()), count), "abcd");
    count = 99;
    EXPECT_EQ(util.DecodeBase64Bytes(nullptr, 10, count), nullptr);
    EXPECT_EQ(count, 0u);
    Buffer empty(util.DecodeBase64Bytes("", 0, count));
    EXPECT_TRUE(empty);
    EXPECT_EQ(count, 0u);
}

class TorucaUtilFiles : public qel::test::TempDirTest {};

TEST_F(TorucaUtilFiles, ReadsAWholeFile) {
    CQelTorucaUtil util;
    std::string data(5000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    std::size_t size = 0;
    Buffer b(util.ReadFileBytes(WriteFile("a.bin", data), size));
    ASSERT_TRUE(b);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.get()), size), data);

    Buffer e(util.ReadFileBytes(WriteFile("empty.bin", ""), size));
    EXPECT_TRUE(e);
    EXPECT_EQ(size, 0u);
}

TEST_F(TorucaUtilFiles, NothingThereGivesNoBuffer) {
    CQelTorucaUtil util;
    std::size_t size = 0;
    EXPECT_EQ(util.ReadFileBytes(wpath("missing.gif"), size), nullptr);
    EXPECT_EQ(util.ReadFileBytes(u"http://www.example.com/logo.gif", size), nullptr);
    EXPECT_EQ(util.ReadFileBytes(u"", size), nullptr);
    WriteFile("plain", "x");
    EXPECT_EQ(util.ReadFileBytes(wpath("plain") + u"/below.gif", size), nullptr);
    EXPECT_EQ(size, 0u);
}

TEST_F(TorucaUtilFiles, SomethingThereThatCannotBeReadRaises) {
    CQelTorucaUtil util;
    std::size_t size = 0;
    std::filesystem::create_directory(path("folder.gif"));
    EXPECT_THROW(util.ReadFileBytes(wpath("folder.gif"), size), CFileException);
}

TEST_F(TorucaUtilFiles, AFileWithoutPermissionRaises) {
    CQelTorucaUtil util;
    std::size_t size = 0;
    const std::u16string locked = WriteFile("locked.gif", "GIF89a");
    ::chmod(path("locked.gif").c_str(), 0);
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    EXPECT_THROW(util.ReadFileBytes(locked, size), CFileException);
}

TEST(TorucaUtilToInt, LenientLikeTheRuntime) {
    CQelTorucaUtil util;
    EXPECT_EQ(util.ToInt(u"12abc"), 12);
    EXPECT_EQ(util.ToInt(u"abc"), 0);
    EXPECT_EQ(util.ToInt(u""), 0);
    EXPECT_EQ(util.ToInt(u" \t-0042x"), -42);
    EXPECT_EQ(util.ToInt(u"+7"), 7);
    EXPECT_EQ(util.ToInt(u"- 7"), 0);
    EXPECT_EQ(util.ToInt(u"\u30007"), 0);  // the ideographic space is text
    EXPECT_EQ(util.ToInt(u"99999999999"), 2147483647);
    EXPECT_EQ(util.ToInt(u"-2147483648"), -2147483647 - 1);
    EXPECT_EQ(util.ToInt(u"-99999999999"), -2147483647 - 1);
}

}  // namespace
