// The choice of the modal driver (an installed driver, the host's chooser,
// the display), and the no-display driver: each dialog accepted as
// initialised with a notice after the host's prefix, message boxes printed
// and answered, the file dialog cancelled.
#include "framework/modaldriver.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "framework/diagnostic.h"
#include "framework/dialog.h"
#include "framework/dlgscript.h"
#include "framework/filedialog.h"
#include "tests/support/dialog_testing.h"

namespace {

const char kScript[] = R"rc(
60 DIALOGEX 0, 0, 50, 50
BEGIN
    EDITTEXT 601,5,5,40,14
END
)rc";

class CRefusingDlg : public CDialog {
public:
    CRefusingDlg() : CDialog(60) {}
    std::u16string m_str = u"initial";
    bool refuse = false;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, 601, m_str); }
    void OnOK() override {
        if (refuse) {
            AfxMessageBox(u"first line\r\nsecond", MB_ICONSTOP);
            return;
        }
        CDialog::OnOK();
    }
};

// Saves and restores the variables the choice reads and the host's hooks;
// forgets the choice. The host's prefix is "host: ".
class DriverChoice : public qel::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) UnsetVariable(name);
        m_previous = AfxSetModalDriver(nullptr);
        AfxResetModalDriver();
        m_sink = qel::framework::SetDiagnosticSink([this](std::string_view l) { lines.emplace_back(l); });
        m_prefix = qel::framework::SetDiagnosticPrefix("host: ");
        m_chooser = qel::framework::SetModalDriverChooser(nullptr);
    }
    void TearDown() override {
        qel::framework::SetDiagnosticSink(std::move(m_sink));
        qel::framework::SetDiagnosticPrefix(std::move(m_prefix));
        qel::framework::SetModalDriverChooser(std::move(m_chooser));
        AfxResetModalDriver();
        AfxSetModalDriver(m_previous);
        TempDirTest::TearDown();
    }

    std::vector<std::string> lines;
    qel::test::ScopedResourceScript m_rc{"modaldriver_test", kScript};

private:
    CModalDriver* m_previous = nullptr;
    qel::framework::DiagnosticSink m_sink;
    std::string m_prefix;
    qel::framework::ModalDriverChooser m_chooser;
};

TEST_F(DriverChoice, WithoutScriptOrDisplayDialogsAreAcceptedAsShown) {
    EXPECT_STREQ(AfxGetModalDriver().Name(), "headless");
    CRefusingDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_str, u"initial");
    EXPECT_EQ(lines,
              (std::vector<std::string>{"host: no display: dialog 60 not shown; its initial values were taken"}));
}

TEST_F(DriverChoice, ADialogThatRefusesOkIsCancelledAndItsMessagePrinted) {
    CRefusingDlg dlg;
    dlg.refuse = true;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "host: no display: dialog 60 not shown; its initial values were taken",
                         "host: message: first line\\nsecond",
                         "host: no display: dialog 60 stayed open after OK; cancelled",
                     }));
}

TEST_F(DriverChoice, TheFileDialogIsCancelledWithoutADisplay) {
    CFileDialog fd(TRUE);
    EXPECT_EQ(fd.DoModal(), IDCANCEL);
    EXPECT_TRUE(fd.GetPathName().empty());
    EXPECT_EQ(lines, (std::vector<std::string>{"host: no display: file dialog cancelled"}));
}

// The chooser is asked at each choice, before the display; a chooser that
// declines leaves the choice to the framework.
TEST_F(DriverChoice, TheHostsChooserIsAskedAtEachChoiceAndMayDecline) {
    int asked = 0;
    bool decline = false;
    qel::framework::SetModalDriverChooser([&]() -> std::unique_ptr<CModalDriver> {
        ++asked;
        if (decline) return nullptr;
        return qel::framework::CreateScriptDriver(
            qel::framework::ParseDialogScript("dialog 60\ntext 601 from script\nok\n"));
    });
    EXPECT_STREQ(AfxGetModalDriver().Name(), "script");
    CRefusingDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_str, u"from script");
    EXPECT_EQ(AfxMessageBox(u"note"), IDOK);
    EXPECT_EQ(lines, (std::vector<std::string>{"host: message: note"}));
    EXPECT_EQ(asked, 1);
    decline = true;
    AfxResetModalDriver();
    EXPECT_STREQ(AfxGetModalDriver().Name(), "headless");
    EXPECT_EQ(asked, 2);
}

TEST_F(DriverChoice, ADisplayThatCannotBeOpenedFallsBackToNoDisplay) {
    // No X server has this display (xvfb-run takes :99 and up, so :99 may be
    // live while the GUI tests run); with libqelfw_wx.so beside the test's
    // libqelfw.so the back end answers no driver, without it nothing loads.
    ::setenv("DISPLAY", ":65001", 1);
    EXPECT_STREQ(AfxGetModalDriver().Name(), "headless");
}

TEST_F(DriverChoice, AnInstalledDriverWinsAndResetKeepsIt) {
    auto mine = qel::framework::CreateNoDisplayDriver();
    qel::framework::SetModalDriverChooser([] { return qel::framework::CreateScriptDriverFromFile("/nonexistent"); });
    AfxSetModalDriver(mine.get());
    AfxResetModalDriver();
    EXPECT_EQ(&AfxGetModalDriver(), mine.get());
    EXPECT_EQ(AfxSetModalDriver(nullptr), mine.get());
    EXPECT_TRUE(lines.empty());
}

}  // namespace
