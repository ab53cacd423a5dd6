// The GUI back end driven with real input events (mouse and keyboard through
// the X server) on dialogs built from the four templates of
// dialogs/qeltoruca.rc, with handlers of their own: radio groups and the
// default button, typing into edits, Enter and Ctrl+Enter in the multi-line
// edit, the message box of a refused value with the focus moved back, a
// nested dialog with the file chooser, enabling from a handler, list and
// combo selection, Esc, and the widgets following the framework's changes.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "framework/dialog.h"
#include "framework/codepage.h"
#include "framework/filedialog.h"
#include "framework/strings.h"
#include "framework/useraction.h"
#include "tests/framework/wx/gui_testing.h"

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/listbox.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

namespace {

using qel::test::gui::GuiTest;

CButton& Button(CDialog& dlg, int id) { return *dynamic_cast<CButton*>(dlg.GetDlgItem(id)); }

// --- Output method (13651): three auto radio buttons in one group.
class COutputDlg : public CDialog {
public:
    explicit COutputDlg(int choice) : CDialog(13651), m_nChoice(choice) {}
    int m_nChoice;
    int clicks = 0;

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        Button(*this, 20000 + m_nChoice).SetCheck(BST_CHECKED);
        return TRUE;
    }
    void OnOK() override {
        for (int i = 0; i < 3; ++i)
            if (Button(*this, 20000 + i).GetCheck() == BST_CHECKED) m_nChoice = i;
        CDialog::OnOK();
    }
    void OnRadio() { ++clicks; }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(COutputDlg, CDialog)
ON_BN_CLICKED(20000, &COutputDlg::OnRadio)
ON_BN_CLICKED(20001, &COutputDlg::OnRadio)
ON_BN_CLICKED(20002, &COutputDlg::OnRadio)
END_MESSAGE_MAP()

wxRadioButton& Radio(QelWxDialog& w, int id) {
    return *static_cast<wxRadioButton*>(qel::test::gui::ControlWindowById(w, id));
}
wxTextCtrl& Text(QelWxDialog& w, int id) { return *static_cast<wxTextCtrl*>(qel::test::gui::ControlWindowById(w, id)); }

TEST_F(GuiTest, RadioClickedWithTheMouseAndEnterPressesOk) {
    COutputDlg dlg(0);
    Script().ExpectDialog(13651, [&](QelWxDialog& w) {
        EXPECT_TRUE(Radio(w, 20000).GetValue());
        qel::test::gui::Click(Radio(w, 20002));
        EXPECT_EQ(dlg.clicks, 1);
        EXPECT_EQ(Button(dlg, 20002).GetCheck(), BST_CHECKED);
        EXPECT_EQ(Button(dlg, 20000).GetCheck(), BST_UNCHECKED);
        EXPECT_TRUE(Radio(w, 20002).GetValue());
        EXPECT_EQ(dlg.GetFocus(), dlg.GetDlgItem(20002));
        qel::test::gui::Key(WXK_RETURN);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_nChoice, 2);
}

TEST_F(GuiTest, MnemonicClicksTheRadioButtonAndEscCancels) {
    COutputDlg dlg(2);
    Script().ExpectDialog(13651, [&](QelWxDialog& w) {
        qel::test::gui::ClickAt(w, wxPoint(2, 2));  // the pointer over the window: it has the keyboard
        qel::test::gui::Key('D', wxMOD_ALT);        // "トルカ(詳細)ファイルを作成する(&D)"
        EXPECT_EQ(Button(dlg, 20001).GetCheck(), BST_CHECKED);
        EXPECT_EQ(Button(dlg, 20002).GetCheck(), BST_UNCHECKED);
        EXPECT_TRUE(Radio(w, 20001).GetValue());
        qel::test::gui::Key(WXK_ESCAPE);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.clicks, 1);
    EXPECT_EQ(dlg.m_nChoice, 2);
}

// --- Unique category icon (13653): a file edit with a browse button, a
// title edit; OK insists that a named file exists.
class CUniqDlg : public CDialog {
public:
    explicit CUniqDlg(CWnd* parent = nullptr) : CDialog(13653, parent) {}
    std::u16string m_strFile, m_strTitle, m_strFolder;

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Text(pDX, 20021, m_strFile);
        DDX_Text(pDX, 20020, m_strTitle);
    }
    void OnFileRef() {
        UpdateData(TRUE);
        CFileDialog fd(TRUE, nullptr, nullptr, 0x801800, u"Images|*.gif;*.png|All|*.*||", this);
        fd.m_strInitialDir = m_strFolder;
        if (fd.DoModal() == IDOK) m_strFile = fd.GetPathName();
        UpdateData(FALSE);
    }
    void OnOK() override {
        UpdateData(TRUE);
        if (!m_strFile.empty() && !std::filesystem::is_regular_file(qel::framework::PathToNative(m_strFile))) {
            AfxMessageBox(u"ファイルがありません。", MB_OK | MB_ICONSTOP);
            GotoDlgCtrl(GetDlgItem(20021));
            return;
        }
        CDialog::OnOK();
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CUniqDlg, CDialog)
ON_BN_CLICKED(20016, &CUniqDlg::OnFileRef)
END_MESSAGE_MAP()

// --- Settings (13650): the version combo with its description, the URL
// check, the multi-line Data2 edit, the nested unique icon dialog.
class CSettingsDlg : public CDialog {
public:
    CSettingsDlg() : CDialog(13650) {}
    std::u16string m_strVersion = u"1.0", m_strUrl, m_strData2, m_strUniqTitle, m_strUniqFile, m_strFolder;
    CComboBox m_cmbVersion;
    int urlChanges = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, 20003, m_cmbVersion);
        DDX_CBString(pDX, 20003, m_strVersion);
        DDX_Text(pDX, 20004, m_strUrl);
        DDX_Text(pDX, 20018, m_strUniqTitle);
        DDX_Text(pDX, 20006, m_strData2);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        for (const char16_t* v : {u"1.0", u"1.1", u"2.0", u"2.1"}) m_cmbVersion.AddString(v);
        UpdateData(FALSE);
        OnVersion();
        return TRUE;
    }
    void OnVersion() {
        const int sel = m_cmbVersion.GetCurSel();
        GetDlgItem(20031)->SetWindowText(sel < 0 ? u"" : u"バージョン " + m_cmbVersion.GetLBText(sel) + u" の説明");
    }
    void OnUrlChange() { ++urlChanges; }
    void OnUniqRef() {
        UpdateData(TRUE);
        CUniqDlg inner(this);
        inner.m_strFile = m_strUniqFile;
        inner.m_strTitle = m_strUniqTitle;
        inner.m_strFolder = m_strFolder;
        if (inner.DoModal() == IDOK) {
            m_strUniqFile = inner.m_strFile;
            m_strUniqTitle = inner.m_strTitle;
        }
        UpdateData(FALSE);
    }
    void OnOK() override {
        UpdateData(TRUE);
        if (!m_strUrl.empty() && !qel::framework::StartsWithNoCase(m_strUrl, u"http://")) {
            AfxMessageBox(u"URLは「http://」で始まる半角英数字記号です。", MB_ICONSTOP);
            GotoDlgCtrl(GetDlgItem(20004));
            return;
        }
        CDialog::OnOK();
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CSettingsDlg, CDialog)
ON_CBN_SELCHANGE(20003, &CSettingsDlg::OnVersion)
ON_EN_CHANGE(20004, &CSettingsDlg::OnUrlChange)
ON_BN_CLICKED(20016, &CSettingsDlg::OnUniqRef)
END_MESSAGE_MAP()

TEST_F(GuiTest, RefusedUrlShowsStopMessageAndSelectsTheUrlForRetyping) {
    CSettingsDlg dlg;
    Script().ExpectDialog(13650, [&](QelWxDialog& w) {
        wxTextCtrl& url = Text(w, 20004);
        qel::test::gui::Click(url);
        EXPECT_EQ(dlg.GetFocus(), dlg.GetDlgItem(20004));
        qel::test::gui::Type("ftp://example.com/");
        EXPECT_EQ(dlg.GetDlgItem(20004)->GetWindowText(), u"ftp://example.com/");
        EXPECT_GT(dlg.urlChanges, 0);
        Script().ExpectMessageBox([](wxMessageDialog& box) {
            EXPECT_EQ(box.GetMessage(), qel::framework::wx::WxString(u"URLは「http://」で始まる半角英数字記号です。"));
            EXPECT_TRUE(box.GetMessageDialogStyle() & wxICON_ERROR);
            EXPECT_TRUE(box.GetMessageDialogStyle() & wxOK);
            return wxID_OK;
        });
        qel::test::gui::Key(WXK_RETURN);
        ASSERT_FALSE(dlg.IsEnded());
        qel::test::gui::Screenshot(w, "13650_settings_after_url_message");
        // The URL edit has the focus again, its text selected.
        EXPECT_EQ(dlg.GetFocus(), dlg.GetDlgItem(20004));
        EXPECT_EQ(wxWindow::FindFocus(), &url);
        long from = -1, to = -1;
        url.GetSelection(&from, &to);
        EXPECT_EQ(from, 0);
        EXPECT_EQ(to, url.GetLastPosition());
        // Typing replaces the selection.
        qel::test::gui::Type("HTTP://example.com/");
        EXPECT_EQ(url.GetValue(), "HTTP://example.com/");
        qel::test::gui::Key(WXK_RETURN);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strUrl, u"HTTP://example.com/");
}

TEST_F(GuiTest, EnterInData2PressesOkAndCtrlEnterTypesALineBreak) {
    CSettingsDlg dlg;
    Script().ExpectDialog(13650, [&](QelWxDialog& w) {
        qel::test::gui::Click(Text(w, 20006));
        qel::test::gui::Type("line1");
        qel::test::gui::Key(WXK_RETURN, wxMOD_CONTROL);
        EXPECT_FALSE(dlg.IsEnded());
        qel::test::gui::Type("line2");
        EXPECT_EQ(dlg.GetDlgItem(20006)->GetWindowText(), u"line1\r\nline2");
        EXPECT_EQ(Text(w, 20006).GetValue(), "line1\nline2");
        qel::test::gui::Key(WXK_RETURN);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strData2, u"line1\r\nline2");
}

TEST_F(GuiTest, LabelMnemonicFocusesTheControlAfterTheLabel) {
    CSettingsDlg dlg;
    Script().ExpectDialog(13650, [&](QelWxDialog& w) {
        qel::test::gui::ClickAt(w, wxPoint(2, 2));
        qel::test::gui::Key('U', wxMOD_ALT);  // "トルカ(詳細)取得先URL(&U) :"
        EXPECT_EQ(dlg.GetFocus(), dlg.GetDlgItem(20004));
        EXPECT_EQ(wxWindow::FindFocus(), &Text(w, 20004));
        qel::test::gui::Key('2', wxMOD_ALT);  // "データ2(&2) :"
        EXPECT_EQ(dlg.GetFocus(), dlg.GetDlgItem(20006));
        EXPECT_EQ(wxWindow::FindFocus(), &Text(w, 20006));
        qel::test::gui::Key(WXK_ESCAPE);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST_F(GuiTest, VersionComboChosenWithTheKeyboardRunsItsHandler) {
    CSettingsDlg dlg;
    dlg.m_strVersion = u"2.0";
    Script().ExpectDialog(13650, [&](QelWxDialog& w) {
        auto& choice = *static_cast<wxChoice*>(qel::test::gui::ControlWindowById(w, 20003));
        EXPECT_EQ(choice.GetCount(), 4u);
        EXPECT_EQ(choice.GetSelection(), 2);
        EXPECT_EQ(Text(w, 20031).GetValue(), qel::framework::wx::WxString(u"バージョン 2.0 の説明"));
        qel::test::gui::ClickAt(w, wxPoint(2, 2));
        choice.SetFocus();
        qel::test::gui::Settle();
        qel::test::gui::Key(WXK_DOWN);
        EXPECT_EQ(dlg.m_cmbVersion.GetCurSel(), 3);
        EXPECT_EQ(Text(w, 20031).GetValue(), qel::framework::wx::WxString(u"バージョン 2.1 の説明"));
        qel::test::gui::Key(WXK_RETURN);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strVersion, u"2.1");
}

TEST_F(GuiTest, NestedDialogWithFileChooserReturnsIntoTheSettings) {
    const std::u16string icon = WriteFile("icon.png", "png");
    CSettingsDlg dlg;
    dlg.m_strFolder = wdir();
    Script().ExpectDialog(13650, [&](QelWxDialog& outer) {
        Script().ExpectDialog(13653, [&](QelWxDialog& inner) {
            EXPECT_EQ(qel::framework::wx::WxActiveDialog(), &inner);
            EXPECT_EQ(inner.GetParent(), &outer);
            EXPECT_TRUE(inner.IsModal());
            // The toolkit's file chooser, in the folder the dialog gave; the
            // file chosen in it and Enter pressed.
            Script().ExpectFileDialog(
                [&](wxFileDialog& chooser) {
                    EXPECT_EQ(chooser.GetDirectory(), qel::framework::wx::WxString(wdir()));
                    EXPECT_EQ(chooser.GetWildcard(), "Images|*.gif;*.png|All|*");
                    chooser.SetPath(qel::framework::wx::WxString(icon));
                    return wxID_NONE;
                },
                [&](wxFileDialog& chooser) {
                    const wxRect r = chooser.GetScreenRect();
                    wxUIActionSimulator().MouseMove(r.GetPosition() + wxSize(r.width / 2, r.height / 2));
                    qel::test::gui::Settle();
                    qel::test::gui::Key(WXK_RETURN);
                    qel::test::gui::WaitFor([&] { return !chooser.IsModal(); });
                });
            qel::test::gui::Click(*qel::test::gui::ControlWindowById(inner, 20016));
            EXPECT_EQ(Text(inner, 20021).GetValue(), qel::framework::wx::WxString(icon));
            qel::test::gui::Click(Text(inner, 20020));
            qel::test::gui::Type("My icon");
            qel::test::gui::Screenshot(inner, "13653_unique_icon_filled");
            qel::test::gui::Key(WXK_RETURN);
            qel::test::gui::WaitForEnd(inner);
        });
        qel::test::gui::Click(*qel::test::gui::ControlWindowById(outer, 20016));
        EXPECT_TRUE(outer.IsEnabled());
        EXPECT_EQ(Text(outer, 20018).GetValue(), "My icon");
        qel::test::gui::Key(WXK_ESCAPE);
        qel::test::gui::WaitForEnd(outer);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.m_strUniqFile, icon);
    EXPECT_EQ(qel::framework::wx::WxActiveDialog(), nullptr);
}

TEST_F(GuiTest, MissingFileRefusedWithMessageAndFocusOnTheFileEdit) {
    CUniqDlg dlg;
    dlg.m_strFile = wpath("missing.png");
    Script().ExpectDialog(13653, [&](QelWxDialog& w) {
        EXPECT_EQ(Text(w, 20021).GetValue(), qel::framework::wx::WxString(dlg.m_strFile));
        Script().ExpectMessageBox([](wxMessageDialog& box) {
            EXPECT_EQ(box.GetMessage(), qel::framework::wx::WxString(u"ファイルがありません。"));
            EXPECT_TRUE(box.GetMessageDialogStyle() & wxICON_ERROR);
            return wxID_OK;
        });
        qel::test::gui::Click(Text(w, 20020));
        qel::test::gui::Key(WXK_RETURN);
        EXPECT_FALSE(dlg.IsEnded());
        EXPECT_EQ(wxWindow::FindFocus(), &Text(w, 20021));
        qel::test::gui::Key(WXK_ESCAPE);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

// --- Icon selection (13652): two radio buttons enable the genre controls;
// a genre combo and a code list with item data.
class CIconDlg : public CDialog {
public:
    explicit CIconDlg(int category) : CDialog(13652), m_nCategory(category) {}
    int m_nCategory;
    int m_nCheckedId = 20022;
    int selChanges = 0, doubleClicks = 0;

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        auto& genre = *dynamic_cast<CComboBox*>(GetDlgItem(20024));
        for (const char16_t* g : {u"生活／サービス", u"ショッピング", u"全て"}) genre.AddString(g);
        genre.SetCurSel(0);
        auto& list = *dynamic_cast<CListBox*>(GetDlgItem(20025));
        for (int code = 100; code < 104; ++code) {
            const int at = list.AddString(qel::framework::Format(u"%04x アイコン", static_cast<long long>(code)));
            list.SetItemData(at, static_cast<DWORD_PTR>(code));
        }
        m_nCheckedId = m_nCategory ? 20022 : 20023;
        Button(*this, m_nCheckedId).SetCheck(BST_CHECKED);
        OnIconRadio();
        return TRUE;
    }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
        if (wParam >= 20022 && wParam <= 20023) m_nCheckedId = static_cast<int>(wParam);
        return CDialog::OnCommand(wParam, lParam);
    }
    void OnIconRadio() {
        const BOOL on = m_nCheckedId != 20023;
        for (int id : {20026, 20024, 20025}) GetDlgItem(id)->EnableWindow(on);
    }
    void OnSelChange() { ++selChanges; }
    void OnDblClk() { ++doubleClicks; }
    void OnOK() override {
        auto& list = *dynamic_cast<CListBox*>(GetDlgItem(20025));
        if (m_nCheckedId == 20023) m_nCategory = 0;
        else if (list.GetCurSel() >= 0) m_nCategory = static_cast<int>(list.GetItemData(list.GetCurSel()));
        CDialog::OnOK();
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CIconDlg, CDialog)
ON_BN_CLICKED(20022, &CIconDlg::OnIconRadio)
ON_BN_CLICKED(20023, &CIconDlg::OnIconRadio)
ON_LBN_SELCHANGE(20025, &CIconDlg::OnSelChange)
ON_LBN_DBLCLK(20025, &CIconDlg::OnDblClk)
END_MESSAGE_MAP()

TEST_F(GuiTest, RadioHandlerDisablesTheGenreControlsInTheWindow) {
    CIconDlg dlg(100);
    Script().ExpectDialog(13652, [&](QelWxDialog& w) {
        for (int id : {20026, 20024, 20025}) EXPECT_TRUE(qel::test::gui::ControlWindowById(w, id)->IsEnabled()) << id;
        qel::test::gui::Click(Radio(w, 20023));
        for (int id : {20026, 20024, 20025}) EXPECT_FALSE(qel::test::gui::ControlWindowById(w, id)->IsEnabled()) << id;
        qel::test::gui::Screenshot(w, "13652_icon_selection_no_icon");
        qel::test::gui::Click(Radio(w, 20022));
        for (int id : {20026, 20024, 20025}) EXPECT_TRUE(qel::test::gui::ControlWindowById(w, id)->IsEnabled()) << id;
        qel::test::gui::Click(Radio(w, 20023));
        qel::test::gui::Key(WXK_RETURN);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_nCategory, 0);
}

TEST_F(GuiTest, ListEntryClickedAndDoubleClickedNotifiesAndOkReturnsItsData) {
    CIconDlg dlg(100);
    Script().ExpectDialog(13652, [&](QelWxDialog& w) {
        auto& list = *static_cast<wxListBox*>(qel::test::gui::ControlWindowById(w, 20025));
        ASSERT_EQ(list.GetCount(), 4u);
        EXPECT_EQ(list.GetString(2), qel::framework::wx::WxString(u"0066 アイコン"));
        EXPECT_EQ(static_cast<wxChoice*>(qel::test::gui::ControlWindowById(w, 20024))->GetSelection(), 0);
        // The third row: rows are one line of the font high.
        const int row = list.GetCharHeight() + 4;
        qel::test::gui::ClickAt(list, wxPoint(20, row * 2 + row / 2));
        EXPECT_EQ(list.GetSelection(), 2);
        EXPECT_EQ(dynamic_cast<CListBox*>(dlg.GetDlgItem(20025))->GetCurSel(), 2);
        EXPECT_EQ(dlg.selChanges, 1);
        wxUIActionSimulator().MouseDblClick();
        qel::test::gui::Settle();
        EXPECT_EQ(dlg.doubleClicks, 1);
        qel::test::gui::Screenshot(w, "13652_icon_selection_chosen");
        qel::test::gui::Key(WXK_RETURN);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_nCategory, 0x66);
}

// --- The window follows what the dialog's code does to its controls.
TEST_F(GuiTest, WidgetsFollowTheFrameworksChanges) {
    CIconDlg dlg(100);
    Script().ExpectDialog(13652, [&](QelWxDialog& w) {
        // As a handler would, outside any user action.
        dlg.SetWindowText(u"別のタイトル");
        dlg.GetDlgItem(20026)->SetWindowText(u"分類(&G) :");
        dlg.GetDlgItem(ID_HELP)->ShowWindow(SW_SHOW);
        dlg.GetDlgItem(IDCANCEL)->EnableWindow(FALSE);
        auto& genre = *dynamic_cast<CComboBox*>(dlg.GetDlgItem(20024));
        genre.AddString(u"追加");
        genre.SetCurSel(3);
        auto& list = *dynamic_cast<CListBox*>(dlg.GetDlgItem(20025));
        list.ResetContent();
        for (const char16_t* entry : {u"一", u"二", u"三"}) list.AddString(entry);
        list.SetCurSel(1);
        Button(dlg, 20022).SetCheck(BST_UNCHECKED);  // no radio button of the group checked
        qel::test::gui::Settle();
        EXPECT_EQ(w.GetTitle(), qel::framework::wx::WxString(u"別のタイトル"));
        EXPECT_EQ(qel::test::gui::ControlWindowById(w, 20026)->GetLabel(), qel::framework::wx::WxString(u"分類(&G) :"));
        EXPECT_TRUE(w.ControlWindow(dlg.GetControlIndex(*dlg.GetDlgItem(ID_HELP)))->IsShown());
        EXPECT_FALSE(qel::test::gui::ControlWindowById(w, IDCANCEL)->IsEnabled());
        auto& choice = *static_cast<wxChoice*>(qel::test::gui::ControlWindowById(w, 20024));
        EXPECT_EQ(choice.GetCount(), 4u);
        EXPECT_EQ(choice.GetSelection(), 3);
        auto& lb = *static_cast<wxListBox*>(qel::test::gui::ControlWindowById(w, 20025));
        EXPECT_EQ(lb.GetCount(), 3u);
        EXPECT_EQ(lb.GetSelection(), 1);
        EXPECT_FALSE(Radio(w, 20022).GetValue());
        EXPECT_FALSE(Radio(w, 20023).GetValue());
        // Focus moved by the code.
        dlg.GotoDlgCtrl(dlg.GetDlgItem(IDOK));
        qel::test::gui::Settle();
        EXPECT_EQ(wxWindow::FindFocus(), qel::test::gui::ControlWindowById(w, IDOK));
        qel::framework::UserCancel(dlg);
        qel::test::gui::WaitForEnd(w);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

// --- A handler that throws: the loop ends, the exception leaves DoModal.
class CThrowingDlg : public CDialog {
public:
    CThrowingDlg() : CDialog(13653) {}

protected:
    void OnFileRef() { throw std::runtime_error("handler failed"); }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CThrowingDlg, CDialog)
ON_BN_CLICKED(20016, &CThrowingDlg::OnFileRef)
END_MESSAGE_MAP()

TEST_F(GuiTest, ExceptionFromAHandlerLeavesDoModal) {
    CThrowingDlg dlg;
    Script().ExpectDialog(13653, [&](QelWxDialog& w) {
        qel::test::gui::Click(*qel::test::gui::ControlWindowById(w, 20016));
        EXPECT_FALSE(w.IsModal());
    });
    EXPECT_THROW(dlg.DoModal(), std::runtime_error);
    EXPECT_FALSE(dlg.IsOpen());
    EXPECT_EQ(qel::framework::wx::WxActiveDialog(), nullptr);
}

}  // namespace
