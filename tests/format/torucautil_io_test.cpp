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
    EXPECT_EQ(grew.m_strDescription, u"grew while it was read");
    const char16_t* const sys = u"/sys/devices/system/cpu/online";
    if (::access("/sys/devices/system/cpu/online", R_OK) != 0) GTEST_SKIP() << "no sysfs";
    const CFileException shrank = failure(sys);
    EXPECT_EQ(shrank.m_cause, CFileException::endOfFile);
    EXPECT_EQ(shrank.m_strDescription, u"shrank while it was read");
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
