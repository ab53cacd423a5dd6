#include "framework/dialog.h"

#include <algorithm>

#include "framework/diagnostic.h"
#include "framework/exceptions.h"
#include "framework/modaldriver.h"
#include "framework/rcscript.h"

namespace {

const CSize kBaseUnits{7, 13};

// The dialogs running DoModal now, innermost last.
std::vector<CDialog*>& OpenDialogs() {
    static std::vector<CDialog*> dialogs;
    return dialogs;
}

std::unique_ptr<CWnd> MakeControl(QelControlKind kind) {
    using K = QelControlKind;
    switch (kind) {
        case K::staticText:
        case K::iconStatic:
        case K::otherStatic: return std::make_unique<CStatic>();
        case K::groupBox:
        case K::pushButton:
        case K::defPushButton:
        case K::autoRadioButton:
        case K::radioButton:
        case K::checkBox:
        case K::autoCheckBox: return std::make_unique<CButton>();
        case K::edit: return std::make_unique<CEdit>();
        case K::comboBox: return std::make_unique<CComboBox>();
        case K::listBox: return std::make_unique<CListBox>();
        case K::other: break;
    }
    return std::make_unique<CWnd>();
}

}  // namespace

CSize AfxGetDialogBaseUnits() { return kBaseUnits; }
CDialog* AfxGetActiveDialog() { return OpenDialogs().empty() ? nullptr : OpenDialogs().back(); }

CDialog::CDialog() = default;

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_nIDHelp(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() {
    if (m_bOpen) Destroy();
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

INT_PTR CDialog::DoModal() {
    if (m_bOpen) return -1;
    std::shared_ptr<const CDialogTemplate> tpl = AfxFindDialogTemplate(static_cast<int>(m_nIDTemplate));
    if (!tpl) {
        qel::framework::Diagnostic("qelfw: dialog template " + std::to_string(m_nIDTemplate) + " not found");
        return -1;
    }
    CModalDriver& driver = AfxGetModalDriver();
    const CSize units = driver.GetDialogBaseUnits(*tpl);
    m_baseUnits = (units.cx > 0 && units.cy > 0) ? units : AfxGetDialogBaseUnits();
    m_pTemplate = tpl;

    // The controls go when DoModal leaves, by return or by exception, so that
    // no member stays bound to a dialog that is not running.
    struct Closer {
        CDialog* dlg;
        ~Closer() { dlg->Destroy(); }
    } closer{this};
    CreateFromTemplate(*tpl);
    OpenDialogs().push_back(this);

    if (OnInitDialog() && !m_bEnded && !m_pFocus) FocusFirstTabStop();
    if (!m_bEnded) driver.RunModal(*this);
    if (!m_bEnded) EndDialog(IDCANCEL);
    return m_nModalResult;
}

void CDialog::CreateFromTemplate(const CDialogTemplate& tpl) {
    m_hWnd = this;
    CWnd::m_pDialog = this;
    m_nID = tpl.id;
    m_dwStyle = tpl.style | WS_VISIBLE;
    m_dwExStyle = tpl.exStyle;
    m_strClass.clear();
    m_strText = tpl.caption;
    m_rcDialogUnits = CRect{tpl.x, tpl.y, tpl.x + tpl.cx, tpl.y + tpl.cy};
    m_bOpen = true;
    m_bEnded = false;
    m_nModalResult = -1;
    m_pFocus = nullptr;
    m_controls.clear();
    m_ownedControls.clear();
    for (const CDialogItemTemplate& item : tpl.items) {
        std::unique_ptr<CWnd> c = MakeControl(item.kind);
        c->m_nID = item.id;
        c->m_dwStyle = item.style;
        c->m_dwExStyle = item.exStyle;
        c->m_strClass = item.className;
        c->m_rcDialogUnits = CRect{item.x, item.y, item.x + item.cx, item.y + item.cy};
        c->m_kind = item.kind;
        c->ApplyTemplateText(item.text);
        c->m_pDialog = this;
        c->m_hWnd = c.get();
        m_controls.push_back(c.get());
        m_ownedControls.push_back(std::move(c));
    }
}

void CDialog::Destroy() {
    auto& open = OpenDialogs();
    open.erase(std::remove(open.begin(), open.end(), this), open.end());
    for (CWnd* c : m_controls) {
        c->m_hWnd = nullptr;
        c->m_pDialog = nullptr;
    }
    for (auto& c : m_ownedControls) {
        c->m_hWnd = nullptr;
        c->m_pDialog = nullptr;
    }
    m_controls.clear();
    m_ownedControls.clear();
    m_pFocus = nullptr;
    m_pObserver = nullptr;
    m_hWnd = nullptr;
    CWnd::m_pDialog = nullptr;
    m_bOpen = false;
    m_pTemplate.reset();
}

void CDialog::ForgetControl(CWnd& control) {
    m_controls.erase(std::remove(m_controls.begin(), m_controls.end(), &control), m_controls.end());
    if (m_pFocus == &control) m_pFocus = nullptr;
}

void CDialog::EndDialog(int nResult) {
    if (!m_bOpen) return;
    m_nModalResult = nResult;
    const bool first = !m_bEnded;
    m_bEnded = true;
    if (first) ControlChanged(*this, QelChange::ended);
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    try {
        DoDataExchange(&dx);
    } catch (const CUserException&) {
        return FALSE;
    }
    return TRUE;
}

CWnd* CDialog::GetDlgItem(int nID) const {
    for (CWnd* c : m_controls)
        if (c->m_nID == nID) return c;
    return nullptr;
}

int CDialog::GetControlIndex(const CWnd& control) const {
    for (std::size_t i = 0; i < m_controls.size(); ++i)
        if (m_controls[i] == &control) return static_cast<int>(i);
    return -1;
}

void CDialog::GotoDlgCtrl(CWnd* pWndCtrl) {
    if (!pWndCtrl || pWndCtrl->m_pDialog != this || pWndCtrl == this) return;
    MoveFocus(pWndCtrl);
    if (auto* edit = dynamic_cast<CEdit*>(pWndCtrl)) edit->SetSel(0, -1);
}

CWnd* CDialog::MoveFocus(CWnd* control) {
    CWnd* before = m_pFocus;
    if (control == before) return before;
    m_pFocus = control;
    if (control) ControlChanged(*control, QelChange::focus);
    return before;
}

namespace {

bool IsTabStop(const CWnd* c) { return (c->GetStyle() & WS_TABSTOP) && c->IsWindowVisible() && c->IsWindowEnabled(); }

}  // namespace

void CDialog::FocusFirstTabStop() {
    for (CWnd* c : m_controls)
        if (IsTabStop(c)) {
            GotoDlgCtrl(c);
            return;
        }
}

void CDialog::MapDialogRectWith(CRect* rect, CSize units) {
    if (!rect) return;
    rect->left = MulDiv(rect->left, units.cx, 4);
    rect->right = MulDiv(rect->right, units.cx, 4);
    rect->top = MulDiv(rect->top, units.cy, 8);
    rect->bottom = MulDiv(rect->bottom, units.cy, 8);
}

void CDialog::MapDialogRect(CRect* rect) const { MapDialogRectWith(rect, m_baseUnits); }

BOOL CDialog::OnInitDialog() {
    // The host application handles no help command, so a Help button
    // without a handler of the dialog's own would do nothing: hide it.
    if (CWnd* help = GetDlgItem(ID_HELP); help && !HasCommandHandler(ID_HELP, BN_CLICKED)) help->ShowWindow(SW_HIDE);
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam) { return CWnd::OnCommand(wParam, lParam); }

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_NEXTDLGCTL) return CWnd::WindowProc(message, wParam, lParam);
    if (LOWORD(static_cast<std::uintptr_t>(lParam)) != 0) {
        // Only a control of this dialog is taken; anything else is ignored.
        auto* target = reinterpret_cast<CWnd*>(wParam);
        if (std::find(m_controls.begin(), m_controls.end(), target) != m_controls.end()) GotoDlgCtrl(target);
        return 0;
    }
    const int count = static_cast<int>(m_controls.size());
    if (count == 0) return 0;
    const int step = wParam == 0 ? 1 : -1;
    int at = m_pFocus ? GetControlIndex(*m_pFocus) : (step > 0 ? -1 : count);
    for (int k = 0; k < count; ++k) {
        at = ((at + step) % count + count) % count;
        if (IsTabStop(m_controls[static_cast<std::size_t>(at)])) {
            GotoDlgCtrl(m_controls[static_cast<std::size_t>(at)]);
            break;
        }
    }
    return 0;
}

void CDialog::SubclassDlgItem(int nID, CWnd& member) {
    if (member.m_pDialog == this && member.m_hWnd) return;
    CWnd* current = GetDlgItem(nID);
    if (!current || current == this) AfxThrowNotSupportedException();
    if (current == &member) return;
    if (!member.CanBindTo(*current)) AfxThrowNotSupportedException();
    member.AdoptState(*current);
    member.m_pDialog = this;
    member.m_hWnd = &member;
    current->m_hWnd = nullptr;
    current->m_pDialog = nullptr;
    std::replace(m_controls.begin(), m_controls.end(), current, &member);
    if (m_pFocus == current) m_pFocus = &member;
    ControlChanged(member, QelChange::rebound);
}

void CDialog::ControlChanged(CWnd& wnd, QelChange what) {
    if (m_pObserver) m_pObserver->OnDialogChanged(*this, wnd, what);
}

// ---------------------------------------------------------------------------
// Data exchange

CWnd* CDataExchange::PrepareCtrl(int nIDC) {
    CWnd* c = m_pDlgWnd ? m_pDlgWnd->GetDlgItem(nIDC) : nullptr;
    if (!c) AfxThrowNotSupportedException();
    m_idLastControl = nIDC;
    m_bEditLastControl = FALSE;
    return c;
}

CWnd* CDataExchange::PrepareEditCtrl(int nIDC) {
    CWnd* c = PrepareCtrl(nIDC);
    m_bEditLastControl = TRUE;
    return c;
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    auto* dlg = dynamic_cast<CDialog*>(pDX->m_pDlgWnd);
    if (!dlg) AfxThrowNotSupportedException();
    dlg->SubclassDlgItem(nIDC, rControl);
}

void DDX_Text(CDataExchange* pDX, int nIDC, std::u16string& value) {
    CWnd* c = pDX->PrepareEditCtrl(nIDC);
    if (pDX->m_bSaveAndValidate) value = c->GetWindowText();
    else c->SetWindowText(value);
}

namespace {

CComboBox& PrepareCombo(CDataExchange* pDX, int nIDC) {
    auto* combo = dynamic_cast<CComboBox*>(pDX->PrepareCtrl(nIDC));
    if (!combo) AfxThrowNotSupportedException();
    return *combo;
}

}  // namespace

void DDX_CBString(CDataExchange* pDX, int nIDC, std::u16string& value) {
    CComboBox& combo = PrepareCombo(pDX, nIDC);
    if (pDX->m_bSaveAndValidate) {
        if (combo.IsDropDownList()) value = combo.GetLBText(combo.GetCurSel());
        else value = combo.GetWindowText();
        return;
    }
    const int found = combo.FindString(-1, value);
    combo.SetCurSel(found);
    if (!combo.IsDropDownList()) combo.SetWindowText(value);
}

void DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index) {
    CComboBox& combo = PrepareCombo(pDX, nIDC);
    if (pDX->m_bSaveAndValidate) index = combo.GetCurSel();
    else combo.SetCurSel(index);
}

int AfxMessageBox(const std::u16string& text, UINT nType, UINT) {
    return AfxGetModalDriver().MessageBox(AfxGetActiveDialog(), text, nType);
}
