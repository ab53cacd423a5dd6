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

#include <string>
#include <string_view>
#include <vector>

#include "framework/wnd.h"

class CStatic : public CWnd {
public:
    CStatic();

protected:
    bool CanBindTo(const CWnd& templateControl) const override;
};

class CButton : public CWnd {
public:
    CButton();

    // BST_UNCHECKED (0) or BST_CHECKED (1); push buttons and group boxes
    // keep the value but show nothing of it.
    int GetCheck() const { return m_nCheck; }
    void SetCheck(int nCheck);
    // The button type (BS_TYPEMASK bits of the style).
    UINT GetButtonStyle() const { return GetStyle() & BS_TYPEMASK; }

protected:
    // BM_GETCHECK, BM_SETCHECK (wParam: the state), BM_CLICK (the user's
    // click: see QelUserClick).
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void AdoptState(CWnd& from) override;
    bool CanBindTo(const CWnd& templateControl) const override;

private:
    int m_nCheck = BST_UNCHECKED;
};

class CEdit : public CWnd {
public:
    CEdit();

    // The selected range [start, end) in UTF-16 units; start == end is the
    // caret. SetSel(0, -1) selects everything; a start of -1 removes the
    // selection (the caret stays); values beyond the text are clamped.
    void SetSel(int nStartChar, int nEndChar, BOOL bNoScroll = FALSE);
    void GetSel(int& nStartChar, int& nEndChar) const;
    DWORD GetSel() const;  // MAKELONG(start, end) as EM_GETSEL
    BOOL SetReadOnly(BOOL bReadOnly = TRUE);
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

class CComboBox : public CWnd {
public:
    CComboBox();

    int AddString(std::u16string_view text);
    int InsertString(int nIndex, std::u16string_view text);  // -1 appends
    int DeleteString(int nIndex);   // the count left, CB_ERR for a bad index
    void ResetContent();
    int GetCount() const { return static_cast<int>(m_entries.size()); }
    int GetCurSel() const { return m_nCurSel; }
    // Selects nIndex; -1 or an index out of range clears the selection and
    // answers CB_ERR.
    int SetCurSel(int nSelect);
    void GetLBText(int nIndex, std::u16string& text) const;  // empty for a bad index
    std::u16string GetLBText(int nIndex) const;
    int GetLBTextLen(int nIndex) const;
    int SetItemData(int nIndex, DWORD_PTR data);
    DWORD_PTR GetItemData(int nIndex) const;  // CB_ERR as DWORD_PTR for a bad index
    // The first entry after nStartAfter (-1: from the top, wrapping round)
    // whose text begins with `text` / equals `text`, ignoring ASCII case.
    int FindString(int nStartAfter, std::u16string_view text) const;
    int FindStringExact(int nStartAfter, std::u16string_view text) const;
    // FindString, then selects the entry found; CB_ERR (selection unchanged) when none.
    int SelectString(int nStartAfter, std::u16string_view text);
    // Width of the drop-down list in pixels; 0 means as wide as the box.
    int SetDroppedWidth(UINT nWidth);
    int GetDroppedWidth() const { return m_nDroppedWidth; }
    bool IsDropDownList() const { return (GetStyle() & CBS_TYPEMASK) == CBS_DROPDOWNLIST; }

    const std::vector<QelListEntry>& Entries() const { return m_entries; }

protected:
    // The CB_ messages of wintypes.h (text arguments as const char16_t*,
    // CB_GETLBTEXT into a std::u16string*).
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void AdoptState(CWnd& from) override;
    bool CanBindTo(const CWnd& templateControl) const override;
    void ApplyTemplateText(const std::u16string& text) override;

private:
    void ShowSelectionText();

    std::vector<QelListEntry> m_entries;
    int m_nCurSel = -1;
    int m_nDroppedWidth = 0;
};

class CListBox : public CWnd {
public:
    CListBox();

    int AddString(std::u16string_view text);
    int InsertString(int nIndex, std::u16string_view text);  // -1 appends
    int DeleteString(UINT nIndex);  // the count left, LB_ERR for a bad index
    void ResetContent();
    int GetCount() const { return static_cast<int>(m_entries.size()); }
    int GetCurSel() const { return m_nCurSel; }
    // Selects nIndex; -1 clears the selection; an index out of range clears
    // it and answers LB_ERR.
    int SetCurSel(int nSelect);
    int GetText(int nIndex, std::u16string& text) const;  // the length, LB_ERR for a bad index
    std::u16string GetText(int nIndex) const;
    int GetTextLen(int nIndex) const;
    int SetItemData(int nIndex, DWORD_PTR data);
    DWORD_PTR GetItemData(int nIndex) const;  // LB_ERR as DWORD_PTR for a bad index
    int FindString(int nStartAfter, std::u16string_view text) const;
    int FindStringExact(int nStartAfter, std::u16string_view text) const;
    int SelectString(int nStartAfter, std::u16string_view text);
    bool NotifiesParent() const { return (GetStyle() & LBS_NOTIFY) != 0; }

    const std::vector<QelListEntry>& Entries() const { return m_entries; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void AdoptState(CWnd& from) override;
    bool CanBindTo(const CWnd& templateControl) const override;

private:
    std::vector<QelListEntry> m_entries;
    int m_nCurSel = -1;
};

// Shared by combo and list boxes: the position a sorted control inserts
// `text` at, and the search of FindString/FindStringExact.
int QelSortedInsertPosition(const std::vector<QelListEntry>& entries, std::u16string_view text);
int QelFindEntry(const std::vector<QelListEntry>& entries, int nStartAfter, std::u16string_view text, bool exact);
