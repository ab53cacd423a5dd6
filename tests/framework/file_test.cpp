// CFile on real files: folders, pipes, missing files and exclusive
// creation.
#include "framework/file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "tests/support/test_support.h"

namespace {

class FileTest : public qel::test::TempDirTest {};

TEST_F(FileTest, OpenFailsForMissingFilesAndFolders) {
    CFile f;
    CFileException e;
    EXPECT_FALSE(f.Open(wpath("missing"), CFile::modeRead, &e));
    EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
    EXPECT_FALSE(f.Open(wdir(), CFile::modeRead, &e));
    EXPECT_FALSE(f.Open(u"", CFile::modeRead));
}

// A named pipe without a writer would hold the caller in open or read, and a
// device such as /dev/zero never ends: both are refused at once.
TEST_F(FileTest, OpenRefusesPipesAndDevicesWithoutWaiting) {
    ASSERT_EQ(::mkfifo(path("pipe.trc").c_str(), 0600), 0);
    for (const std::u16string& p : {wpath("pipe.trc"), std::u16string(u"/dev/zero")}) {
        CFile f;
        CFileException e;
        EXPECT_FALSE(f.Open(p, CFile::modeRead, &e)) << qel::framework::WideToUtf8(p);
        EXPECT_EQ(e.m_cause, CFileException::accessDenied);
        EXPECT_FALSE(f.Open(p, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite, &e));
    }
}

TEST_F(FileTest, CreateTruncatesAndWrites) {
    const auto p = WriteFile("out.bin", "old contents that are long");
    CFile f;
    ASSERT_TRUE(f.Open(p, CFile::modeCreate | CFile::modeReadWrite));
    f.Write("new", 3);
    f.Close();
    ASSERT_TRUE(f.Open(p, CFile::modeRead));
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, sizeof buf), 3u);
    f.Close();
    EXPECT_EQ(qel::test::ReadFileBytes(path("out.bin")), "new");
}

TEST_F(FileTest, CreateNewNeverOverwrites) {
    const auto p = WriteFile("taken.gif", "keep");
    CFile f;
    CFileException e;
    EXPECT_FALSE(f.Open(p, CFile::modeCreate | CFile::modeCreateNew | CFile::modeWrite, &e));
    EXPECT_EQ(e.m_cause, CFileException::alreadyExists);
    EXPECT_EQ(qel::test::ReadFileBytes(path("taken.gif")), "keep");
    EXPECT_TRUE(f.Open(wpath("fresh.gif"), CFile::modeCreate | CFile::modeCreateNew | CFile::modeWrite));
}

TEST_F(FileTest, ReadingAClosedFileRaises) {
    CFile f;
    char c;
    EXPECT_THROW(f.Read(&c, 1), CFileException);
    EXPECT_THROW(f.Write(&c, 1), CFileException);
}

}  // namespace
