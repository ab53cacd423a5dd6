// CFile and CStdioFile on real files: line ends, long lines, folders,
// missing files and exclusive creation.
#include "framework/file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "tests/support/test_support.h"

namespace {

class FileTest : public qel::test::TempDirTest {};

// Reads every line with a bound on its length.
void ReadBounded(const std::u16string& path, std::size_t bound) {
    CStdioFile f;
    ASSERT_TRUE(f.Open(path, CFile::modeRead | CFile::typeText));
    std::string line;
    while (f.ReadString(line, bound)) {}
}

std::vector<std::string> ReadLines(const std::u16string& path) {
    CStdioFile f;
    EXPECT_TRUE(f.Open(path, CFile::modeRead | CFile::typeText));
    std::vector<std::string> lines;
    std::string line;
    while (f.ReadString(line)) lines.push_back(line);
    f.Close();
    return lines;
}

TEST_F(FileTest, LineEndsAndLastLineWithoutEnd) {
    const auto p = WriteFile("a.txt", "one\r\ntwo\nthree\rstill three\r\n\r\nlast");
    EXPECT_EQ(ReadLines(p), (std::vector<std::string>{"one", "two", "three\rstill three", "", "last"}));
    EXPECT_TRUE(ReadLines(WriteFile("empty.txt", "")).empty());
    EXPECT_EQ(ReadLines(WriteFile("nl.txt", "\n")), std::vector<std::string>{""});
    EXPECT_EQ(ReadLines(WriteFile("cr.txt", "a\nb\r")), (std::vector<std::string>{"a", "b\r"}));
}

TEST_F(FileTest, LinesLongerThanTheBufferAreReadWhole) {
    std::string big(300000, 'x');
    big[150000] = 'y';
    const auto p = WriteFile("long.txt", big + "\r\n" + big);
    const auto lines = ReadLines(p);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], big);
    EXPECT_EQ(lines[1], big);
}

TEST_F(FileTest, CrLfSplitAcrossBlocksIsOneLineEnd) {
    std::string text(65535, 'a');
    text += "\r\nb";
    const auto lines = ReadLines(WriteFile("split.txt", text));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 65535u);
    EXPECT_EQ(lines[1], "b");
}

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
        CStdioFile f;
        CFileException e;
        EXPECT_FALSE(f.Open(p, CFile::modeRead | CFile::typeText, &e)) << qel::framework::WideToUtf8(p);
        EXPECT_EQ(e.m_cause, CFileException::accessDenied);
        EXPECT_FALSE(f.Open(p, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite, &e));
    }
}

TEST_F(FileTest, LineLongerThanTheBoundRaisesBeforeItIsHeld) {
    const std::string bound(1000, 'x');
    const auto p = WriteFile("lines.txt", bound + "\r\n" + bound + "y\n" + "short");
    CStdioFile f;
    ASSERT_TRUE(f.Open(p, CFile::modeRead | CFile::typeText));
    std::string line;
    ASSERT_TRUE(f.ReadString(line, 1000));  // exactly the bound, CR LF not counted
    EXPECT_EQ(line, bound);
    EXPECT_THROW(f.ReadString(line, 1000), CFileException);
    // The last line, without an end, counts too; a line far longer than a
    // block is refused without reading it all.
    EXPECT_THROW(ReadBounded(WriteFile("last.txt", "a\n" + bound + "z"), 1000), CFileException);
    EXPECT_THROW(ReadBounded(WriteFile("huge.txt", std::string(5 << 20, 'q')), 1 << 20), CFileException);
}

TEST_F(FileTest, CreateTruncatesAndWrites) {
    const auto p = WriteFile("out.bin", "old contents that are long");
    CFile f;
    ASSERT_TRUE(f.Open(p, CFile::modeCreate | CFile::modeReadWrite));
    f.Write("new", 3);
    EXPECT_EQ(f.GetLength(), 3u);
    f.SeekToBegin();
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
