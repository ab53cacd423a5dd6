// The writer: one layout written to either sink.
#include "format/tpj_writer.h"

#include <sys/stat.h>

#include <cstdint>
#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <unordered_set>

#include "format/base64.h"
#include "format/image_file.h"
#include "format/toruca_format.h"
#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "framework/strings.h"
#include "host/filekind.h"
#include "host/paths.h"
#include "model/tpjfile.h"

namespace qel::format {

namespace {

using namespace qel::format;

// Room for every literal of the header block and the MIME envelope, and
// for those of one part; generous, it only has to be an upper bound.
constexpr std::size_t kHeaderLiterals = 512;
constexpr std::size_t kPartLiterals = 160;
// Images are read and encoded in blocks of whole Base64 lines (57 bytes),
// so that the blocks' encodings join up to that of the whole file; a block
// and its encoding fit the processor's cache together.
constexpr std::size_t kImageBlock = std::size_t{57} << 14;  // 912 KiB
// The codec's limit: four times the size must fit a signed 32-bit length.
constexpr std::uint64_t kImageLimit = std::uint64_t{1} << 29;
constexpr char16_t kTooLarge[] = u"is larger than 512 MiB";
constexpr std::size_t kHyphens = std::char_traits<char16_t>::length(kDelimiterHyphens);

// The bytes of a data line: its narrow text up to the first NUL.
std::string_view DataBytes(const std::string& field) { return std::string_view(field).substr(0, field.find('\0')); }

static_assert(kProjectForm.type == TYPE_PROJECT && kDetailForm.type == TYPE_CARD && kSnippetForm.type == TYPE_SNIP);

void Line(CardSink& sink, std::u16string_view key, std::u16string_view value) {
    sink.Text(key);
    sink.Text(kHeaderSeparator);
    sink.Text(value);
    sink.Text(kCrLf);
}

// A delimiter line without its line end.
void Delimiter(CardSink& sink, std::u16string_view boundary) {
    sink.Text(kDelimiterHyphens);
    sink.Text(boundary);
}

// name="value" of a header value.
void Parameter(CardSink& sink, std::u16string_view name, std::u16string_view value) {
    sink.Text(name);
    sink.Text(kParamOpen);
    sink.Text(value);
    sink.Text(kParamClose);
}

// A file name as its name="..." parameter holds it: a name taken from a
// page or a file may hold what would end the line or the value.
std::u16string SafeName(std::u16string name) {
    for (char16_t& c : name)
        if (std::find(std::begin(kNameUnsafe), std::end(kNameUnsafe), c) != std::end(kNameUnsafe)) c = kNameReplacement;
    return name;
}

// The last guard of the header lines: a value with a line break would end
// its line and start another (a URL that writes a Data1 of its own), so
// the card is not written at all.
void RequireOneLine(std::u16string_view value, std::u16string_view what) {
    if (value.find_first_of(kLineBreaks) == std::u16string_view::npos) return;
    throw std::invalid_argument(qel::framework::WideToUtf8(what) +
                                " holds a line break, which no header line of a card can hold");
}

// The size of an entry's image: its bytes in memory, or a file that is there
// to be read; 0 for anything else (the reading itself decides what a
// missing or unreadable file becomes).
std::uint64_t FileSizeForEstimate(const CQelTpjImgFile& entry) {
    if (entry.m_data) return entry.m_data->size();
    const std::u16string& path = entry.m_strPath;
    if (path.empty() || path.find(u'\0') != std::u16string::npos) return 0;
    struct stat st;
    if (::stat(qel::framework::PathToNative(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

// Calls `f` with each line of the page that starts with "--", from its
// first character on. Lines start where the page starts and after every CR
// or LF: our reader ends lines at LF only, but MIME readers that end them at
// a CR alone too must not meet a delimiter either.
template <typename F>
void ForEachHyphenLine(std::u16string_view html, F f) {
    for (std::size_t pos = 0; pos < html.size();) {
        if (html.substr(pos).starts_with(kDelimiterHyphens)) f(html.substr(pos));
        pos = html.find_first_of(kCrLf, pos);
        if (pos == std::u16string_view::npos) break;
        ++pos;
    }
}

// True when a line of the page starts with "--" and the boundary, which a
// reader could take for a delimiter. Compared as the bytes written: a
// character that code page 932 lacks is written as a reference ("&#N;"), so
// different texts can give the same bytes. Every character gives one byte
// or more, so as many characters as the boundary has bytes suffice.
bool PageHoldsDelimiter(std::u16string_view html, std::u16string_view boundary) {
    const std::string bytes = qel::framework::WideToCp932(boundary);
    bool held = false;
    ForEachHyphenLine(html, [&](std::u16string_view line) {
        const std::u16string_view after = line.substr(kHyphens, bytes.size());
        held = held || qel::framework::WideToCp932(after).compare(0, bytes.size(), bytes) == 0;
    });
    return held;
}

// The boundary of the text: the record's, unless it is empty (a file read
// without one; "--" alone delimits nothing for a reader) or a line of the
// page starts with "--" and it; then the first boundary of the default's
// form (ten decimal digits, counting up from 0) that no line of the page
// starts with. A page of n lines rules out at most n of them, so the search
// ends. (Only ASCII digits are written as digits, so these compare as text.)
std::u16string BoundaryFor(std::u16string_view html, const std::u16string& boundary) {
    if (!boundary.empty() && !PageHoldsDelimiter(html, boundary)) return boundary;
    constexpr std::size_t kDigits = std::char_traits<char16_t>::length(kDefaultBoundary);
    std::unordered_set<std::u16string_view> taken;
    ForEachHyphenLine(html, [&](std::u16string_view line) { taken.insert(line.substr(kHyphens, kDigits)); });
    std::u16string candidate(kDigits, u'0');
    for (unsigned long long n = 0;; ++n) {
        unsigned long long rest = n;
        for (std::size_t i = kDigits; i-- > 0; rest /= 10) candidate[i] = static_cast<char16_t>(u'0' + rest % 10);
        if (taken.count(candidate) == 0) return candidate;
    }
}

bool WritesPart(const CQelTpjImgFile& entry, bool pageImage) {
    return !entry.m_strPath.empty() && (!pageImage || !entry.m_strId.empty());
}

// Encodes the `length` bytes of the open file into the sink, a block at a
// time; raises when the file turns out longer or shorter than that.
void EncodeBlocks(ImageFile& file, std::uint64_t length, const std::u16string& path, CardSink& sink) {
    const std::size_t blockSize = static_cast<std::size_t>(std::min<std::uint64_t>(kImageBlock, length + 1));
    const std::unique_ptr<unsigned char[]> block(new unsigned char[blockSize]);
    std::uint64_t done = 0;
    for (;;) {
        // One byte more than the length is asked for: it is there only when
        // the file grew. A block is filled whole before it is encoded, so
        // that every block but the last holds whole lines.
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(blockSize, length + 1 - done));
        const std::size_t filled = file.Read(block.get(), want);
        done += filled;
        if (done > length) throw CFileException(CFileException::genericException, 0, path, u"grew while it was read");
        if (filled > 0) sink.Base64(block.get(), filled, 0);
        if (filled < want) break;
    }
    if (done < length) throw CFileException(CFileException::endOfFile, 0, path, u"shrank while it was read");
}

// Encodes the image file at `path` into the sink, a block at a time. A name
// that leads to no file (nothing there, a folder, a URL) gives no bytes;
// anything else that is there but cannot be read whole raises: a file
// without permission, a FIFO or device (never read: it could block or never
// end), a file of 512 MiB or more, and one whose size changes while it is
// read (the size at open is the image's; the file is read to its end).
void EncodeImageFile(const std::u16string& path, CardSink& sink) {
    ImageFile file(path);
    if (!file.IsOpen()) return;
    const std::uint64_t length = file.Size();
    if (length >= kImageLimit) AfxThrowFileException(CFileException::genericException, 0, path, kTooLarge);
    file.AdviseSequential();
    EncodeBlocks(file, length, path, sink);
}

// Encodes an image kept in memory (an inline image of a page) in the same
// blocks as a file's.
void EncodeImageData(const std::string& data, const std::u16string& name, CardSink& sink) {
    if (data.size() >= kImageLimit) AfxThrowFileException(CFileException::genericException, 0, name, kTooLarge);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    for (std::size_t done = 0; done < data.size(); done += kImageBlock)
        sink.Base64(bytes + done, std::min(kImageBlock, data.size() - done), 0);
}

}  // namespace

// GIF, JPEG, PNG and Flash as the host names them; any other kind by its
// signature, or as plain bytes, so that every part has a header a MIME
// reader knows (a line of only the name piece, as older cards have, loses
// the part for them).
const char16_t* PageImageContentType(const CQelTpjImgFile& entry) {
    const std::u16string& path = entry.m_strPath;
    const std::string* data = entry.m_data.get();
    const auto* bytes = data ? reinterpret_cast<const unsigned char*>(data->data()) : nullptr;
    const std::size_t size = data ? data->size() : 0;
    const int kind = data ? CQelTktUtil::whatKindOfData(path, bytes, size) : CQelTktUtil::whatKindOfFile(path, false);
    if (kind == CQelTktUtil::KIND_FLASH) return kFlashContentType;
    if (kind == CQelTktUtil::KIND_IMAGE) {
        switch (data ? CQelTktUtil::whatKindOfImageData(path, bytes, size) : CQelTktUtil::whatKindOfImage(path)) {
            case CQelTktUtil::IMAGE_GIF: return kGifContentType;
            case CQelTktUtil::IMAGE_JPEG: return kJpegContentType;
            case CQelTktUtil::IMAGE_PNG: return kPngContentType;
            default: break;
        }
    }
    return data ? qel::host::OtherMediaTypeOfData(bytes, size) : qel::host::OtherMediaTypeOf(path);
}

bool WriteImagePart(CardSink& sink, const CQelTpjImgFile& entry, bool pageImage, std::u16string_view boundary) {
    if (!WritesPart(entry, pageImage)) return false;
    Delimiter(sink, boundary);
    sink.Text(kCrLf);

    sink.Text(kKeyContentType);
    sink.Text(kHeaderSeparator);
    sink.Text(pageImage ? PageImageContentType(entry) : kIconContentType);
    sink.Text(kParamSeparator);
    Parameter(sink, kParamName, SafeName(getBaseName(entry.m_strPath)));
    sink.Text(kParamSeparator);
    if (!pageImage) {
        Parameter(sink, kParamTitle, entry.m_strId);
        sink.Text(kCrLf);
        Line(sink, kKeyTransferEncoding, kEncodingBase64);
        sink.Text(kCrLf);
    } else {
        sink.Text(kCrLf);
        Line(sink, kKeyTransferEncoding, kEncodingBase64);
        sink.Text(kKeyContentId);
        sink.Text(kHeaderSeparator);
        sink.Text(std::u16string_view(&kContentIdOpen, 1));
        sink.Text(entry.m_strId);
        sink.Text(std::u16string_view(&kContentIdClose, 1));
        sink.Text(kCrLf);
        sink.Text(kCrLf);
    }
    if (entry.m_data) EncodeImageData(*entry.m_data, entry.m_strPath, sink);
    else EncodeImageFile(entry.m_strPath, sink);
    sink.Text(kCrLf);
    return true;
}

namespace {

// Raises std::invalid_argument for a value of a header line that is
// written and holds a line break.
void CheckHeaderValues(const CQelTpjFile& record, bool mime, std::u16string_view boundary) {
    const int code = CQelTpjFile::VersionToCode(record.m_strVersion);
    RequireOneLine(record.m_strVersion, kKeyVersion);
    RequireOneLine(record.m_strUrl, kKeyUrl);
    if (code > 1) {
        RequireOneLine(record.m_strIpId, kKeyIpId);
        RequireOneLine(record.m_strSortId, kKeySortId);
        RequireOneLine(record.m_strExpires, kKeyExpires);
    }
    if (code > 3) RequireOneLine(record.m_strLastModified, kKeyLastModified);
    if (!mime) return;
    RequireOneLine(boundary, kParamBoundary);
    if (WritesPart(record.m_uniqueIcon, false)) RequireOneLine(record.m_uniqueIcon.m_strId, u"the unique icon's title");
    for (int i = 0; i < record.m_arrImages.GetSize(); ++i)
        if (WritesPart(record.m_arrImages[i], true)) RequireOneLine(record.m_arrImages[i].m_strId, kKeyContentId);
}

// Checks every value of a header line, and every image against the codec's
// limit, before anything is written (so the failure names the value or the
// image, never a half-written file), and returns an upper bound of the
// text's characters.
std::size_t CheckAndMeasure(const CQelTpjFile& record, bool mime, std::u16string_view boundary) {
    CheckHeaderValues(record, mime, boundary);
    std::size_t size = kHeaderLiterals + record.m_strVersion.size() + record.m_strUrl.size() + record.m_strIpId.size() +
                       record.m_strSortId.size() + record.m_strExpires.size() + record.m_strLastModified.size();
    for (const std::string* data : {&record.m_strData1, &record.m_strData2, &record.m_strData3})
        size += Base64RequiredLength(DataBytes(*data).size(), BASE64_NO_LINE_BREAKS);
    if (!mime) return size;
    // A LF alone is written as CR LF: one character more each.
    const std::u16string& html = record.m_strHtml;
    size += 3 * boundary.size() + html.size() + static_cast<std::size_t>(std::count(html.begin(), html.end(), u'\n'));
    auto addPart = [&](const CQelTpjImgFile& entry, bool pageImage) {
        if (!WritesPart(entry, pageImage)) return;
        const std::uint64_t bytes = FileSizeForEstimate(entry);
        if (bytes >= kImageLimit)
            AfxThrowFileException(CFileException::genericException, 0, entry.m_strPath, kTooLarge);
        size += kPartLiterals + boundary.size() + entry.m_strPath.size() + entry.m_strId.size() +
                Base64RequiredLength(static_cast<std::size_t>(bytes), 0);
    };
    addPart(record.m_uniqueIcon, false);
    for (int i = 0; i < record.m_arrImages.GetSize(); ++i) addPart(record.m_arrImages[i], true);
    return size;
}

}  // namespace

namespace {

// A record of no known type gets neither a magic line nor a Type line.
void WriteMagicAndVersion(const CardForm* form, const CQelTpjFile& record, CardSink& sink) {
    if (form) sink.Text(form->magic), sink.Text(kCrLf);
    Line(sink, kKeyVersion, record.m_strVersion);
    if (form) Line(sink, kKeyType, form->typeValue), sink.Text(kCrLf);
}

// A data line is the Base64 of the field's bytes on one line. Encoding
// without line breaks gives exactly the text with the encoder's CR LF pairs
// cut out, since Base64 digits never form one. A line break that is part of
// the field survives: it is among the encoded bytes.
void WriteDataLines(const CQelTpjFile& record, CardSink& sink) {
    const char16_t* const dataKeys[] = {kKeyData1, kKeyData2, kKeyData3};
    const std::string* const dataFields[] = {&record.m_strData1, &record.m_strData2, &record.m_strData3};
    for (int i = 0; i < 3; ++i) {
        const std::string_view bytes = DataBytes(*dataFields[i]);
        sink.Text(dataKeys[i]);
        sink.Text(kHeaderSeparator);
        sink.Base64(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), BASE64_NO_LINE_BREAKS);
        sink.Text(kCrLf);
    }
}

// The header lines after the data lines, as many as the version has.
void WriteVersionedLines(const CQelTpjFile& record, CardSink& sink) {
    const int code = CQelTpjFile::VersionToCode(record.m_strVersion);
    Line(sink, kKeyCategory, qel::framework::Format(kCategoryFormat, record.m_nCategory));
    if (code > 1) {
        Line(sink, kKeyIpId, record.m_strIpId);
        Line(sink, kKeySortId, record.m_strSortId);
    }
    // A project file leaves out the default "both allowed".
    if (code > 2 && !(record.m_nType == TYPE_PROJECT && record.m_nDist == 4))
        Line(sink, kKeyDist, qel::framework::Format(kNumberFormat, record.m_nDist));
    if (code > 1 && record.m_nColorId != 1)
        Line(sink, kKeyColorId, qel::framework::Format(kNumberFormat, record.m_nColorId));
    if (code > 1) Line(sink, kKeyExpires, record.m_strExpires);
    if (code > 3) Line(sink, kKeyLastModified, record.m_strLastModified);
}

// The page's text with every LF that no CR precedes written as CR LF; a CR
// that no LF follows stays as it is.
void WritePageText(std::u16string_view html, CardSink& sink) {
    std::size_t from = 0;
    for (std::size_t lf = html.find(u'\n'); lf != std::u16string_view::npos; lf = html.find(u'\n', lf + 1)) {
        if (lf > 0 && html[lf - 1] == u'\r') continue;
        sink.Text(html.substr(from, lf - from));
        sink.Text(kCrLf);
        from = lf + 1;
    }
    sink.Text(html.substr(from));
}

// The MIME body: the envelope, the page's part, the icon's and the images'
// parts, the closing delimiter (without its line end).
void WriteMimeBody(const CQelTpjFile& record, std::u16string_view boundary, CardSink& sink) {
    sink.Text(kCrLf);
    Line(sink, kKeyMimeVersion, kMimeVersion);
    sink.Text(kKeyContentType);
    sink.Text(kHeaderSeparator);
    sink.Text(kMultipartMixed);
    sink.Text(kParamSeparator);
    Parameter(sink, kParamBoundary, boundary);
    sink.Text(kCrLf);
    sink.Text(kCrLf);

    Delimiter(sink, boundary);
    sink.Text(kCrLf);
    Line(sink, kKeyContentType, kHtmlContentType);
    Line(sink, kKeyTransferEncoding, kEncoding8bit);
    sink.Text(kCrLf);
    // The page with its line ends as CR LF, as every line of 8bit MIME text
    // ends (a LF alone becomes CR LF: so the page reads back as written
    // again); the first CR LF after it ends a last line that has none.
    WritePageText(record.m_strHtml, sink);
    for (int i = 0; i < kPageLineEnds; ++i) sink.Text(kCrLf);

    WriteImagePart(sink, record.m_uniqueIcon, false, boundary);
    for (int i = 0; i < record.m_arrImages.GetSize(); ++i) WriteImagePart(sink, record.m_arrImages[i], true, boundary);

    Delimiter(sink, boundary);
    sink.Text(kDelimiterHyphens);
}

}  // namespace

void WriteCard(const CQelTpjFile& record, CardSink& sink) {
    const CardForm* form = FormOfType(record.m_nType);
    const bool mime = form == nullptr || form->mime;
    const std::u16string boundary = mime ? BoundaryFor(record.m_strHtml, record.m_strBoundary) : record.m_strBoundary;
    const std::size_t size = CheckAndMeasure(record, mime, boundary);
    if (sink.WantsSizeHint()) sink.SizeHint(size);

    WriteMagicAndVersion(form, record, sink);
    Line(sink, kKeyUrl, record.m_strUrl);
    WriteDataLines(record, sink);
    WriteVersionedLines(record, sink);
    if (mime) WriteMimeBody(record, boundary, sink);
    sink.Text(kCrLf);
}

std::u16string GetFileText(const CQelTpjFile& record) {
    std::u16string text;
    WideTextSink sink(text);
    WriteCard(record, sink);
    return text;
}

void WriteCardCp932(const CQelTpjFile& record, const Cp932BlockSink::WriteFn& write) {
    Cp932BlockSink sink(write);
    WriteCard(record, sink);
    sink.Flush();
}

void WriteImageParts(const CQelTpjFile& record, std::u16string& text, bool pageImages, const std::u16string& boundary) {
    if (!pageImages) {
        WriteImagePart(text, record.m_uniqueIcon, false, boundary);
        return;
    }
    for (int i = 0; i < record.m_arrImages.GetSize(); ++i) WriteImagePart(text, record.m_arrImages[i], true, boundary);
}

bool WriteImagePart(std::u16string& text, const CQelTpjImgFile& entry, bool pageImage, const std::u16string& boundary) {
    WideTextSink sink(text);
    return WriteImagePart(sink, entry, pageImage, std::u16string_view(boundary));
}

}  // namespace qel::format
