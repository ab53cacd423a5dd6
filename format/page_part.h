// The page part of a card as other MIME writers make it: its body in any
// transfer encoding, and its text in the charset it declares.
//
// Body bytes arrive as the reader keeps them: each line of the part followed
// by LF, the last LF being the line end that belongs to the delimiter after
// the part.
#pragma once

#include <string>
#include <string_view>

namespace qel::format {

// How a page part's body is written, from its Content-Transfer-Encoding:
// "8bit", "7bit", "binary" or none are the bytes themselves; "base64" and
// "quoted-printable" are decoded. Any other value reads as the bytes.
enum class PageEncoding { asIs, base64, quotedPrintable };
PageEncoding PageEncodingOf(std::u16string_view transferEncoding);

// The bytes of a quoted-printable body (RFC 2045): "=XX" is the byte XX, a
// line that ends with "=" goes on in the next one (soft line break), blanks
// at a line's end are transport padding. An "=" that starts no escape stays
// as it is.
std::string DecodeQuotedPrintable(std::string_view body);

// Page lines as the record's text: `lines` separated by LF, each LF made
// CR LF, read in `charset` (the part's charset parameter; code page 932 when
// it is empty or names Shift_JIS or a set no decoder here knows). A CR
// inside a line stays.
std::u16string PageText(std::string_view lines, std::u16string_view charset);
// Decoded page bytes (Base64, quoted-printable) as the record's text: CR LF
// and LF alone both end a line.
std::u16string DecodedPageText(std::string_view bytes, std::u16string_view charset);

}  // namespace qel::format
