#include "host/combobox.h"

#include <algorithm>

#include "framework/dialog.h"

namespace {

bool IsHalfWidth(char16_t c) { return c <= 0x00FF || (c >= 0xFF61 && c <= 0xFF9F); }

// Room beside the text: a vertical scroll bar (17 px at 96 dpi) and a
// margin of one base unit on each side.
int Margin(CSize units) { return 17 + 2 * units.cx; }

}  // namespace

CZorExpandComboBox::CZorExpandComboBox() = default;

int CZorExpandComboBox::EstimateTextWidth(std::u16string_view text) const {
    const CSize units = GetOwnerDialog() ? GetOwnerDialog()->GetBaseUnits() : AfxGetDialogBaseUnits();
    long long width = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xDC00 && c <= 0xDFFF && i > 0 && text[i - 1] >= 0xD800 && text[i - 1] <= 0xDBFF)
            continue;  // second half of a pair
        width += IsHalfWidth(c) ? units.cx : 2 * units.cx;
    }
    return static_cast<int>(std::min<long long>(width, 0x3FFFFFFF));
}

void CZorExpandComboBox::AdjustDroppedWidth() {
    CRect box;
    GetWindowRect(&box);
    const CSize units = GetOwnerDialog() ? GetOwnerDialog()->GetBaseUnits() : AfxGetDialogBaseUnits();
    int widest = 0;
    for (const QelListEntry& e : Entries()) widest = std::max(widest, EstimateTextWidth(e.text));
    const int wanted = Entries().empty() ? 0 : widest + Margin(units);
    SetDroppedWidth(static_cast<UINT>(std::max(wanted, box.Width())));
}

CQelComboBoxEx::CQelComboBoxEx(bool bAutoAdjust, bool bNoDuplicates)
    : m_bAutoAdjust(bAutoAdjust), m_bNoDuplicates(bNoDuplicates) {}

int CQelComboBoxEx::AddString(std::u16string_view text, DWORD_PTR itemData, int) {
    if (m_bNoDuplicates)
        for (const QelListEntry& e : Entries())
            if (e.text == text) return static_cast<int>(CB_ERR);
    const int index = CComboBox::AddString(text);
    if (index < 0) return index;
    SetItemData(index, itemData);
    if (m_bAutoAdjust) AdjustDroppedWidth();
    return index;
}
