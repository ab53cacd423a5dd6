// The writer of snippet, detail and project text (GetFileText). The layout
// is in format/toruca_format.h; every byte of it counts, since handsets and
// the ToruCa editor read what we write.
//
// The whole text is built in one wide string whose size is worked out
// before anything is appended, and image bytes are encoded straight into
// it, so a file with large images costs one text, one image buffer at a
// time, and no copies.
#include <sys/stat.h>

#include <memory>
#include <string_view>
#include <unordered_set>

#include "format/tpj_writer.h"

#include "format/base64.h"
#include "format/toruca_format.h"
#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "framework/hugepages.h"
#include "framework/strings.h"
#include "host/filekind.h"
#include "host/paths.h"
#include "model/tpjfile.h"
#include "toruca/torucautil.h"

namespace {

using namespace qel::format;

// Room for every literal of the header block and the MIME envelope, and
// for those of one part; generous, it only has to be an upper bound.
constexpr std::size_t kHeaderLiterals = 512;
constexpr std::size_t kPartLiterals = 160;

void AppendLine(std::u16string& text, std::u16string_view key, std::u16string_view value) {
    text += key;
    text += u": ";
    text += value;
    text += kCrLf;
}

// The bytes of a data line: its narrow text up to the first NUL.
std::string_view DataBytes(const std::string& field) {
    return std::string_view(field).substr(0, field.find('\0'));
}

// The size of a file that is there to be read; 0 for anything else (the
// reading itself decides what a missing or unreadable file becomes).
std::size_t FileSizeForEstimate(const std::u16string& path) {
    if (path.empty() || path.find(u'\0') != std::u16string::npos) return 0;
    struct stat st;
    if (::stat(qel::framework::PathToNative(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return static_cast<std::size_t>(st.st_size);
}

// Calls `f` with each line of the page that starts with "--", from its
// first character on. Lines start where the page starts and after every CR
// or LF: our reader ends lines at LF only, but MIME readers that end them at
// a CR alone too must not meet a delimiter either.
template <typename F>
void ForEachHyphenLine(std::u16string_view html, F f) {
    for (std::size_t pos = 0; pos < html.size();) {
        if (html[pos] == u'-' && pos + 1 < html.size() && html[pos + 1] == u'-') f(html.substr(pos));
        pos = html.find_first_of(u"\r\n", pos);
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
        held = held || qel::framework::WideToCp932(line.substr(2, bytes.size())).compare(0, bytes.size(), bytes) == 0;
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
    ForEachHyphenLine(html, [&](std::u16string_view line) { taken.insert(line.substr(2, kDigits)); });
    std::u16string candidate(kDigits, u'0');
    for (unsigned long long n = 0;; ++n) {
        unsigned long long rest = n;
        for (std::size_t i = kDigits; i-- > 0; rest /= 10) candidate[i] = static_cast<char16_t>(u'0' + rest % 10);
        if (taken.count(candidate) == 0) return candidate;
    }
}

}  // namespace

namespace qel::format {

std::u16string GetFileText(const CQelTpjFile& record) {
    const int code = CQelTpjFile::VersionToCode(record.m_strVersion);
    const bool mime = record.m_nType != TYPE_SNIP;
    const std::u16string boundary = mime ? BoundaryFor(record.m_strHtml, record.m_strBoundary) : record.m_strBoundary;

    // The size, worked out first so that the text is allocated once. An
    // image too large for the codec raises its error here, before anything
    // is read.
    std::size_t size = kHeaderLiterals + record.m_strVersion.size() + record.m_strUrl.size() + record.m_strIpId.size() +
                       record.m_strSortId.size() + record.m_strExpires.size() + record.m_strLastModified.size();
    for (const std::string* data : {&record.m_strData1, &record.m_strData2, &record.m_strData3})
        size += Base64RequiredLength(DataBytes(*data).size(), BASE64_NO_LINE_BREAKS);
    if (mime) {
        size += 3 * boundary.size() + record.m_strHtml.size();
        auto addPart = [&](const CQelTpjImgFile& entry) {
            std::size_t encoded = 0;
            try {
                encoded = Base64RequiredLength(FileSizeForEstimate(entry.m_strPath), 0);
            } catch (const CHResultException&) {
                // Said as the file's failure, so that the export can name it.
                AfxThrowFileException(CFileException::genericException, 0, entry.m_strPath, u"is larger than 512 MiB");
            }
            size += kPartLiterals + boundary.size() + entry.m_strPath.size() + entry.m_strId.size() + encoded;
        };
        if (!record.m_uniqueIcon.m_strPath.empty()) addPart(record.m_uniqueIcon);
        for (int i = 0; i < record.m_arrImages.GetSize(); ++i) {
            const CQelTpjImgFile& entry = record.m_arrImages[i];
            if (!entry.m_strPath.empty() && !entry.m_strId.empty()) addPart(entry);
        }
    }

    std::u16string text;
    text.reserve(size);
    qel::framework::AdviseHugePages(text.data(), text.capacity() * sizeof(char16_t));

    switch (record.m_nType) {
    case TYPE_PROJECT: text += kMagicProject, text += kCrLf; break;
    case TYPE_SNIP:
    case TYPE_CARD: text += kMagicToruca, text += kCrLf; break;
    default: break;
    }
    AppendLine(text, kKeyVersion, record.m_strVersion);
    switch (record.m_nType) {
    case TYPE_PROJECT: AppendLine(text, kKeyType, kTypeValueProject), text += kCrLf; break;
    case TYPE_SNIP: AppendLine(text, kKeyType, kTypeValueSnip), text += kCrLf; break;
    case TYPE_CARD: AppendLine(text, kKeyType, kTypeValueCard), text += kCrLf; break;
    default: break;
    }
    AppendLine(text, kKeyUrl, record.m_strUrl);

    // A data line is the Base64 of the field's bytes on one line. Encoding
    // without line breaks gives exactly the text with the encoder's CR LF
    // pairs cut out, since Base64 digits never form one. A line break that
    // is part of the field survives: it is among the encoded bytes.
    const char16_t* const dataKeys[] = {kKeyData1, kKeyData2, kKeyData3};
    const std::string* const dataFields[] = {&record.m_strData1, &record.m_strData2, &record.m_strData3};
    for (int i = 0; i < 3; ++i) {
        const std::string_view bytes = DataBytes(*dataFields[i]);
        text += dataKeys[i];
        text += u": ";
        AppendBase64(text, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), BASE64_NO_LINE_BREAKS);
        text += kCrLf;
    }

    AppendLine(text, kKeyCategory, qel::framework::Format(u"%04d", record.m_nCategory));
    if (code > 1) {
        AppendLine(text, kKeyIpId, record.m_strIpId);
        AppendLine(text, kKeySortId, record.m_strSortId);
    }
    // A project file leaves out the default "both allowed".
    if (code > 2 && !(record.m_nType == TYPE_PROJECT && record.m_nDist == 4)) AppendLine(text, kKeyDist, qel::framework::Format(u"%d", record.m_nDist));
    if (code > 1 && record.m_nColorId != 1) AppendLine(text, kKeyColorId, qel::framework::Format(u"%d", record.m_nColorId));
    if (code > 1) AppendLine(text, kKeyExpires, record.m_strExpires);
    if (code > 3) AppendLine(text, kKeyLastModified, record.m_strLastModified);

    if (mime) {
        text += kCrLf;
        AppendLine(text, kKeyMimeVersion, kMimeVersion);
        text += kKeyContentType;
        text += u": ";
        text += kMultipartMixed;
        text += u";boundary=\"";
        text += boundary;
        text += u"\"\r\n\r\n";

        text += u"--";
        text += boundary;
        text += kCrLf;
        AppendLine(text, kKeyContentType, kHtmlContentType);
        AppendLine(text, kKeyTransferEncoding, kEncoding8bit);
        text += kCrLf;
        // The page as held, its own line ends included; the first CR LF ends
        // a last line that has none.
        text += record.m_strHtml;
        text += u"\r\n\r\n\r\n";

        WriteImageParts(record, text, false, boundary);
        WriteImageParts(record, text, true, boundary);

        text += u"--";
        text += boundary;
        text += u"--";
    }
    text += kCrLf;
    return text;
}

void WriteImageParts(const CQelTpjFile& record, std::u16string& text, bool pageImages,
                     const std::u16string& boundary) {
    if (!pageImages) {
        WriteImagePart(text, record.m_uniqueIcon, false, boundary);
        return;
    }
    for (int i = 0; i < record.m_arrImages.GetSize(); ++i) WriteImagePart(text, record.m_arrImages[i], true, boundary);
}

bool WriteImagePart(std::u16string& text, const CQelTpjImgFile& entry, bool pageImage,
                    const std::u16string& boundary) {
    if (entry.m_strPath.empty()) return false;
    if (pageImage && entry.m_strId.empty()) return false;

    text += u"--";
    text += boundary;
    text += kCrLf;

    const char16_t* contentType = nullptr;
    if (!pageImage) {
        contentType = kIconContentType;
    } else {
        const int kind = CQelTktUtil::whatKindOfFile(entry.m_strPath, false);
        if (kind == CQelTktUtil::KIND_IMAGE) {
            switch (CQelTktUtil::whatKindOfImage(entry.m_strPath)) {
            case CQelTktUtil::IMAGE_GIF: contentType = kGifContentType; break;
            case CQelTktUtil::IMAGE_JPEG: contentType = kJpegContentType; break;
            case CQelTktUtil::IMAGE_PNG: contentType = kPngContentType; break;
            default: break;
            }
        } else if (kind == CQelTktUtil::KIND_FLASH) {
            contentType = kFlashContentType;
        }
    }
    if (contentType) {
        text += kKeyContentType;
        text += u": ";
        text += contentType;
        text += u';';
    }
    text += u"name=\"";
    text += getBaseName(entry.m_strPath);
    text += u"\";";
    if (!pageImage) {
        text += u"title=\"";
        text += entry.m_strId;
        text += u"\"\r\n";
        AppendLine(text, kKeyTransferEncoding, kEncodingBase64);
        text += kCrLf;
    } else {
        text += kCrLf;
        AppendLine(text, kKeyTransferEncoding, kEncodingBase64);
        text += kKeyContentId;
        text += u": <";
        text += entry.m_strId;
        text += u">\r\n\r\n";
    }

    // A missing file (or a URL) leaves the body empty; one that is there but
    // cannot be read raises CFileException out of GetFileText, so that the
    // export reports it rather than sending an image without its bytes.
    CQelTorucaUtil util;
    std::size_t size = 0;
    const std::unique_ptr<unsigned char[]> bytes(util.ReadFileBytes(entry.m_strPath, size));
    if (bytes) AppendBase64(text, bytes.get(), size, 0);
    text += kCrLf;
    return true;
}

}  // namespace qel::format
