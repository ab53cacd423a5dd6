// The host's combo boxes: CZorExpandComboBox, a combo box whose drop-down
// list can be widened to fit its entries, and CQelComboBoxEx, the combo box
// class that the module's dialogs bind to their template combos.
#pragma once

#include "host/api.h"

#include <string_view>

#include "framework/controls.h"

class QEL_HOST_API CZorExpandComboBox : public CComboBox {
public:
    CZorExpandComboBox();

    // Sets the drop-down width (CB_SETDROPPEDWIDTH, pixels) to fit the
    // longest entry: its estimated width plus room for the scroll bar and
    // margins, and never less than the box itself. The estimate uses the
    // dialog's base units (the framework default when the box belongs to no
    // open dialog): a character of the half-width ranges (U+0000-U+00FF,
    // U+FF61-U+FF9F) is one base unit wide, any other character two (full
    // width). Without entries the drop-down is as wide as the box.
    void AdjustDroppedWidth();

    // The estimated width in pixels of `text`, as AdjustDroppedWidth measures.
    int EstimateTextWidth(std::u16string_view text) const;
};

class QEL_HOST_API CQelComboBoxEx : public CZorExpandComboBox {
public:
    // bAutoAdjust: widen the drop-down after every AddString.
    // bNoDuplicates: AddString refuses a text the box already holds
    // (compared exactly) and answers CB_ERR.
    CQelComboBoxEx(bool bAutoAdjust = false, bool bNoDuplicates = false);

    // Appends `text` (a sorted box inserts it in order) with item data
    // `itemData`; `imageIndex` names an image of the host's image list,
    // which this host does not draw. Returns the index of the new entry,
    // negative (CB_ERR) on failure.
    int AddString(std::u16string_view text, DWORD_PTR itemData, int imageIndex);
    using CComboBox::AddString;

    bool AutoAdjusts() const { return m_bAutoAdjust; }
    bool RefusesDuplicates() const { return m_bNoDuplicates; }

private:
    bool m_bAutoAdjust;
    bool m_bNoDuplicates;
};
