// The host's file dialog as the unique icon dialog runs it: constructed with
// 1, 2, no name, 0x801800 and no site, a starting folder, DoModal(0, "", "")
// answering 1 with the chosen path; and the site manager without a site.
#include "host/filedialog.h"

#include <gtest/gtest.h>

#include "host/sitemgr.h"
#include "tests/support/dialog_testing.h"

namespace {

class QelFileDialog : public qel::test::DialogTest {};

TEST_F(QelFileDialog, AChosenFileAnswersOneAndItsFullPath) {
    WriteFile("icon.png", "png");
    SiteIF* site = OutSMgr::findOutSite();
    EXPECT_EQ(site, nullptr);
    CQelFileDialog fd(1, 2, nullptr, 0x801800, nullptr, nullptr);
    fd.setmysif(site);
    fd.m_strInitialDir = wdir();
    qel::test::ExpectFileDialog([&](qel::test::FileDialogUser& u) {
        EXPECT_EQ(u.InitialDir(), wdir());
        EXPECT_TRUE(u.Dialog().m_bOpenFileDialog);
        EXPECT_EQ(u.Dialog().m_dwFlags, OFN_ENABLESIZING | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
        std::string why;
        u.SetText(u"missing.png");
        EXPECT_FALSE(u.TryOk(&why));
        EXPECT_EQ(why, "no such file");
        u.SetText(u"icon.png");
        u.Ok();
    });
    EXPECT_EQ(fd.DoModal(0, u"", u""), 1);
    EXPECT_EQ(fd.GetPathName(), wpath("icon.png"));
}

TEST_F(QelFileDialog, CancellingAnswersSomethingOtherThanOne) {
    CQelFileDialog fd(1, 2, nullptr, 0x801800, nullptr, nullptr);
    qel::test::ExpectFileDialog([](qel::test::FileDialogUser& u) { u.Cancel(); });
    EXPECT_NE(fd.DoModal(0, u"", u""), 1);
    EXPECT_TRUE(fd.GetPathName().empty());
}

// A site of the caller's own: the dialog starts in its folder when no
// starting folder is set.
class FakeSite : public SiteIF {
public:
    explicit FakeSite(std::u16string root) : m_root(std::move(root)) {}
    int AddRef() override { return ++m_refs; }
    int Release() override { return --m_refs; }
    std::u16string GetRootFolder() override { return m_root; }
    int m_refs = 1;

private:
    std::u16string m_root;
};

TEST_F(QelFileDialog, WithoutAStartingFolderTheSitesFolderIsUsed) {
    FakeSite site(wdir());
    CQelFileDialog fd(1, 2);
    fd.setmysif(&site);
    qel::test::ExpectFileDialog([&](qel::test::FileDialogUser& u) { EXPECT_EQ(u.InitialDir(), wdir()); });
    fd.DoModal(0, u"", u"");
}

}  // namespace
