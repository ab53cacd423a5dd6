// CQelTorucaUtil::CreateNewFile: a new file in the folder under a unique
// name, never an existing file, never a path outside the folder.
#include "toruca/torucautil.h"

#include <gtest/gtest.h>

#include "framework/codepage.h"
#include "framework/file.h"
#include "tests/support/test_support.h"

namespace {

class TorucaUtilNewFile : public qeltest::TempDirTest {};

TEST_F(TorucaUtilNewFile, TakesTheNextFreeNameAndKeepsExistingFiles) {
    qeltest::WriteFileBytes(path("a.gif"), "old");
    CQelTorucaUtil util;
    CFile file;
    std::u16string made;
    ASSERT_TRUE(util.CreateNewFile(file, wdir(), u"../a.gif", made));
    EXPECT_EQ(made, wpath("a(1).gif"));
    file.Write("new", 3);
    file.Close();
    EXPECT_EQ(qeltest::ReadFileBytes(path("a.gif")), "old");
    EXPECT_EQ(qeltest::ReadFileBytes(path("a(1).gif")), "new");
    // A trailing slash on the folder changes nothing.
    ASSERT_TRUE(util.CreateNewFile(file, wdir() + u"/", u"a.gif", made));
    EXPECT_EQ(made, wpath("a(2).gif"));
}

TEST_F(TorucaUtilNewFile, NoFolderNoFile) {
    CQelTorucaUtil util;
    CFile file;
    std::u16string made = u"untouched";
    EXPECT_FALSE(util.CreateNewFile(file, u"", u"a.gif", made));
    EXPECT_FALSE(util.CreateNewFile(file, wpath("missing"), u"a.gif", made));
    EXPECT_EQ(made, u"untouched");
    EXPECT_FALSE(file.IsOpen());
}

}  // namespace
