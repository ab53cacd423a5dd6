// The constants of the ToruCa snippet, detail and project files, in one
// place for the writer and the reader.
//
// Layout of a file (code page 932, every line of our own ended by CR LF):
//   magic line            "TORUCA_PROJECT_V2" (project) or "ToruCa" (snippet, detail)
//   "Version: 2.1"
//   "Type: PROJECT|SNIP|CARD" and one empty line
//   "URL: ", "Data1: ".."Data3: " (Base64 on one line), "Cat: %04d"
//   from version 1.1: "IP-ID: ", "Sort-ID: ", ["Dist: %d"], ["Color-ID: %d"], "Expires: "
//   from version 2.1: "LM: "
//   detail and project only: empty line, "MIME-Version: 1.0", the multipart
//   Content-Type with the boundary, empty line, the HTML part (8bit), the
//   icon part and the page image parts (Base64), the closing delimiter
//   one final CR LF
#pragma once

#include <cstddef>

namespace qel::format {

// The output types (m_nType) are TYPE_PROJECT, TYPE_SNIP and TYPE_CARD of
// model/tpjfile.h.

// Magic first lines.
inline constexpr char16_t kMagicProject[] = u"TORUCA_PROJECT_V2";
inline constexpr char16_t kMagicToruca[] = u"ToruCa";

inline constexpr char16_t kCrLf[] = u"\r\n";

// Header keys, as written; the reader compares them ignoring case.
inline constexpr char16_t kKeyVersion[] = u"Version";
inline constexpr char16_t kKeyType[] = u"Type";
inline constexpr char16_t kKeyUrl[] = u"URL";
inline constexpr char16_t kKeyData1[] = u"Data1";
inline constexpr char16_t kKeyData2[] = u"Data2";
inline constexpr char16_t kKeyData3[] = u"Data3";
inline constexpr char16_t kKeyCategory[] = u"Cat";
inline constexpr char16_t kKeyIpId[] = u"IP-ID";
inline constexpr char16_t kKeySortId[] = u"Sort-ID";
inline constexpr char16_t kKeyDist[] = u"Dist";
inline constexpr char16_t kKeyColorId[] = u"Color-ID";
inline constexpr char16_t kKeyExpires[] = u"Expires";
inline constexpr char16_t kKeyLastModified[] = u"LM";
inline constexpr char16_t kKeyMimeVersion[] = u"MIME-Version";
inline constexpr char16_t kKeyContentType[] = u"Content-Type";
inline constexpr char16_t kKeyTransferEncoding[] = u"Content-Transfer-Encoding";
inline constexpr char16_t kKeyContentId[] = u"Content-ID";

// Values of the Type line.
inline constexpr char16_t kTypeValueProject[] = u"PROJECT";
inline constexpr char16_t kTypeValueSnip[] = u"SNIP";
inline constexpr char16_t kTypeValueCard[] = u"CARD";

// The MIME version written, whatever a file that was read declared.
inline constexpr char16_t kMimeVersion[] = u"1.0";
// The record's boundary, written unless it is empty or a line of the page
// starts with "--" and it: then the writer takes the first ten-digit one
// from "0000000000" up that no line of the page starts with. A reader that
// finds a boundary declared takes only "--boundary" and "--boundary--" for
// delimiters.
inline constexpr char16_t kDefaultBoundary[] = u"0000000000";

// Content types (with their separating ";" as written before the name).
inline constexpr char16_t kMultipartMixed[] = u"multipart/mixed";
inline constexpr char16_t kHtmlContentType[] = u"text/html;charset=Shift_JIS";
inline constexpr char16_t kIconContentType[] = u"application/x-ticon";
inline constexpr char16_t kGifContentType[] = u"image/gif";
inline constexpr char16_t kJpegContentType[] = u"image/jpeg";
inline constexpr char16_t kPngContentType[] = u"image/png";
inline constexpr char16_t kFlashContentType[] = u"application/x-shockwave-flash";

// Transfer encodings.
inline constexpr char16_t kEncoding8bit[] = u"8bit";
inline constexpr char16_t kEncodingBase64[] = u"base64";

// Characters per Base64 line (19 groups of four), lines joined by CR LF.
inline constexpr std::size_t kBase64LineLength = 76;

// Default names of the output files, made unique in the temporary folder.
inline constexpr char16_t kDefaultProjectName[] = u"toruca.tpj";
inline constexpr char16_t kDefaultDetailName[] = u"toruca_detail.trc";
inline constexpr char16_t kDefaultSnipName[] = u"toruca.trc";

// Extensions the export reads as ToruCa files (compared ignoring case).
inline constexpr char16_t kExtProject[] = u"tpj";
inline constexpr char16_t kExtToruca[] = u"trc";

}  // namespace qel::format
