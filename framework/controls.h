// The controls of the dialog layer: static text and icon statics (CStatic),
// buttons of every type (CButton: push, default push, radio, check box,
// group box), edits (CEdit), combo boxes (CComboBox) and list boxes
// (CListBox). Each holds its state itself and answers the Win32 messages of
// its class through SendMessage as well as through its member functions.
//
// Every change notifies the dialog's observer (QelChange, wnd.h). Changes made
// by the program send no notification message (no CBN_SELCHANGE for
// SetCurSel), as in Windows; the user actions of useraction.h do.
//
// Indexes are 0-based ints; CB_ERR / LB_ERR (-1) answer "none" or a failure.
// Combo box and list box entries are kept in the order added unless the
// control has CBS_SORT / LBS_SORT, which inserts each new entry before the
// first that compares greater, ignoring ASCII case.
#pragma once

#include "framework/api.h"

#include <string>
#include <string_view>
#include <vector>

#include "framework/wnd.h"

class QEL_FW_API CStatic : public CWnd {
public:
    CStatic();

protected:
    bool CanBindTo(const CWnd& templateControl) const override;
};

class QEL_FW_API CButton : public CWnd {
public:
    CButton();

    // BST_UNCHECKED (0) or BST_CHECKED (1); push buttons and group boxes
    // keep the value but show nothing of it.
    int GetCheck() const { return m_nCheck; }
    void SetCheck(int nCheck);

protected:
    // BM_GETCHECK, BM_SETCHECK (wParam: the state), BM_CLICK (the user's
    // click: see qel::framework::UserClick).
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void AdoptState(CWnd& from) override;
    bool CanBindTo(const CWnd& templateControl) const override;

private:
    int m_nCheck = BST_UNCHECKED;
};

class QEL_FW_API CEdit : public CWnd {
public:
    CEdit();

    // The selected range [start, end) in UTF-16 units; start == end is the
    // caret. SetSel(0, -1) selects everything; a start of -1 removes the
    // selection (the caret stays); values beyond the text are clamped.
    void SetSel(int nStartChar, int nEndChar, BOOL bNoScroll = FALSE);
    void GetSel(int& nStartChar, int& nEndChar) const;
    DWORD GetSel() const;  // MAKELONG(start, end) as EM_GETSEL
    bool IsReadOnly() const { return (GetStyle() & ES_READONLY) != 0; }
    bool IsMultiLine() const { return (GetStyle() & ES_MULTILINE) != 0; }

protected:
    // EM_SETSEL, EM_GETSEL; WM_SETTEXT puts the caret at the start.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void AdoptState(CWnd& from) override;
    bool CanBindTo(const CWnd& templateControl) const override;

private:
    int m_nSelStart = 0;
    int m_nSelEnd = 0;
};

// One entry of a combo box or list box.
struct QelListEntry {
    std::u16string text;
    DWORD_PTR data = 0;
};

// What combo boxes and list boxes share: an ordered list of entries, each
// with its text and item data, and at most one selected entry.
class QEL_FW_API CQelEntryControl : public CWnd {
public:
    int InsertString(int nIndex, std::u16string_view text);  // -1 appends; -1 for a bad index
    void ResetContent();
    int GetCount() const { return static_cast<int>(m_entries.size()); }
    int GetCurSel() const { return m_nCurSel; }
    int SetItemData(int nIndex, DWORD_PTR data);  // -1 for a bad index
    DWORD_PTR GetItemData(int nIndex) const;      // -1 as DWORD_PTR for a bad index
    // The first entry after nStartAfter (-1: from the top, wrapping round)
    // whose text begins with `text`, ignoring ASCII case.
    int FindString(int nStartAfter, std::u16string_view text) const;

    const std::vector<QelListEntry>& Entries() const { return m_entries; }

protected:
    // `sortStyle` is the style bit that makes AddString keep the entries sorted.
    explicit CQelEntryControl(UINT sortStyle) : m_sortStyle(sortStyle) {}
    // Appends `text`, or inserts it in order under the sort style; its index.
    int AddEntry(std::u16string_view text);
    // Selects nIndex, or nothing for -1 or an index out of range; the index selected, or -1.
    int Select(int nIndex);
    // The text of entry nIndex, null for a bad index.
    const std::u16string* EntryText(int nIndex) const;
    // Called after the selected entry changed (not when it only moved).
    virtual void SelectionChanged() {}
    void AdoptState(CWnd& from) override;

private:
    std::vector<QelListEntry> m_entries;
    int m_nCurSel = -1;
    UINT m_sortStyle;
};

class QEL_FW_API CComboBox : public CQelEntryControl {
public:
    CComboBox();

    int AddString(std::u16string_view text) { return AddEntry(text); }
    // Selects nIndex; -1 or an index out of range clears the selection and
    // answers CB_ERR.
    int SetCurSel(int nSelect);
    std::u16string GetLBText(int nIndex) const;  // empty for a bad index
    // Width of the drop-down list in pixels; 0 means as wide as the box.
    int SetDroppedWidth(UINT nWidth);
    int GetDroppedWidth() const { return m_nDroppedWidth; }
    bool IsDropDownList() const { return (GetStyle() & CBS_TYPEMASK) == CBS_DROPDOWNLIST; }

protected:
    // WM_SETTEXT does not change a drop-down list's text.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void AdoptState(CWnd& from) override;
    bool CanBindTo(const CWnd& templateControl) const override;
    void ApplyTemplateText(const std::u16string& text) override;
    // The box shows the selected entry; a drop-down list shows nothing
    // without one, a combo with an edit keeps what its edit holds.
    void SelectionChanged() override;

private:
    int m_nDroppedWidth = 0;
};

class QEL_FW_API CListBox : public CQelEntryControl {
public:
    CListBox();

    int AddString(std::u16string_view text) { return AddEntry(text); }
    // Selects nIndex; -1 clears the selection; an index out of range clears
    // it and answers LB_ERR.
    int SetCurSel(int nSelect);
    bool NotifiesParent() const { return (GetStyle() & LBS_NOTIFY) != 0; }

protected:
    bool CanBindTo(const CWnd& templateControl) const override;
};
