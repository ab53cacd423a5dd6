// CQelTorucaUtil's Base64 wrappers, line-break removal, file reading and
// writing, and the lenient integer conversion.
#include "toruca/torucautil.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <random>

#include "framework/exceptions.h"
#include "tests/support/test_support.h"

namespace {

using Buffer = std::unique_ptr<unsigned char[]>;

TEST(TorucaUtilBase64, TextWrappers) {
    CQelTorucaUtil util;
    const unsigned char abc[] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(util.EncodeBase64Text(abc, 4), u"YWJjZA==");
    EXPECT_EQ(util.EncodeBase64Text(abc, 0), u"");
    EXPECT_EQ(util.EncodeBase64Text(nullptr, 4), u"");

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

// Cutting the first CR LF and searching again from the start, the plain
// reading of the rule, as the reference for the one-pass version.
std::u16string RemoveLineBreaksSlowly(std::u16string s) {
    for (std::size_t at; (at = s.find(u"\r\n")) != std::u16string::npos;) s.erase(at, 2);
    return s;
}

TEST(TorucaUtilRemoveLineBreaks, CutsPairsAlsoThoseThatFormWhenAnInnerPairGoes) {
    CQelTorucaUtil util;
    EXPECT_EQ(util.RemoveLineBreaks(u"ab\r\ncd\r\n"), u"abcd");
    EXPECT_EQ(util.RemoveLineBreaks(u"\r\r\n\n"), u"");
    EXPECT_EQ(util.RemoveLineBreaks(u"a\r\r\r\n\n\nb"), u"ab");
    EXPECT_EQ(util.RemoveLineBreaks(u"\n\r"), u"\n\r");
    EXPECT_EQ(util.RemoveLineBreaks(u"\r\r\n"), u"\r");
    EXPECT_EQ(util.RemoveLineBreaks(u"\r\n\n"), u"\n");

    std::mt19937 rng(5);
    const char16_t pick[] = {u'\r', u'\n', u'x'};
    for (int round = 0; round < 2000; ++round) {
        std::u16string s(rng() % 24, u'x');
        for (char16_t& c : s) c = pick[rng() % 3];
        ASSERT_EQ(util.RemoveLineBreaks(s), RemoveLineBreaksSlowly(s));
    }
}

class TorucaUtilFiles : public qeltest::TempDirTest {};

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
    std::filesystem::create_directory(path("images"));
    EXPECT_EQ(util.ReadFileBytes(wpath("images"), size), nullptr);
    EXPECT_EQ(size, 0u);
}

// A device is never read, and a file whose size is not what it was at open
// is not taken: the error names the file and says what happened. Files of
// the kernel's own stand in for a file that changes while it is read: their
// size is given as 0 (/proc) or 4096 (/sys) whatever they hold.
TEST_F(TorucaUtilFiles, SomethingThereThatCannotBeReadWholeRaises) {
    CQelTorucaUtil util;
    std::size_t size = 0;
    auto failure = [&](const std::u16string& name) -> CFileException {
        try {
            Buffer b(util.ReadFileBytes(name, size));
        } catch (const CFileException& e) {
            return e;
        }
        ADD_FAILURE() << "no exception";
        return CFileException();
    };
    EXPECT_EQ(failure(u"/dev/zero").m_strFileName, u"/dev/zero");

    const CFileException grew = failure(u"/proc/self/stat");
    EXPECT_EQ(grew.m_strFileName, u"/proc/self/stat");
    EXPECT_STREQ(grew.what(), "file grew while read");
    const char16_t* const sys = u"/sys/devices/system/cpu/online";
    if (::access("/sys/devices/system/cpu/online", R_OK) != 0) GTEST_SKIP() << "no sysfs";
    const CFileException shrank = failure(sys);
    EXPECT_EQ(shrank.m_cause, CFileException::endOfFile);
    EXPECT_STREQ(shrank.what(), "file shrank while read");
    EXPECT_EQ(size, 0u);
}

TEST_F(TorucaUtilFiles, AFileWithoutPermissionRaises) {
    CQelTorucaUtil util;
    std::size_t size = 0;
    const std::u16string locked = WriteFile("locked.gif", "GIF89a");
    ::chmod(path("locked.gif").c_str(), 0);
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    EXPECT_THROW(util.ReadFileBytes(locked, size), CFileException);
}

TEST_F(TorucaUtilFiles, WritesAndReplacesFiles) {
    CQelTorucaUtil util;
    const unsigned char bytes[] = {0, 1, 2, 0xFF};
    EXPECT_TRUE(util.WriteFileBytes(wpath("out.bin"), bytes, 4));
    EXPECT_EQ(qeltest::ReadFileBytes(path("out.bin")), std::string("\0\1\2\xFF", 4));
    EXPECT_TRUE(util.WriteFileBytes(wpath("out.bin"), bytes, 1));
    EXPECT_EQ(qeltest::ReadFileBytes(path("out.bin")), std::string("\0", 1));
    EXPECT_FALSE(util.WriteFileBytes(wpath("no/such/folder/out.bin"), bytes, 4));
    std::filesystem::create_directory(path("dir"));
    EXPECT_FALSE(util.WriteFileBytes(wpath("dir"), bytes, 4));
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
