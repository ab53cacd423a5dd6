// The constants of the ToruCa snippet, detail and project files, in one
// place for the writer, the reader and the programs: every magic line, key,
// parameter and delimiter, and the table of the three forms.
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
//
// Only the C++ library is used here: qelhost and the handset limits, which
// never link the module, read the same facts (format/header_lines.h).
#pragma once

#include <cstddef>
#include <string_view>

namespace qel::format {

// Magic first lines.
inline constexpr char16_t kMagicProject[] = u"TORUCA_PROJECT_V2";
inline constexpr char16_t kMagicToruca[] = u"ToruCa";

inline constexpr char16_t kCrLf[] = u"\r\n";
// No header line holds a line break: the writer refuses a value with one,
// and the programs refuse one typed into a one-line value (and a NUL).
inline constexpr char16_t kLineBreaks[] = u"\r\n";
// A file name taken from a page or a file has these replaced by
// kNameReplacement in its name="..." parameter: a line break or NUL would
// end the header line, a double quote the value.
inline constexpr char16_t kNameUnsafe[] = {u'\r', u'\n', u'\0', u'"'};
inline constexpr char16_t kNameReplacement = u'_';

// Header keys, as written; the reader compares them ignoring case. A header
// line is the key, the separator and the value; the reader splits it at the
// separator's first character, the colon.
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
// Read for an attachment's file name (its filename parameter) when the
// Content-Type names none, as other MIME writers give it; never written.
inline constexpr char16_t kKeyContentDisposition[] = u"Content-Disposition";
inline constexpr char16_t kHeaderSeparator[] = u": ";

// How the numbers of the header are written.
inline constexpr char16_t kCategoryFormat[] = u"%04d";
inline constexpr char16_t kNumberFormat[] = u"%d";

// The MIME version written, whatever a file that was read declared.
inline constexpr char16_t kMimeVersion[] = u"1.0";
// The record's boundary, written unless it is empty or a line of the page
// starts with "--" and it: then the writer takes the first ten-digit one
// from "0000000000" up that no line of the page starts with. A reader that
// finds a boundary declared takes only "--boundary" and "--boundary--" for
// delimiters.
inline constexpr char16_t kDefaultBoundary[] = u"0000000000";
// Line ends the writer puts after the page: the last belongs to the
// delimiter that follows, the others are padding, which the reader takes
// off again (with the delimiter's own), so that the page comes back as it
// was written. A page that ends in a line end therefore keeps it.
inline constexpr int kPageLineEnds = 3;
// Before the boundary in a delimiter line; after it too in the closing one.
inline constexpr char16_t kDelimiterHyphens[] = u"--";

// Parameters of a header value: each after a ";", written name="value".
inline constexpr char16_t kParamSeparator[] = u";";
inline constexpr char16_t kParamOpen[] = u"=\"";  // between the name and the value
inline constexpr char16_t kParamClose[] = u"\"";  // after the value
inline constexpr char16_t kParamBoundary[] = u"boundary";
inline constexpr char16_t kParamName[] = u"name";          // an attachment's file name
inline constexpr char16_t kParamTitle[] = u"title";        // the unique icon's title
inline constexpr char16_t kParamCharset[] = u"charset";    // a page part's character set
inline constexpr char16_t kParamFilename[] = u"filename";  // of a Content-Disposition

// A Content-ID value: the id in angle brackets.
inline constexpr char16_t kContentIdOpen = u'<';
inline constexpr char16_t kContentIdClose = u'>';

// Content types.
inline constexpr char16_t kMultipartMixed[] = u"multipart/mixed";
inline constexpr char16_t kHtmlContentType[] = u"text/html;charset=Shift_JIS";
// The media type that makes a part the page, whatever its parameters.
inline constexpr char16_t kHtmlMediaType[] = u"text/html";
inline constexpr char16_t kIconContentType[] = u"application/x-ticon";
inline constexpr char16_t kGifContentType[] = u"image/gif";
inline constexpr char16_t kJpegContentType[] = u"image/jpeg";
inline constexpr char16_t kPngContentType[] = u"image/png";
inline constexpr char16_t kFlashContentType[] = u"application/x-shockwave-flash";

// Transfer encodings.
inline constexpr char16_t kEncoding8bit[] = u"8bit";
inline constexpr char16_t kEncodingBase64[] = u"base64";
// Read in a page part that other MIME writers make; never written.
inline constexpr char16_t kEncodingQuotedPrintable[] = u"quoted-printable";

// Characters per Base64 line (19 groups of four), lines joined by CR LF.
inline constexpr std::size_t kBase64LineLength = 76;

// Extensions the export reads as ToruCa files (compared ignoring case).
inline constexpr char16_t kExtProject[] = u"tpj";
inline constexpr char16_t kExtToruca[] = u"trc";

// --- The three forms ---------------------------------------------------------

struct CardForm {
    int type;                     // the record's output type: TYPE_PROJECT, TYPE_CARD, TYPE_SNIP (model/tpjfile.h)
    const char16_t* magic;        // the first line
    const char16_t* typeValue;    // the value of the Type line
    const char16_t* defaultName;  // of the output file, made unique in the temporary folder
    int dialogValue;              // the output method dialog's code
    const char* name;             // as the programs' command lines name it
    bool mime;                    // the page and the images follow in a MIME body
};

// In the order of the output method dialog's radio buttons.
inline constexpr CardForm kForms[] = {
    {1, kMagicProject, u"PROJECT", u"toruca.tpj", 1, "project", true},
    {4, kMagicToruca, u"CARD", u"toruca_detail.trc", 2, "detail", true},
    {2, kMagicToruca, u"SNIP", u"toruca.trc", 4, "snippet", false},
};
inline constexpr const CardForm& kProjectForm = kForms[0];
inline constexpr const CardForm& kDetailForm = kForms[1];
inline constexpr const CardForm& kSnippetForm = kForms[2];

// The form of a record's output type; null for any other type.
constexpr const CardForm* FormOfType(int type) {
    for (const CardForm& form : kForms)
        if (form.type == type) return &form;
    return nullptr;
}
// The form the output method dialog's code names; null for any other code.
constexpr const CardForm* FormOfDialogValue(int value) {
    for (const CardForm& form : kForms)
        if (form.dialogValue == value) return &form;
    return nullptr;
}
// The form a command line names ("project", "detail", "snippet"); null for
// any other name.
constexpr const CardForm* FormOfName(std::string_view name) {
    for (const CardForm& form : kForms)
        if (name == form.name) return &form;
    return nullptr;
}

}  // namespace qel::format
