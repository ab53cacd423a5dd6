// Inside the host library: turning page bytes into wide text, and wide or
// UTF-8 text into a Document. CQelHtmlData is the public face of both.
#pragma once

#include "host/api.h"
#include "host/charset.h"

#include <memory>
#include <string>
#include <string_view>

class Document;

namespace qel::host {
struct HtmlParseLimits;
}

namespace qel::host {

// The page's text and the encoding it was read in: "UTF-8", "UTF-16LE",
// "UTF-16BE", "CP932", "EUC-JP", "ISO-2022-JP", or another name that glibc's
// iconv knows when the page declares one.
struct DecodedHtml {
    std::u16string text;
    std::string encoding;
};

// Decodes the bytes of a page file. A byte-order mark decides first (and is
// not part of the text), then the zero bytes of UTF-16 without a mark, then
// the charset the page declares in a meta element within its first 1024
// bytes, then a strict UTF-8 check, then uchardet when it names a Japanese
// encoding, then EUC-JP when only EUC-JP reads the bytes without error;
// code page 932 otherwise.
// Bytes that are invalid in the chosen encoding read as U+FFFD.
QEL_HOST_API DecodedHtml DecodeHtmlBytes(std::string_view bytes);

// The encoding declared by the first usable <meta charset> or
// <meta http-equiv="Content-Type" content="...; charset=..."> in `head`
// (the page's first bytes), or empty.
QEL_HOST_API std::string DeclaredEncoding(std::string_view head);

// Parses UTF-8 text into a Document that keeps the text for getHTMLText.
// A leading UTF-8 byte-order mark stays in the text but is not parsed.
// The parse runs in a child process under `limits` (by default
// HtmlParseLimitsFor the text's size; host/html/htmlisolation.h). Null, with
// `why` (when given) saying why, when the text is too large for the
// parser's 32-bit offsets, when it nests its elements beyond the bounds of
// host/html/htmldepth.h, or when the parse met a limit or failed.
QEL_HOST_API std::unique_ptr<Document> ParseHtmlDocument(std::string utf8, std::u16string* why = nullptr,
                                                         const HtmlParseLimits* limits = nullptr);

// The document of `utf8` from the bytes a parse child wrote for it (the
// records and their trailer, host/html/htmlrecords.h), as the parent reads
// them: every record is checked against the bytes left. Null when they are
// not whole or do not fit the text.
QEL_HOST_API std::unique_ptr<Document> DocumentFromRecordStream(std::string utf8, std::string_view stream);

}  // namespace qel::host
