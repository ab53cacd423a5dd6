#include "framework/wnd.h"

#include <typeinfo>

#include "framework/dialog.h"

int MulDiv(int a, int b, int c) noexcept {
    if (c == 0) return -1;
    const long long num = static_cast<long long>(a) * b;
    const long long half = (c < 0 ? -static_cast<long long>(c) : c) / 2;
    const bool negative = (num < 0) != (c < 0);
    const long long absNum = num < 0 ? -num : num;
    const long long absC = c < 0 ? -static_cast<long long>(c) : c;
    const long long q = (absNum + half) / absC;
    return static_cast<int>(negative ? -q : q);
}

CWnd::CWnd() = default;

CWnd::~CWnd() {
    // A member control that dies while its dialog is still open leaves the
    // dialog's list; the dialog never touches it again.
    if (m_pDialog && m_pDialog != this) m_pDialog->ForgetControl(*this);
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add) {
    const DWORD before = m_dwStyle;
    const DWORD after = (before & ~remove) | add;
    if (after == before) return FALSE;
    m_dwStyle = after;
    if ((before ^ after) & WS_DISABLED) NotifyChanged(QelChange::enabled);
    if ((before ^ after) & WS_VISIBLE) NotifyChanged(QelChange::visible);
    if ((before ^ after) & ~(WS_DISABLED | WS_VISIBLE)) NotifyChanged(QelChange::style);
    return TRUE;
}

void CWnd::SetWindowText(std::u16string_view text) {
    const std::u16string s(text);
    SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s.c_str()));
}

BOOL CWnd::EnableWindow(BOOL enable) {
    const BOOL wasDisabled = !IsWindowEnabled();
    if (enable) ModifyStyle(WS_DISABLED, 0);
    else ModifyStyle(0, WS_DISABLED);
    return wasDisabled;
}

BOOL CWnd::ShowWindow(int nCmdShow) {
    const BOOL wasVisible = IsWindowVisible();
    if (nCmdShow == SW_HIDE) ModifyStyle(WS_VISIBLE, 0);
    else ModifyStyle(0, WS_VISIBLE);
    return wasVisible;
}

CWnd* CWnd::SetFocus() {
    if (!m_pDialog || m_pDialog == this) return nullptr;
    return m_pDialog->MoveFocus(this);
}

void CWnd::GetWindowRect(CRect* rect) const {
    if (!rect) return;
    *rect = m_rcDialogUnits;
    if (m_pDialog) m_pDialog->MapDialogRect(rect);
    else CDialog::MapDialogRectWith(rect, AfxGetDialogBaseUnits());
}

CWnd* CWnd::GetParent() const { return m_pDialog == this ? nullptr : m_pDialog; }

CWnd* CWnd::GetDlgItem(int) const { return nullptr; }

LRESULT CWnd::SendDlgItemMessage(int nID, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* item = GetDlgItem(nID);
    return item ? item->SendMessage(message, wParam, lParam) : 0;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETTEXT: {
            const auto* text = reinterpret_cast<const char16_t*>(lParam);
            StoreWindowText(text ? std::u16string_view(text) : std::u16string_view());
            return TRUE;
        }
        case WM_GETTEXTLENGTH: return static_cast<LRESULT>(m_strText.size());
        case WM_COMMAND: return OnCommand(wParam, lParam) ? 1 : 0;
        default: return 0;
    }
}

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

namespace {

const AFX_MSGMAP_ENTRY* FindEntry(const AFX_MSGMAP* map, UINT nID, UINT nCode) {
    for (; map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr)
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e && e->pfn; ++e)
            if (e->nID == nID && e->nCode == nCode) return e;
    return nullptr;
}

}  // namespace

bool CWnd::HasCommandHandler(UINT nID, UINT nCode) const { return FindEntry(GetMessageMap(), nID, nCode) != nullptr; }

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM) {
    const AFX_MSGMAP_ENTRY* e = FindEntry(GetMessageMap(), LOWORD(wParam), HIWORD(wParam));
    if (!e) return FALSE;
    (this->*(e->pfn))();
    return TRUE;
}

void CWnd::StoreWindowText(std::u16string_view text) {
    if (text == m_strText) return;
    m_strText = std::u16string(text);
    NotifyChanged(QelChange::text);
}

void CWnd::NotifyChanged(QelChange what) {
    if (m_pDialog) m_pDialog->ControlChanged(*this, what);
}

void CWnd::AdoptState(CWnd& from) {
    m_nID = from.m_nID;
    m_dwStyle = from.m_dwStyle;
    m_dwExStyle = from.m_dwExStyle;
    m_strClass = from.m_strClass;
    m_strText = from.m_strText;
    m_rcDialogUnits = from.m_rcDialogUnits;
    m_kind = from.m_kind;
}

bool CWnd::CanBindTo(const CWnd& templateControl) const { return typeid(templateControl) == typeid(CWnd); }
