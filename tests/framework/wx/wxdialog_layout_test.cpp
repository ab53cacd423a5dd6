// The GUI back end's windows as laid out from the four dialog templates of
// dialogs/qeltoruca.rc: the font and its base units, the client size, every
// control's kind, position and size, tab order, and a screenshot of each
// (build/screenshots/).
#include <gtest/gtest.h>

#include "framework/dialog.h"
#include "tests/framework/wx/gtk_probe.h"
#include "tests/framework/wx/gui_testing.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/listbox.h>
#include <wx/radiobut.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace {

using qel::test::gui::GuiTest;

// The templates' font ("ＭＳ Ｐゴシック" 9 pt, shown in IPAPGothic) at 96 dpi.
constexpr int kBaseX = 7, kBaseY = 13;

// A template's dialog units in pixels, as ConvertDialogToPixels maps them:
// each coordinate and extent on its own, rounded as MulDiv.
wxPoint Px(int x, int y) { return wxPoint(MulDiv(x, kBaseX, 4), MulDiv(y, kBaseY, 8)); }
wxSize PxSize(int cx, int cy) { return wxSize(MulDiv(cx, kBaseX, 4), MulDiv(cy, kBaseY, 8)); }

const char* KindClass(QelControlKind kind) {
    using K = QelControlKind;
    switch (kind) {
        case K::staticText:
        case K::other: return "wxStaticText";
        case K::groupBox: return "wxStaticBox";
        case K::pushButton:
        case K::defPushButton: return "wxButton";
        case K::autoRadioButton:
        case K::radioButton: return "wxRadioButton";
        case K::checkBox:
        case K::autoCheckBox: return "wxCheckBox";
        case K::edit: return "wxTextCtrl";
        case K::comboBox: return "wxChoice";
        case K::listBox: return "wxListBox";
        default: return "wxWindow";
    }
}

TEST_F(GuiTest, TemplateFontIsIpaPGothicWithBaseUnits7x13) {
    EXPECT_EQ(qel::test::gui::MatchedFamily("ＭＳ Ｐゴシック"), "IPAPGothic");
    EXPECT_EQ(qel::test::gui::MatchedFamily("MS PGothic"), "IPAPGothic");
    CDialogTemplate tpl;
    tpl.font.face = u"ＭＳ Ｐゴシック";
    tpl.font.pointSize = 9;
    tpl.font.weight = 400;
    const wxSize units = qel::framework::wx::WxBaseUnits(qel::framework::wx::WxTemplateFont(tpl));
    EXPECT_EQ(units, wxSize(kBaseX, kBaseY));
    EXPECT_EQ(AfxGetModalDriver().GetDialogBaseUnits(tpl), (CSize{kBaseX, kBaseY}));
}

// Opens template `id` as a plain dialog and checks its window against the
// template; saves a screenshot.
void CheckLayout(qel::test::gui::ModalScript& script, int id, const char* shot) {
    script.ExpectDialog(id, [&](QelWxDialog& w) {
        CDialog& dlg = w.Dialog();
        const CDialogTemplate& tpl = *dlg.GetTemplate();
        EXPECT_EQ(dlg.GetBaseUnits(), (CSize{kBaseX, kBaseY}));
        EXPECT_EQ(w.ConvertDialogToPixels(wxSize(4, 8)), wxSize(kBaseX, kBaseY));
        EXPECT_EQ(w.GetClientSize(), PxSize(tpl.cx, tpl.cy));
        EXPECT_EQ(w.GetTitle(), qel::framework::wx::WxString(tpl.caption));

        const auto& controls = dlg.GetControls();
        ASSERT_EQ(controls.size(), tpl.items.size());
        wxWindow* previous = nullptr;
        for (std::size_t i = 0; i < controls.size(); ++i) {
            const CDialogItemTemplate& it = tpl.items[i];
            SCOPED_TRACE(testing::Message()
                         << "control " << i << " id " << it.id << " " << qel::framework::ControlKindName(it.kind));
            wxWindow* c = w.ControlWindow(static_cast<int>(i));
            ASSERT_NE(c, nullptr);
            EXPECT_TRUE(c->IsKindOf(wxClassInfo::FindClass(KindClass(it.kind)))) << c->GetClassInfo()->GetClassName();
            EXPECT_EQ(c->GetPosition(), Px(it.x, it.y));
            wxSize want = PxSize(it.cx, it.cy);
            if (it.kind == QelControlKind::comboBox) want.y = MulDiv(12, kBaseY, 8);  // closed: one line
            EXPECT_EQ(c->GetSize(), want);
            if (c->IsShown()) {
                // GTK gives the widget the whole rectangle and asks for no more.
                const qel::test::gui::GtkBox box = qel::test::gui::AllocationOf(c->GetHandle());
                EXPECT_EQ(wxSize(box.width, box.height), want);
                EXPECT_LE(qel::test::gui::MinimumHeightOf(c->GetHandle()), want.y);
                EXPECT_LE(qel::test::gui::MinimumWidthOf(c->GetHandle()), want.x);
            }
            if (it.id > 0 && it.id < 32767) {
                EXPECT_EQ(c->GetId(), it.id);
            }
            // Tab order: the widgets are children of the dialog in template order.
            EXPECT_EQ(c->GetParent(), &w);
            if (previous) {
                EXPECT_GT(w.GetChildren().IndexOf(c), w.GetChildren().IndexOf(previous));
            }
            previous = c;
            if (it.kind == QelControlKind::defPushButton) {
                EXPECT_EQ(w.GetDefaultItem(), c);
            }
            if (it.id == ID_HELP) {
                EXPECT_FALSE(c->IsShown());  // no handler: hidden by the framework
            }
        }
        // The focus where the framework placed it (the first tab stop).
        ASSERT_NE(dlg.GetFocus(), nullptr);
        EXPECT_EQ(wxWindow::FindFocus(), w.ControlWindow(dlg.GetControlIndex(*dlg.GetFocus())));
        qel::test::gui::Screenshot(w, shot);
        qel::test::gui::Key(WXK_ESCAPE);
        qel::test::gui::WaitForEnd(w);
    });
    CDialog dlg(static_cast<UINT>(id));
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST_F(GuiTest, SettingsTemplateLayout) { CheckLayout(Script(), 13650, "13650_settings"); }
TEST_F(GuiTest, OutputMethodTemplateLayout) { CheckLayout(Script(), 13651, "13651_output_method"); }
TEST_F(GuiTest, IconSelectionTemplateLayout) { CheckLayout(Script(), 13652, "13652_icon_selection"); }
TEST_F(GuiTest, UniqueIconTemplateLayout) { CheckLayout(Script(), 13653, "13653_unique_icon"); }

}  // namespace
