// The GUI back end's driver: the factory and its version check, the
// framework's own choice of the back end when a display is set, message
// boxes (icon, buttons, answers) and the file chooser's refusals.
#include <gtest/gtest.h>

#include <memory>

#include "framework/filedialog.h"
#include "tests/framework/wx/gui_testing.h"

namespace {

using qel::test::gui::GuiTest;

TEST_F(GuiTest, FactoryRefusesAnotherInterfaceVersion) {
    EXPECT_EQ(QelCreateGuiModalDriver(QEL_MODAL_DRIVER_INTERFACE_VERSION + 1), nullptr);
    std::unique_ptr<CModalDriver> driver(QelCreateGuiModalDriver(QEL_MODAL_DRIVER_INTERFACE_VERSION));
    ASSERT_TRUE(driver);
    EXPECT_STREQ(driver->Name(), "gui");
}

TEST_F(GuiTest, FrameworkLoadsTheBackEndBesideItselfWhenADisplayIsSet) {
    CModalDriver* installed = AfxSetModalDriver(nullptr);
    AfxResetModalDriver();
    EXPECT_STREQ(AfxGetModalDriver().Name(), "gui");
    AfxResetModalDriver();
    AfxSetModalDriver(installed);
}

struct MessageCase {
    UINT style;
    long icon;     // the wx icon flag expected
    long buttons;  // the wx button flags expected
    int wxAnswer;  // the button the user presses
    int answer;    // what MessageBox answers
};

TEST_F(GuiTest, MessageBoxIconsButtonsAndAnswers) {
    const MessageCase cases[] = {
        {MB_OK | MB_ICONSTOP, wxICON_ERROR, wxOK, wxID_OK, IDOK},
        {MB_OKCANCEL | MB_ICONQUESTION, wxICON_QUESTION, wxOK | wxCANCEL, wxID_CANCEL, IDCANCEL},
        {MB_YESNO | MB_ICONWARNING, wxICON_WARNING, wxYES_NO, wxID_NO, IDNO},
        {3 | MB_ICONINFORMATION, wxICON_INFORMATION, wxYES_NO | wxCANCEL, wxID_YES, IDYES},  // MB_YESNOCANCEL
        {5, wxICON_NONE, wxOK | wxCANCEL, wxID_OK, IDRETRY},                                 // MB_RETRYCANCEL
    };
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "style 0x" << std::hex << c.style);
        Script().ExpectMessageBox([&](wxMessageDialog& box) {
            const long style = box.GetMessageDialogStyle();
            EXPECT_EQ(style & wxICON_MASK, c.icon);
            EXPECT_EQ(style & (wxOK | wxCANCEL | wxYES_NO), c.buttons);
            EXPECT_EQ(box.GetMessage(), wxString::FromUTF8("一行目\n二行目"));
            return c.wxAnswer;
        });
        EXPECT_EQ(AfxGetModalDriver().MessageBox(nullptr, u"一行目\r\n二行目", c.style), c.answer);
        Script().VerifyAndClear();
    }
}

TEST_F(GuiTest, SaveDialogBecomesAToolkitSaveChooserAndCancelAnswersCancel) {
    CFileDialog dlg(FALSE, u"tpj", u"toruca.tpj", OFN_OVERWRITEPROMPT, u"Projects|*.tpj|All files|*.*||");
    dlg.m_strInitialDir = wdir();
    Script().ExpectFileDialog([&](wxFileDialog& chooser) {
        EXPECT_EQ(chooser.GetDirectory(), qel::framework::wx::WxString(wdir()));
        EXPECT_EQ(chooser.GetFilename(), "toruca.tpj");
        EXPECT_EQ(chooser.GetMessage(), "Save As");  // the chooser's title
        EXPECT_EQ(chooser.GetWildcard(), "Projects|*.tpj|All files|*");
        EXPECT_TRUE(chooser.GetWindowStyle() & wxFD_SAVE);
        EXPECT_TRUE(chooser.GetWindowStyle() & wxFD_OVERWRITE_PROMPT);
        return wxID_CANCEL;
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.GetPathName(), u"");
}

}  // namespace
