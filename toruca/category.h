// CQelTorucaCategory: the fixed table of ToruCa category codes behind the
// icon selection dialog. Ten genres, each with an ordered list of codes; 246
// codes in all, every integer from 1 to 252 but 108, 109, 111, 112, 114 and
// 120, each in exactly one genre. Code 0 means "no category icon" and lies in
// no genre.
//
// Stateless: create it on the stack where it is used.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "framework/strings.h"

class CQelTorucaCategory {
public:
    // Number of genres in the table (indices 0..9).
    static constexpr unsigned GENRE_COUNT = 10;
    // All genres together, displayed as "全て"; also GetGenre's answer for a
    // code that no genre holds.
    static constexpr unsigned GENRE_ALL = 10;

    virtual ~CQelTorucaCategory() = default;

    // Display name of genre 0..9, "全て" for GENRE_ALL, empty for any other
    // index. Listing 0, 1, 2, ... until the empty name yields eleven entries.
    std::u16string GetGenreName(unsigned genre) const;

    // The genre (0..9) whose list holds `code`, or GENRE_ALL when none does
    // (0 and any code outside the table).
    unsigned GetGenre(int code) const;

    // The codes of genre 0..9 in list order; empty for any other index.
    // The span refers to static data.
    static std::span<const int> GetCodes(unsigned genre);

    // Appends the codes of `genre` to an unsorted single-selection list box,
    // each as four lower-case hex digits ("%04x": code 100 reads "0064") with
    // the code as its item data; the item whose code equals `selected` becomes
    // the current selection, otherwise the selection is left alone.
    // GENRE_ALL lists genres 0..9 in order; any other index adds nothing.
    // `reset` first removes every item.
    //
    // ListBox is anything with the four list box requests used here:
    // ResetContent(), AddString(text) answering the new index or a negative
    // value on failure, SetItemData(index, data) and SetCurSel(index).
    template <class ListBox>
    void FillCodeList(ListBox& list, unsigned genre, int selected, bool reset) const;
};

template <class ListBox>
void CQelTorucaCategory::FillCodeList(ListBox& list, unsigned genre, int selected, bool reset) const {
    if (reset) list.ResetContent();
    if (genre == GENRE_ALL) {
        for (unsigned g = 0; g < GENRE_COUNT; ++g) FillCodeList(list, g, selected, false);
        return;
    }
    for (const int code : GetCodes(genre)) {
        const int index = list.AddString(qel::framework::Format(u"%04x", code));
        if (index < 0) continue;                                  // the list box refused the item: leave it out
        list.SetItemData(index, static_cast<std::size_t>(code));  // codes are never negative
        if (code == selected) list.SetCurSel(index);
    }
}
