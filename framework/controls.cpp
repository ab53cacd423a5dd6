#include "framework/controls.h"

#include <algorithm>

#include "framework/strings.h"

namespace {

// The position a sorted control inserts `text` at: before the first entry
// that compares greater, ignoring ASCII case.
int SortedInsertPosition(const std::vector<QelListEntry>& entries, std::u16string_view text) {
    int i = 0;
    for (; i < static_cast<int>(entries.size()); ++i)
        if (qel::framework::CompareNoCase(entries[static_cast<std::size_t>(i)].text, text) > 0) break;
    return i;
}

int FindEntry(const std::vector<QelListEntry>& entries, int nStartAfter, std::u16string_view text) {
    const int count = static_cast<int>(entries.size());
    if (count == 0) return -1;
    // The search starts after nStartAfter and wraps round to it, as in Windows.
    const int first = (nStartAfter < 0 || nStartAfter >= count) ? 0 : nStartAfter + 1;
    for (int k = 0; k < count; ++k) {
        const int i = (first + k) % count;
        const std::u16string& t = entries[static_cast<std::size_t>(i)].text;
        if (qel::framework::StartsWithNoCase(t, text)) return i;
    }
    return -1;
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

LRESULT CEdit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case EM_SETSEL:
            SetSel(static_cast<int>(static_cast<std::intptr_t>(wParam)), static_cast<int>(lParam));
            return 0;
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
// CQelEntryControl

int CQelEntryControl::AddEntry(std::u16string_view text) {
    const int at = (GetStyle() & m_sortStyle) ? SortedInsertPosition(m_entries, text) : GetCount();
    return InsertString(at, text);
}

int CQelEntryControl::InsertString(int nIndex, std::u16string_view text) {
    // InsertString never sorts (CB_/LB_INSERTSTRING), unlike AddString.
    const int count = GetCount();
    if (nIndex < -1 || nIndex > count) return -1;
    const int at = nIndex == -1 ? count : nIndex;
    m_entries.insert(m_entries.begin() + at, QelListEntry{std::u16string(text), 0});
    NotifyChanged(QelChange::items);
    if (m_nCurSel >= at) {
        ++m_nCurSel;
        NotifyChanged(QelChange::selection);
    }
    return at;
}

void CQelEntryControl::ResetContent() {
    const bool hadSelection = m_nCurSel != -1;
    const bool hadEntries = !m_entries.empty();
    m_entries.clear();
    m_nCurSel = -1;
    if (hadEntries) NotifyChanged(QelChange::items);
    if (hadSelection) {
        SelectionChanged();
        NotifyChanged(QelChange::selection);
    }
}

int CQelEntryControl::Select(int nIndex) {
    const int sel = (nIndex >= 0 && nIndex < GetCount()) ? nIndex : -1;
    if (sel != m_nCurSel) {
        m_nCurSel = sel;
        SelectionChanged();
        NotifyChanged(QelChange::selection);
    }
    return sel;
}

const std::u16string* CQelEntryControl::EntryText(int nIndex) const {
    if (nIndex < 0 || nIndex >= GetCount()) return nullptr;
    return &m_entries[static_cast<std::size_t>(nIndex)].text;
}

int CQelEntryControl::SetItemData(int nIndex, DWORD_PTR data) {
    if (nIndex < 0 || nIndex >= GetCount()) return -1;
    m_entries[static_cast<std::size_t>(nIndex)].data = data;
    NotifyChanged(QelChange::items);
    return 0;
}

DWORD_PTR CQelEntryControl::GetItemData(int nIndex) const {
    if (nIndex < 0 || nIndex >= GetCount()) return static_cast<DWORD_PTR>(-1);
    return m_entries[static_cast<std::size_t>(nIndex)].data;
}

int CQelEntryControl::FindString(int nStartAfter, std::u16string_view text) const {
    return FindEntry(m_entries, nStartAfter, text);
}

void CQelEntryControl::AdoptState(CWnd& from) {
    auto& src = static_cast<CQelEntryControl&>(from);
    m_entries = src.m_entries;
    m_nCurSel = src.m_nCurSel;
    CWnd::AdoptState(from);
}

// ---------------------------------------------------------------------------
// CComboBox

CComboBox::CComboBox() : CQelEntryControl(CBS_SORT) {}

void CComboBox::SelectionChanged() {
    if (const std::u16string* text = EntryText(GetCurSel())) StoreWindowText(*text);
    else if (IsDropDownList()) StoreWindowText(u"");
}

int CComboBox::SetCurSel(int nSelect) {
    const int sel = Select(nSelect);
    return sel == -1 ? static_cast<int>(CB_ERR) : sel;
}

std::u16string CComboBox::GetLBText(int nIndex) const {
    const std::u16string* text = EntryText(nIndex);
    return text ? *text : std::u16string();
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
    // A drop-down list shows only its selection; other combos show the text
    // in their edit.
    if (message == WM_SETTEXT && IsDropDownList()) return FALSE;
    return CWnd::WindowProc(message, wParam, lParam);
}

void CComboBox::ApplyTemplateText(const std::u16string& text) {
    if (!IsDropDownList()) CWnd::ApplyTemplateText(text);
}

void CComboBox::AdoptState(CWnd& from) {
    m_nDroppedWidth = static_cast<CComboBox&>(from).m_nDroppedWidth;
    CQelEntryControl::AdoptState(from);
}

bool CComboBox::CanBindTo(const CWnd& t) const { return dynamic_cast<const CComboBox*>(&t) != nullptr; }

// ---------------------------------------------------------------------------
// CListBox

CListBox::CListBox() : CQelEntryControl(LBS_SORT) {}

int CListBox::SetCurSel(int nSelect) {
    const int sel = Select(nSelect);
    return (sel != -1 || nSelect == -1) ? sel : static_cast<int>(LB_ERR);
}

bool CListBox::CanBindTo(const CWnd& t) const { return dynamic_cast<const CListBox*>(&t) != nullptr; }
