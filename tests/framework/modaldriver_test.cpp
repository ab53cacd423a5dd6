// The choice of the modal driver from the environment, and the no-display
// driver: each dialog accepted as initialised with a notice, message boxes
// printed and answered, the file dialog cancelled.
#include "framework/modaldriver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "framework/dialog.h"
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

// Saves and restores the variables the choice reads; forgets the choice.
class DriverChoice : public qeltest::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        for (const char* name : {"QELHOST_SCRIPT", "DISPLAY", "WAYLAND_DISPLAY"}) {
            const char* v = std::getenv(name);
            m_saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
            ::unsetenv(name);
        }
        m_previous = AfxSetModalDriver(nullptr);
        AfxResetModalDriver();
        m_sink = QelSetDiagnosticSink([this](std::string_view l) { lines.emplace_back(l); });
    }
    void TearDown() override {
        QelSetDiagnosticSink(std::move(m_sink));
        AfxResetModalDriver();
        AfxSetModalDriver(m_previous);
        for (auto& [name, value] : m_saved) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
        TempDirTest::TearDown();
    }

    std::vector<std::string> lines;
    qeltest::ScopedResourceScript m_rc{"modaldriver_test", kScript};

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
    CModalDriver* m_previous = nullptr;
    QelDiagnosticSink m_sink;
};

TEST_F(DriverChoice, WithoutScriptOrDisplayDialogsAreAcceptedAsShown) {
    EXPECT_STREQ(AfxGetModalDriver().Name(), "headless");
    CRefusingDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_str, u"initial");
    EXPECT_EQ(lines, (std::vector<std::string>{"qelhost: no display: dialog 60 accepted as shown"}));
}

TEST_F(DriverChoice, ADialogThatRefusesOkIsCancelledAndItsMessagePrinted) {
    CRefusingDlg dlg;
    dlg.refuse = true;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "qelhost: no display: dialog 60 accepted as shown",
                         "qelhost: message: first line\\nsecond",
                         "qelhost: no display: dialog 60 stayed open after OK; cancelled",
                     }));
}

TEST_F(DriverChoice, TheFileDialogIsCancelledWithoutADisplay) {
    CFileDialog fd(TRUE);
    EXPECT_EQ(fd.DoModal(), IDCANCEL);
    EXPECT_TRUE(fd.GetPathName().empty());
    EXPECT_EQ(lines, (std::vector<std::string>{"qelhost: no display: file dialog cancelled"}));
}

TEST_F(DriverChoice, AScriptInTheEnvironmentIsReadOnceAndDrives) {
    const std::u16string script = WriteFile("script.txt", "dialog 60\ntext 601 from script\nok\n");
    ::setenv("QELHOST_SCRIPT", path("script.txt").c_str(), 1);
    EXPECT_STREQ(AfxGetModalDriver().Name(), "script");
    CRefusingDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_str, u"from script");
    EXPECT_EQ(AfxMessageBox(u"note"), IDOK);
    EXPECT_EQ(lines, (std::vector<std::string>{"qelhost: message: note"}));
}

TEST_F(DriverChoice, ADisplayThatCannotBeOpenedFallsBackToNoDisplay) {
    // No X server has this display (xvfb-run takes :99 and up, so :99 may be
    // live while the GUI tests run); with libqelfw_wx.so beside the test's
    // libqelfw.so the back end answers no driver, without it nothing loads.
    ::setenv("DISPLAY", ":65001", 1);
    EXPECT_STREQ(AfxGetModalDriver().Name(), "headless");
}

TEST_F(DriverChoice, AnInstalledDriverWinsAndResetKeepsIt) {
    auto mine = QelCreateNoDisplayDriver();
    ::setenv("QELHOST_SCRIPT", "/nonexistent", 1);
    AfxSetModalDriver(mine.get());
    AfxResetModalDriver();
    EXPECT_EQ(&AfxGetModalDriver(), mine.get());
    EXPECT_EQ(AfxSetModalDriver(nullptr), mine.get());
    EXPECT_TRUE(lines.empty());
}

}  // namespace
