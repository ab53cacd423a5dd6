// The module's four dialogs in real windows, each opened, checked against
// its template's layout, driven with real input and screenshot
// (build/screenshots/module_*.png).
#include <gtest/gtest.h>

#include "dialogs/categorydlg.h"
#include "dialogs/outputtypedlg.h"
#include "dialogs/setdlg.h"
#include "dialogs/uniqicondlg.h"
#include "dialogs/module_resources.h"
#include "tests/framework/wx/gui_testing.h"

#include <wx/choice.h>
#include <wx/listbox.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>

namespace {

class ModuleDialogsGuiTest : public qel::test::gui::GuiTest {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(qel::dialogs::RegisterModuleResources()); }
};

// Every control of the window at its template rectangle (base units 7 x 13;
// combo boxes one line high).
void ExpectTemplateLayout(QelWxDialog& w) {
    const CDialogTemplate& tpl = *w.Dialog().GetTemplate();
    EXPECT_EQ(w.GetClientSize(), wxSize(MulDiv(tpl.cx, 7, 4), MulDiv(tpl.cy, 13, 8)));
    for (std::size_t i = 0; i < tpl.items.size(); ++i) {
        const CDialogItemTemplate& it = tpl.items[i];
        wxWindow* c = w.ControlWindow(static_cast<int>(i));
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->GetPosition(), wxPoint(MulDiv(it.x, 7, 4), MulDiv(it.y, 13, 8))) << "control " << i;
        const int height = it.kind == QelControlKind::comboBox ? MulDiv(12, 13, 8) : MulDiv(it.cy, 13, 8);
        EXPECT_EQ(c->GetSize(), wxSize(MulDiv(it.cx, 7, 4), height)) << "control " << i;
    }
}

wxTextCtrl& Text(QelWxDialog& w, int id) { return *static_cast<wxTextCtrl*>(qel::test::gui::ControlWindowById(w, id)); }

TEST_F(ModuleDialogsGuiTest, OutputTypeDialogTakesTheClickedRadio) {
    CQelTorucaOutputTypeDlg dlg(1, nullptr);
    Script().ExpectDialog(13651, [&](QelWxDialog& w) {
        ExpectTemplateLayout(w);
        EXPECT_TRUE(static_cast<wxRadioButton*>(qel::test::gui::ControlWindowById(w, 20000))->GetValue());
        qel::test::gui::Click(*qel::test::gui::ControlWindowById(w, 20002));
        qel::test::gui::Screenshot(w, "module_13651_output_type");
        qel::test::gui::Key(WXK_RETURN);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_nOutput, 4);
}

TEST_F(ModuleDialogsGuiTest, CategoryDialogShowsTheGenreAndCodeAndNoIconReturnsZero) {
    CQelTorucaCategoryDlg dlg(100, nullptr);
    Script().ExpectDialog(13652, [&](QelWxDialog& w) {
        ExpectTemplateLayout(w);
        auto& genre = *static_cast<wxChoice*>(qel::test::gui::ControlWindowById(w, 20024));
        auto& codes = *static_cast<wxListBox*>(qel::test::gui::ControlWindowById(w, 20025));
        EXPECT_EQ(genre.GetCount(), 11u);
        EXPECT_EQ(genre.GetSelection(), dlg.m_cmbGenre.GetCurSel());
        EXPECT_GT(codes.GetCount(), 0u);
        EXPECT_EQ(codes.GetSelection(), dlg.m_lstIcon.GetCurSel());
        EXPECT_GE(codes.GetSelection(), 0);
        qel::test::gui::Screenshot(w, "module_13652_category");
        qel::test::gui::Click(*qel::test::gui::ControlWindowById(w, 20023));
        EXPECT_FALSE(codes.IsEnabled());
        qel::test::gui::Key(WXK_RETURN);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.GetCategory(), 0);
}

TEST_F(ModuleDialogsGuiTest, UniqueIconDialogRefusesAMissingFile) {
    CQelTorucaUniqIconDlg dlg(nullptr);
    dlg.m_strTitle = u"題名";
    Script().ExpectDialog(13653, [&](QelWxDialog& w) {
        ExpectTemplateLayout(w);
        EXPECT_EQ(Text(w, 20020).GetValue(), qel::framework::wx::WxString(u"題名"));
        qel::test::gui::Click(Text(w, 20021));
        qel::test::gui::Type("/no/such/icon.png");
        Script().ExpectMessageBox([](wxMessageDialog& box) {
            EXPECT_EQ(box.GetMessage(), qel::framework::wx::WxString(u"ファイルがありません。"));
            EXPECT_TRUE(box.GetMessageDialogStyle() & wxICON_ERROR);
            return wxID_OK;
        });
        qel::test::gui::Key(WXK_RETURN);
        EXPECT_FALSE(dlg.IsEnded());
        EXPECT_EQ(wxWindow::FindFocus(), &Text(w, 20021));
        qel::test::gui::Screenshot(w, "module_13653_unique_icon");
        qel::test::gui::Key(WXK_ESCAPE);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST_F(ModuleDialogsGuiTest, SettingsDialogChecksTheUrlAndTakesData2LineBreaks) {
    CQelTorucaSetDlg dlg(nullptr);
    dlg.m_strVersion = u"2.0";
    Script().ExpectDialog(13650, [&](QelWxDialog& w) {
        ExpectTemplateLayout(w);
        EXPECT_EQ(static_cast<wxChoice*>(qel::test::gui::ControlWindowById(w, 20003))->GetStringSelection(), "2.0");
        EXPECT_FALSE(Text(w, 20031).GetValue().empty());
        qel::test::gui::Click(Text(w, 20004));
        qel::test::gui::Type("https://example.com/");
        Script().ExpectMessageBox([](wxMessageDialog& box) {
            EXPECT_EQ(box.GetMessage(), qel::framework::wx::WxString(u"URLは「http://」で始まる半角英数字記号です。"));
            EXPECT_TRUE(box.GetMessageDialogStyle() & wxICON_ERROR);
            return wxID_OK;
        });
        qel::test::gui::Key(WXK_RETURN);
        ASSERT_FALSE(dlg.IsEnded());
        EXPECT_EQ(wxWindow::FindFocus(), &Text(w, 20004));
        qel::test::gui::Type("http://example.com/");
        qel::test::gui::Click(Text(w, 20006));
        qel::test::gui::Type("a");
        qel::test::gui::Key(WXK_RETURN, wxMOD_CONTROL);
        qel::test::gui::Type("b");
        qel::test::gui::Screenshot(w, "module_13650_settings");
        qel::test::gui::Key(WXK_RETURN);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strUrl, u"http://example.com/");
    EXPECT_EQ(dlg.m_strData2, u"a\r\nb");
    EXPECT_EQ(dlg.m_strVersion, u"2.0");
}

}  // namespace
