#include "framework/controls.h"

#include <algorithm>

#include "framework/strings.h"

// ---------------------------------------------------------------------------
// Entry lists

int QelSortedInsertPosition(const std::vector<QelListEntry>& entries, std::u16string_view text) {
    int i = 0;
    for (; i < static_cast<int>(entries.size()); ++i)
        if (qel::CompareNoCase(entries[static_cast<std::size_t>(i)].text, text) > 0) break;
    return i;
}

int QelFindEntry(const std::vector<QelListEntry>& entries, int nStartAfter, std::u16string_view text, bool exact) {
    const int count = static_cast<int>(entries.size());
    if (count == 0) return -1;
    // The search starts after nStartAfter and wraps round to it, as in Windows.
    const int first = (nStartAfter < 0 || nStartAfter >= count) ? 0 : nStartAfter + 1;
    for (int k = 0; k < count; ++k) {
        const int i = (first + k) % count;
        const std::u16string& t = entries[static_cast<std::size_t>(i)].text;
        if (exact ? qel::EqualsNoCase(t, text) : qel::StartsWithNoCase(t, text)) return i;
    }
    return -1;
}

namespace {

const char16_t* TextArg(LPARAM lParam) {
    const auto* p = reinterpret_cast<const char16_t*>(lParam);
    return p ? p : u"";
}

}  // namespace

// ---------------------------------------------------------------------------
// CStatic

CStatic::CStatic() = default;

bool CStatic::CanBindTo(const CWnd& t) const { return dynamic_cast<const CStatic*>(&t) != nullptr; }

// ---------------------------------------------------------------------------
// CButton

CButton::CButton() = default;

void CButton::SetCheck(int nCheck) {
    if (nCheck == m_nCheck) return;
    m_nCheck = nCheck;
    NotifyChanged(QelChange::check);
}

LRESULT CButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case BM_GETCHECK: return m_nCheck;
        case BM_SETCHECK: SetCheck(static_cast<int>(wParam)); return 0;
        default: return CWnd::WindowProc(message, wParam, lParam);
    }
}

void CButton::AdoptState(CWnd& from) {
    m_nCheck = static_cast<CButton&>(from).m_nCheck;
    CWnd::AdoptState(from);
}

bool CButton::CanBindTo(const CWnd& t) const { return dynamic_cast<const CButton*>(&t) != nullptr; }

// ---------------------------------------------------------------------------
// CEdit

CEdit::CEdit() = default;

void CEdit::SetSel(int nStartChar, int nEndChar, BOOL) {
    const int len = GetWindowTextLength();
    int start = nStartChar, end = nEndChar;
    if (start == -1) {
        start = end = m_nSelEnd;  // no selection; the caret stays where it was
    } else {
        if (end < 0 || end > len) end = len;
        if (start < 0 || start > len) start = len;
        if (start > end) std::swap(start, end);
    }
    if (start == m_nSelStart && end == m_nSelEnd) return;
    m_nSelStart = start;
    m_nSelEnd = end;
    NotifyChanged(QelChange::editSelection);
}

void CEdit::GetSel(int& nStartChar, int& nEndChar) const {
    nStartChar = m_nSelStart;
    nEndChar = m_nSelEnd;
}

DWORD CEdit::GetSel() const {
    return (static_cast<DWORD>(m_nSelStart) & 0xFFFFu) | ((static_cast<DWORD>(m_nSelEnd) & 0xFFFFu) << 16);
}

BOOL CEdit::SetReadOnly(BOOL bReadOnly) {
    ModifyStyle(bReadOnly ? 0 : ES_READONLY, bReadOnly ? ES_READONLY : 0);
    return TRUE;
}

LRESULT CEdit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case EM_SETSEL: SetSel(static_cast<int>(static_cast<std::intptr_t>(wParam)), static_cast<int>(lParam)); return 0;
        case EM_GETSEL: return static_cast<LRESULT>(GetSel());
        case WM_SETTEXT: {
            const LRESULT r = CWnd::WindowProc(message, wParam, lParam);
            SetSel(0, 0);
            return r;
        }
        default: return CWnd::WindowProc(message, wParam, lParam);
    }
}

void CEdit::AdoptState(CWnd& from) {
    auto& src = static_cast<CEdit&>(from);
    m_nSelStart = src.m_nSelStart;
    m_nSelEnd = src.m_nSelEnd;
    CWnd::AdoptState(from);
}

bool CEdit::CanBindTo(const CWnd& t) const { return dynamic_cast<const CEdit*>(&t) != nullptr; }

// ---------------------------------------------------------------------------
// CComboBox

CComboBox::CComboBox() = default;

int CComboBox::AddString(std::u16string_view text) {
    const int at = (GetStyle() & CBS_SORT) ? QelSortedInsertPosition(m_entries, text) : GetCount();
    return InsertString(at, text);
}

int CComboBox::InsertString(int nIndex, std::u16string_view text) {
    // InsertString never sorts (CB_INSERTSTRING), unlike AddString.
    const int count = GetCount();
    if (nIndex < -1 || nIndex > count) return static_cast<int>(CB_ERR);
    const int at = nIndex == -1 ? count : nIndex;
    m_entries.insert(m_entries.begin() + at, QelListEntry{std::u16string(text), 0});
    NotifyChanged(QelChange::items);
    if (m_nCurSel >= at) {
        ++m_nCurSel;
        NotifyChanged(QelChange::selection);
    }
    return at;
}

int CComboBox::DeleteString(int nIndex) {
    if (nIndex < 0 || nIndex >= GetCount()) return static_cast<int>(CB_ERR);
    m_entries.erase(m_entries.begin() + nIndex);
    NotifyChanged(QelChange::items);
    if (m_nCurSel == nIndex) {
        m_nCurSel = -1;
        ShowSelectionText();
        NotifyChanged(QelChange::selection);
    } else if (m_nCurSel > nIndex) {
        --m_nCurSel;
        NotifyChanged(QelChange::selection);
    }
    return GetCount();
}

void CComboBox::ResetContent() {
    const bool hadSelection = m_nCurSel != -1;
    const bool hadEntries = !m_entries.empty();
    m_entries.clear();
    m_nCurSel = -1;
    if (hadEntries) NotifyChanged(QelChange::items);
    if (hadSelection) {
        ShowSelectionText();
        NotifyChanged(QelChange::selection);
    }
}

void CComboBox::ShowSelectionText() {
    // The box shows the selected entry; a drop-down list shows nothing
    // without one, a combo with an edit keeps what its edit holds.
    if (m_nCurSel >= 0) StoreWindowText(m_entries[static_cast<std::size_t>(m_nCurSel)].text);
    else if (IsDropDownList()) StoreWindowText(u"");
}

int CComboBox::SetCurSel(int nSelect) {
    const int sel = (nSelect >= 0 && nSelect < GetCount()) ? nSelect : -1;
    if (sel != m_nCurSel) {
        m_nCurSel = sel;
        ShowSelectionText();
        NotifyChanged(QelChange::selection);
    }
    return sel == -1 ? static_cast<int>(CB_ERR) : sel;
}

void CComboBox::GetLBText(int nIndex, std::u16string& text) const { text = GetLBText(nIndex); }

std::u16string CComboBox::GetLBText(int nIndex) const {
    if (nIndex < 0 || nIndex >= GetCount()) return {};
    return m_entries[static_cast<std::size_t>(nIndex)].text;
}

int CComboBox::GetLBTextLen(int nIndex) const {
    if (nIndex < 0 || nIndex >= GetCount()) return static_cast<int>(CB_ERR);
    return static_cast<int>(m_entries[static_cast<std::size_t>(nIndex)].text.size());
}

int CComboBox::SetItemData(int nIndex, DWORD_PTR data) {
    if (nIndex < 0 || nIndex >= GetCount()) return static_cast<int>(CB_ERR);
    m_entries[static_cast<std::size_t>(nIndex)].data = data;
    NotifyChanged(QelChange::items);
    return 0;
}

DWORD_PTR CComboBox::GetItemData(int nIndex) const {
    if (nIndex < 0 || nIndex >= GetCount()) return static_cast<DWORD_PTR>(CB_ERR);
    return m_entries[static_cast<std::size_t>(nIndex)].data;
}

int CComboBox::FindString(int nStartAfter, std::u16string_view text) const {
    return QelFindEntry(m_entries, nStartAfter, text, false);
}

int CComboBox::FindStringExact(int nStartAfter, std::u16string_view text) const {
    return QelFindEntry(m_entries, nStartAfter, text, true);
}

int CComboBox::SelectString(int nStartAfter, std::u16string_view text) {
    const int i = FindString(nStartAfter, text);
    if (i < 0) return static_cast<int>(CB_ERR);
    return SetCurSel(i);
}

int CComboBox::SetDroppedWidth(UINT nWidth) {
    const int w = static_cast<int>(std::min<UINT>(nWidth, 0x7FFFFFFF));
    if (w != m_nDroppedWidth) {
        m_nDroppedWidth = w;
        NotifyChanged(QelChange::droppedWidth);
    }
    return w;
}

LRESULT CComboBox::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const int index = static_cast<int>(static_cast<std::intptr_t>(wParam));
    switch (message) {
        case CB_ADDSTRING: return AddString(TextArg(lParam));
        case CB_INSERTSTRING: return InsertString(index, TextArg(lParam));
        case CB_DELETESTRING: return DeleteString(index);
        case CB_RESETCONTENT: ResetContent(); return 0;
        case CB_GETCOUNT: return GetCount();
        case CB_GETCURSEL: return GetCurSel();
        case CB_SETCURSEL: return SetCurSel(index);
        case CB_GETLBTEXT: {
            if (index < 0 || index >= GetCount()) return CB_ERR;
            if (auto* out = reinterpret_cast<std::u16string*>(lParam)) *out = GetLBText(index);
            return GetLBTextLen(index);
        }
        case CB_GETLBTEXTLEN: return GetLBTextLen(index);
        case CB_FINDSTRING: return FindString(index, TextArg(lParam));
        case CB_FINDSTRINGEXACT: return FindStringExact(index, TextArg(lParam));
        case CB_SELECTSTRING: return SelectString(index, TextArg(lParam));
        case CB_SETITEMDATA: return SetItemData(index, static_cast<DWORD_PTR>(lParam));
        case CB_GETITEMDATA: return static_cast<LRESULT>(GetItemData(index));
        case CB_SETDROPPEDWIDTH: return SetDroppedWidth(static_cast<UINT>(wParam));
        case CB_GETDROPPEDWIDTH: return GetDroppedWidth();
        case WM_SETTEXT:
            // A drop-down list shows only its selection; other combos show
            // the text in their edit.
            if (IsDropDownList()) return FALSE;
            return CWnd::WindowProc(message, wParam, lParam);
        default: return CWnd::WindowProc(message, wParam, lParam);
    }
}

void CComboBox::ApplyTemplateText(const std::u16string& text) {
    if (!IsDropDownList()) CWnd::ApplyTemplateText(text);
}

void CComboBox::AdoptState(CWnd& from) {
    auto& src = static_cast<CComboBox&>(from);
    m_entries = src.m_entries;
    m_nCurSel = src.m_nCurSel;
    m_nDroppedWidth = src.m_nDroppedWidth;
    CWnd::AdoptState(from);
}

bool CComboBox::CanBindTo(const CWnd& t) const { return dynamic_cast<const CComboBox*>(&t) != nullptr; }

// ---------------------------------------------------------------------------
// CListBox

CListBox::CListBox() = default;

int CListBox::AddString(std::u16string_view text) {
    const int at = (GetStyle() & LBS_SORT) ? QelSortedInsertPosition(m_entries, text) : GetCount();
    return InsertString(at, text);
}

int CListBox::InsertString(int nIndex, std::u16string_view text) {
    const int count = GetCount();
    if (nIndex < -1 || nIndex > count) return static_cast<int>(LB_ERR);
    const int at = nIndex == -1 ? count : nIndex;
    m_entries.insert(m_entries.begin() + at, QelListEntry{std::u16string(text), 0});
    NotifyChanged(QelChange::items);
    if (m_nCurSel >= at) {
        ++m_nCurSel;
        NotifyChanged(QelChange::selection);
    }
    return at;
}

int CListBox::DeleteString(UINT nIndex) {
    if (nIndex >= static_cast<UINT>(GetCount())) return static_cast<int>(LB_ERR);
    const int i = static_cast<int>(nIndex);
    m_entries.erase(m_entries.begin() + i);
    NotifyChanged(QelChange::items);
    if (m_nCurSel == i) {
        m_nCurSel = -1;
        NotifyChanged(QelChange::selection);
    } else if (m_nCurSel > i) {
        --m_nCurSel;
        NotifyChanged(QelChange::selection);
    }
    return GetCount();
}

void CListBox::ResetContent() {
    const bool hadSelection = m_nCurSel != -1;
    const bool hadEntries = !m_entries.empty();
    m_entries.clear();
    m_nCurSel = -1;
    if (hadEntries) NotifyChanged(QelChange::items);
    if (hadSelection) NotifyChanged(QelChange::selection);
}

int CListBox::SetCurSel(int nSelect) {
    const bool valid = nSelect >= 0 && nSelect < GetCount();
    const int sel = valid ? nSelect : -1;
    if (sel != m_nCurSel) {
        m_nCurSel = sel;
        NotifyChanged(QelChange::selection);
    }
    return (valid || nSelect == -1) ? sel : static_cast<int>(LB_ERR);
}

int CListBox::GetText(int nIndex, std::u16string& text) const {
    if (nIndex < 0 || nIndex >= GetCount()) return static_cast<int>(LB_ERR);
    text = m_entries[static_cast<std::size_t>(nIndex)].text;
    return static_cast<int>(text.size());
}

std::u16string CListBox::GetText(int nIndex) const {
    std::u16string s;
    GetText(nIndex, s);
    return s;
}

int CListBox::GetTextLen(int nIndex) const {
    if (nIndex < 0 || nIndex >= GetCount()) return static_cast<int>(LB_ERR);
    return static_cast<int>(m_entries[static_cast<std::size_t>(nIndex)].text.size());
}

int CListBox::SetItemData(int nIndex, DWORD_PTR data) {
    if (nIndex < 0 || nIndex >= GetCount()) return static_cast<int>(LB_ERR);
    m_entries[static_cast<std::size_t>(nIndex)].data = data;
    NotifyChanged(QelChange::items);
    return 0;
}

DWORD_PTR CListBox::GetItemData(int nIndex) const {
    if (nIndex < 0 || nIndex >= GetCount()) return static_cast<DWORD_PTR>(LB_ERR);
    return m_entries[static_cast<std::size_t>(nIndex)].data;
}

int CListBox::FindString(int nStartAfter, std::u16string_view text) const {
    return QelFindEntry(m_entries, nStartAfter, text, false);
}

int CListBox::FindStringExact(int nStartAfter, std::u16string_view text) const {
    return QelFindEntry(m_entries, nStartAfter, text, true);
}

int CListBox::SelectString(int nStartAfter, std::u16string_view text) {
    const int i = FindString(nStartAfter, text);
    if (i < 0) return static_cast<int>(LB_ERR);
    return SetCurSel(i);
}

LRESULT CListBox::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const int index = static_cast<int>(static_cast<std::intptr_t>(wParam));
    switch (message) {
        case LB_ADDSTRING: return AddString(TextArg(lParam));
        case LB_INSERTSTRING: return InsertString(index, TextArg(lParam));
        case LB_DELETESTRING: return DeleteString(static_cast<UINT>(wParam));
        case LB_RESETCONTENT: ResetContent(); return 0;
        case LB_GETCOUNT: return GetCount();
        case LB_GETCURSEL: return GetCurSel();
        case LB_SETCURSEL: return SetCurSel(index);
        case LB_GETTEXT: {
            std::u16string s;
            const int n = GetText(index, s);
            if (n >= 0)
                if (auto* out = reinterpret_cast<std::u16string*>(lParam)) *out = std::move(s);
            return n;
        }
        case LB_GETTEXTLEN: return GetTextLen(index);
        case LB_FINDSTRING: return FindString(index, TextArg(lParam));
        case LB_FINDSTRINGEXACT: return FindStringExact(index, TextArg(lParam));
        case LB_SELECTSTRING: return SelectString(index, TextArg(lParam));
        case LB_SETITEMDATA: return SetItemData(index, static_cast<DWORD_PTR>(lParam));
        case LB_GETITEMDATA: return static_cast<LRESULT>(GetItemData(index));
        default: return CWnd::WindowProc(message, wParam, lParam);
    }
}

void CListBox::AdoptState(CWnd& from) {
    auto& src = static_cast<CListBox&>(from);
    m_entries = src.m_entries;
    m_nCurSel = src.m_nCurSel;
    CWnd::AdoptState(from);
}

bool CListBox::CanBindTo(const CWnd& t) const { return dynamic_cast<const CListBox*>(&t) != nullptr; }
