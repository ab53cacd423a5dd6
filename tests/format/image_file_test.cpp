// Reading a whole image file into a new buffer.
#include "format/image_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "framework/exceptions.h"
#include "tests/support/test_support.h"

namespace {

using Buffer = std::unique_ptr<unsigned char[]>;

class WholeImageFile : public qel::test::TempDirTest {};

TEST_F(WholeImageFile, ReadsAWholeFile) {
    std::string data(5000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    std::size_t size = 0;
    const Buffer b = qel::format::ReadFileBytes(WriteFile("a.bin", data), size);
    ASSERT_TRUE(b);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.get()), size), data);

    const Buffer e = qel::format::ReadFileBytes(WriteFile("empty.bin", ""), size);
    EXPECT_TRUE(e);
    EXPECT_EQ(size, 0u);
}

TEST_F(WholeImageFile, NothingThereGivesNoBuffer) {
    std::size_t size = 0;
    EXPECT_EQ(qel::format::ReadFileBytes(wpath("missing.gif"), size), nullptr);
    EXPECT_EQ(qel::format::ReadFileBytes(u"http://www.example.com/logo.gif", size), nullptr);
    EXPECT_EQ(qel::format::ReadFileBytes(u"", size), nullptr);
    WriteFile("plain", "x");
    EXPECT_EQ(qel::format::ReadFileBytes(wpath("plain") + u"/below.gif", size), nullptr);
    std::filesystem::create_directory(path("images"));
    EXPECT_EQ(qel::format::ReadFileBytes(wpath("images"), size), nullptr);
    EXPECT_EQ(size, 0u);
}

// A device is never read, and a file whose size is not what it was at open
// is not taken: the error names the file and says what happened. Files of
// the kernel's own stand in for a file that changes while it is read: their
// size is given as 0 (/proc) or 4096 (/sys) whatever they hold.
TEST_F(WholeImageFile, SomethingThereThatCannotBeReadWholeRaises) {
    std::size_t size = 0;
    auto failure = [&](const std::u16string& name) -> CFileException {
        try {
            const Buffer b = qel::format::ReadFileBytes(name, size);
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

TEST_F(WholeImageFile, AFileWithoutPermissionRaises) {
    std::size_t size = 0;
    const std::u16string locked = WriteFile("locked.gif", "GIF89a");
    ::chmod(path("locked.gif").c_str(), 0);
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    EXPECT_THROW(qel::format::ReadFileBytes(locked, size), CFileException);
}

}  // namespace
