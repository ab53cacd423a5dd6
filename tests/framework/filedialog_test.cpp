// What the file dialog accepts: relative names from its starting folder,
// "." and "..", the default extension of a save dialog, and the flags that
// require an existing file or folder.
#include "framework/filedialog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"

namespace {

class FileDialogAccept : public qel::test::TempDirTest {};

TEST_F(FileDialogAccept, RelativeNamesStartInTheInitialFolder) {
    WriteFile("a.gif", "x");
    std::filesystem::create_directories(path("sub"));
    CFileDialog fd(TRUE, nullptr, nullptr, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    fd.m_strInitialDir = wpath("sub");
    ASSERT_TRUE(qel::framework::FileDialogAccept(fd, u"../a.gif"));
    EXPECT_EQ(fd.GetPathName(), wpath("a.gif"));
    ASSERT_TRUE(qel::framework::FileDialogAccept(fd, wdir() + u"/./a.gif"));
    EXPECT_EQ(fd.GetPathName(), wpath("a.gif"));
}

TEST_F(FileDialogAccept, TheFlagsDecideWhatMustExist) {
    std::filesystem::create_directories(path("sub"));
    std::string why;
    CFileDialog open(TRUE, nullptr, nullptr, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    open.m_strInitialDir = wdir();
    EXPECT_FALSE(qel::framework::FileDialogAccept(open, u"none.gif", &why));
    EXPECT_EQ(why, "no such file");
    EXPECT_FALSE(qel::framework::FileDialogAccept(open, u"sub", &why));
    EXPECT_EQ(why, "the name is a folder");
    EXPECT_FALSE(qel::framework::FileDialogAccept(open, u"", &why));
    EXPECT_EQ(why, "no file name");
    EXPECT_TRUE(open.GetPathName().empty());

    CFileDialog save(FALSE, u"tpj", nullptr, OFN_PATHMUSTEXIST);
    save.m_strInitialDir = wdir();
    ASSERT_TRUE(qel::framework::FileDialogAccept(save, u"new"));
    EXPECT_EQ(save.GetPathName(), wpath("new.tpj"));
    EXPECT_FALSE(qel::framework::FileDialogAccept(save, u"nofolder/new", &why));
    EXPECT_EQ(why, "no such folder");
}

}  // namespace
