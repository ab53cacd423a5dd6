// The module's four dialogs and the export's two message boxes as a person
// sees them: no text clipped by its control, every fixed-width value whole
// in its edit, the default button marked, the stop icon shown. Each is
// saved in build/screenshots/ (shot_*.png; shot_*@2x.png when the tests
// run again with GDK_SCALE=2).
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dialogs/categorydlg.h"
#include "dialogs/outputtypedlg.h"
#include "dialogs/setdlg.h"
#include "dialogs/uniqicondlg.h"
#include "dialogs/module_resources.h"
#include "tests/framework/wx/gtk_probe.h"
#include "tests/framework/wx/gui_testing.h"

#include <wx/button.h>

namespace {

class DialogScreenshotsGuiTest : public qel::test::gui::GuiTest {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(qel::dialogs::RegisterModuleResources()); }
};

// Every label of the dialog (static texts, group boxes, buttons, radio
// buttons) fits its control; the template's default push button is the
// window's default as GTK marks it. Edits are checked by their values.
void ExpectLabelsWholeAndDefaultMarked(QelWxDialog& w) {
    const auto& controls = w.Dialog().GetControls();
    int defaults = 0;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const QelControlKind kind = controls[i]->GetControlKind();
        wxWindow* c = w.ControlWindow(static_cast<int>(i));
        ASSERT_NE(c, nullptr);
        if (kind == QelControlKind::edit || !c->IsShown()) continue;
        EXPECT_EQ(qel::test::gui::ClippedText(c->GetHandle()), "")
            << "control " << i << " id " << controls[i]->GetDlgCtrlID();
        if (kind == QelControlKind::defPushButton) {
            ++defaults;
            EXPECT_TRUE(qel::test::gui::IsDefaultButton(c->GetHandle())) << "control " << i;
        } else if (kind == QelControlKind::pushButton) {
            EXPECT_FALSE(qel::test::gui::IsDefaultButton(c->GetHandle())) << "control " << i;
        }
    }
    EXPECT_EQ(defaults, 1);
}

TEST_F(DialogScreenshotsGuiTest, SettingsDialogShowsFixedWidthValuesWhole) {
    CQelTorucaSetDlg dlg(nullptr);
    dlg.m_strVersion = u"2.1";
    dlg.m_strUrl = u"http://example.com/toruca/detail.trc";
    dlg.m_strData1 = u"data1";
    dlg.m_strData2 = u"data2";
    dlg.m_strData3 = u"data3";
    dlg.m_strIpId = u"9999";
    dlg.m_strSortId = u"ワン";
    dlg.m_strExpires = u"101231";
    dlg.m_strLastModified = u"0808071904";
    dlg.m_nDistIndex = 3;
    dlg.m_nColorIndex = 1;
    Script().ExpectDialog(13650, [&](QelWxDialog& w) {
        ExpectLabelsWholeAndDefaultMarked(w);
        qel::test::gui::Screenshot(w, "shot_13650_settings");
        // The edits whose values have a fixed number of digits, each with
        // its widest values: the last-modified stamp (yymmddHHMM), the
        // expiry date (yymmdd) and the IP-ID.
        const std::vector<std::pair<int, std::u16string>> values = {
            {20012, u"0808071904"}, {20012, u"9912312359"}, {20012, u"0000000000"},
            {20010, u"101231"},     {20010, u"991231"},     {20008, u"9999"},
        };
        for (const auto& [id, value] : values) {
            w.Dialog().GetDlgItem(id)->SetWindowText(value);
            w.Flush();
            qel::test::gui::Settle(50);
            EXPECT_EQ(qel::test::gui::ClippedText(qel::test::gui::ControlWindowById(w, id)->GetHandle()), "")
                << "edit " << id;
        }
        qel::test::gui::Key(WXK_ESCAPE);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST_F(DialogScreenshotsGuiTest, OutputMethodIconAndUniqueIconDialogs) {
    CQelTorucaOutputTypeDlg output(2, nullptr);
    Script().ExpectDialog(13651, [&](QelWxDialog& w) {
        ExpectLabelsWholeAndDefaultMarked(w);
        qel::test::gui::Screenshot(w, "shot_13651_output_method");
        // A label longer than its rectangle is caught.
        CWnd& hint = *w.Dialog().GetControls()[1];
        hint.SetWindowText(u"出力方法を指定します。出力方法を指定します。");
        w.Flush();
        qel::test::gui::Settle(50);
        EXPECT_NE(qel::test::gui::ClippedText(w.ControlWindow(1)->GetHandle()), "");
        qel::test::gui::Key(WXK_ESCAPE);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(output.DoModal(), IDCANCEL);

    CQelTorucaCategoryDlg category(100, nullptr);
    Script().ExpectDialog(13652, [&](QelWxDialog& w) {
        ExpectLabelsWholeAndDefaultMarked(w);
        qel::test::gui::Screenshot(w, "shot_13652_icon_selection");
        qel::test::gui::Key(WXK_ESCAPE);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(category.DoModal(), IDCANCEL);

    CQelTorucaUniqIconDlg unique(nullptr);
    unique.m_strTitle = u"独自アイコン";
    unique.m_strFile = u"/tmp/icon.gif";
    Script().ExpectDialog(13653, [&](QelWxDialog& w) {
        ExpectLabelsWholeAndDefaultMarked(w);
        qel::test::gui::Screenshot(w, "shot_13653_unique_icon");
        qel::test::gui::Key(WXK_ESCAPE);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(unique.DoModal(), IDCANCEL);
}

// The export's two failures, each in a stop-icon box (style 0x10) shown
// for real and closed with Enter, which presses its default button.
TEST_F(DialogScreenshotsGuiTest, ExportMessageBoxesShowTheStopIconAndADefaultOk) {
    const std::pair<std::u16string, const char*> messages[] = {
        {u"tpjファイルの作成に失敗しました。", "shot_message_tpj"},
        {u"ファイル(toruca_detail.trc)の作成に失敗しました。", "shot_message_detail"},
    };
    for (const auto& [text, shot] : messages) {
        SCOPED_TRACE(shot);
        bool shown = false;
        Script().ExpectMessageBox(
            [](wxMessageDialog&) { return wxID_NONE; },
            [&, shot = shot](wxMessageDialog& box) {
                shown = true;
                GtkWidget* widget = box.GetHandle();
                EXPECT_EQ(qel::test::gui::MessageIconName(widget), "dialog-error");
                EXPECT_TRUE(qel::test::gui::IsDefaultButton(qel::test::gui::DialogButton(widget, wxID_OK)));
                EXPECT_EQ(qel::test::gui::ClippedText(widget), "");
                qel::test::gui::Screenshot(box, shot);
                qel::test::gui::Key(WXK_RETURN);
            });
        EXPECT_EQ(AfxGetModalDriver().MessageBox(nullptr, text, MB_OK | MB_ICONSTOP), IDOK);
        EXPECT_TRUE(shown);
        Script().VerifyAndClear();
    }
}

// The second button as the default (MB_DEFBUTTON2): Enter answers No.
TEST_F(DialogScreenshotsGuiTest, MessageBoxDefaultButtonFollowsTheStyle) {
    Script().ExpectMessageBox(
        [](wxMessageDialog&) { return wxID_NONE; },
        [](wxMessageDialog& box) {
            GtkWidget* widget = box.GetHandle();
            EXPECT_EQ(qel::test::gui::MessageIconName(widget), "dialog-question");
            EXPECT_TRUE(qel::test::gui::IsDefaultButton(qel::test::gui::DialogButton(widget, wxID_NO)));
            EXPECT_FALSE(qel::test::gui::IsDefaultButton(qel::test::gui::DialogButton(widget, wxID_YES)));
            qel::test::gui::Key(WXK_RETURN);
        });
    EXPECT_EQ(AfxGetModalDriver().MessageBox(nullptr, u"上書きしますか?", MB_YESNO | MB_ICONQUESTION | 0x100), IDNO);
}

}  // namespace
