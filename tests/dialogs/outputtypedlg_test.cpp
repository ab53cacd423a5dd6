// CQelTorucaOutputTypeDlg driven as a user would: the radio button checked at
// the start (with the initial code normalised), the last click deciding the
// result, and the command filter that takes only clicks.
#include "dialogs/outputtypedlg.h"

#include <gtest/gtest.h>

#include "dialogs/module_resources.h"
#include "tests/support/dialog_testing.h"

namespace {

class OutputTypeDlgTest : public qel::test::DialogTest {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(qel::dialogs::RegisterModuleResources()); }
    static void TearDownTestSuite() { qel::dialogs::UnregisterModuleResources(); }

    // Opens the dialog with `initial`, checks which radio button is checked
    // and presses OK at once; answers m_nOutput.
    static int OkAtOnce(int initial, int expectedChecked) {
        qel::test::ExpectDialog(IDD_TORUCA_OUTPUT, [&](qel::test::DialogUser& u) {
            for (int id : {IDC_OUTPUT_PROJECT, IDC_OUTPUT_CARD, IDC_OUTPUT_SNIP})
                EXPECT_EQ(u.Checked(id), id == expectedChecked) << "radio " << id;
            u.Ok();
        });
        CQelTorucaOutputTypeDlg dlg(initial, nullptr);
        EXPECT_EQ(dlg.DoModal(), IDOK);
        return dlg.m_nOutput;
    }
};

TEST_F(OutputTypeDlgTest, EachValidCodeChecksItsRadioAndComesBackUnchanged) {
    EXPECT_EQ(OkAtOnce(1, IDC_OUTPUT_PROJECT), 1);
    EXPECT_EQ(OkAtOnce(2, IDC_OUTPUT_CARD), 2);
    EXPECT_EQ(OkAtOnce(4, IDC_OUTPUT_SNIP), 4);
}

TEST_F(OutputTypeDlgTest, AnyOtherCodeIsNormalisedToTheProjectFile) {
    EXPECT_EQ(OkAtOnce(3, IDC_OUTPUT_PROJECT), 1);
    EXPECT_EQ(OkAtOnce(0, IDC_OUTPUT_PROJECT), 1);
    EXPECT_EQ(OkAtOnce(-4, IDC_OUTPUT_PROJECT), 1);
}

TEST_F(OutputTypeDlgTest, TheLastClickWins) {
    qel::test::ExpectDialog(IDD_TORUCA_OUTPUT, [](qel::test::DialogUser& u) {
        u.Click(IDC_OUTPUT_SNIP);
        u.Click(IDC_OUTPUT_PROJECT);
        EXPECT_TRUE(u.Checked(IDC_OUTPUT_PROJECT));
        EXPECT_FALSE(u.Checked(IDC_OUTPUT_SNIP));
        u.Ok();
    });
    CQelTorucaOutputTypeDlg dlg(4, nullptr);
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_nOutput, 1);

    qel::test::ExpectDialog(IDD_TORUCA_OUTPUT, [](qel::test::DialogUser& u) {
        u.Click(IDC_OUTPUT_CARD);
        u.Ok();
    });
    CQelTorucaOutputTypeDlg detail(1, nullptr);
    ASSERT_EQ(detail.DoModal(), IDOK);
    EXPECT_EQ(detail.m_nOutput, 2);
}

// Only a click (notification code 0) of a radio button counts; another
// notification from the same button leaves the last click in force.
TEST_F(OutputTypeDlgTest, OtherNotificationsOfTheRadioButtonsAreNotClicks) {
    qel::test::ExpectDialog(IDD_TORUCA_OUTPUT, [](qel::test::DialogUser& u) {
        u.Click(IDC_OUTPUT_CARD);
        CWnd* snip = u.Control(IDC_OUTPUT_SNIP);
        u.Dialog().SendMessage(WM_COMMAND, MAKEWPARAM(IDC_OUTPUT_SNIP, BN_DOUBLECLICKED),
                               reinterpret_cast<LPARAM>(snip));
        EXPECT_EQ(u.As<CQelTorucaOutputTypeDlg>().m_nCheckedId, IDC_OUTPUT_CARD);
        u.Ok();
    });
    CQelTorucaOutputTypeDlg dlg(1, nullptr);
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_nOutput, 2);
}

TEST_F(OutputTypeDlgTest, CancelEndsWithIdCancel) {
    qel::test::ExpectDialog(IDD_TORUCA_OUTPUT, [](qel::test::DialogUser& u) {
        u.Click(IDC_OUTPUT_SNIP);
        u.Cancel();
    });
    CQelTorucaOutputTypeDlg dlg(1, nullptr);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

}  // namespace
