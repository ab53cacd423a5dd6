// The character set a page declares in its meta elements and XML
// declaration, and making those declarations name Shift_JIS.
//
// The card's HTML part is always written in code page 932 (the file text is
// converted as a whole, and its part header says charset=Shift_JIS). A page
// that declared UTF-8 or EUC-JP in a meta element would keep saying so inside
// the card, and a handset that believes the markup reads the text wrong, so
// the import makes the markup it hands to the card declare Shift_JIS.
#pragma once

#include <string>
#include <string_view>

class Document;

namespace qel::html {

// The label written into a declaration that is changed.
inline constexpr char16_t kShiftJisLabel[] = u"Shift_JIS";

// True when `label` names Shift_JIS or code page 932 (shift_jis, shift-jis,
// sjis, x-sjis, windows-31j, cp932, ms932, ms_kanji, csshiftjis, x-ms-cp932),
// ignoring ASCII case and blanks at both ends.
bool IsShiftJisLabel(std::u16string_view label);

// Makes every meta element of `doc` that declares a character set other
// than Shift_JIS declare Shift_JIS instead, through setAttribute so that
// the rest of the page stays as written: `<meta charset=...>` gets the value
// "Shift_JIS"; `<meta http-equiv="Content-Type" content="...">` gets its
// charset label replaced and the rest of its content kept. Declarations of
// Shift_JIS (any alias) and meta elements that declare nothing are left
// alone. Returns the number of attributes changed.
int DeclareShiftJis(Document& doc);

// The same for the XML declaration that opens an XHTML page
// (`<?xml version="1.0" encoding="UTF-8"?>`, after a byte-order mark if
// any): an encoding other than Shift_JIS becomes "Shift_JIS" in its own
// quotes; a declaration without an encoding, and text that does not begin
// with a declaration, are left alone. True when `markup` was changed.
bool DeclareShiftJisInXmlDeclaration(std::u16string& markup);

}  // namespace qel::html
