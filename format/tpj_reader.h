// The reader of snippet, detail and project files: the file's lines through
// one state machine into the record, the attachments into a store.
//
// A MimePart is the reader's view of one MIME part of a ToruCa body, filled
// line by line by the reader and interpreted by ReadMimePart.
//
// Lines arrive as the file's code page 932 bytes without their line end.
// The reader says which lines are headers (up to the part's first empty
// line) and which are body; a header line and the lines folded onto it
// (starting with a blank) are joined, and of the headers the part keeps the
// values of Content-Type, Content-Transfer-Encoding and Content-ID, the last
// occurrence of each winning. What happens to the body depends on the
// part's kind, known once the headers are over:
//   - the page (IsPage): the body lines are kept as bytes and become wide
//     text only when the part is taken, decoded from Base64 or
//     quoted-printable when it says so;
//   - any other "base64" part: the body is decoded while it is read, in large runs of
//     lines, so a part of any size needs no more than two small buffers;
//     see AppendBody and Finish;
//   - anything else: the body is not kept (the part is ignored).
//
// A part is taken only when another delimiter follows it; the reader then
// calls Finish and hands the part to ReadMimePart. An attachment goes to
// the store the reader was given and is committed only once it is whole; a
// part that is dropped (the file ends, or an error ends the load) leaves
// nothing behind.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CQelTpjFile;

namespace qel::format {

class AttachmentStore;

struct MimePart {
    explicit MimePart(AttachmentStore& store);
    ~MimePart();
    MimePart(const MimePart&) = delete;
    MimePart& operator=(const MimePart&) = delete;

    // A header line of the part (not empty; no line end).
    void AppendHeader(std::string_view line);
    // The empty line that ends the headers: the body follows.
    void StartBody();
    // A line of the body (code page 932 bytes, no line end; a line holds no
    // LF). Raises CFileException when the attachment cannot be made or
    // written (a full disk, no free name): the load fails.
    void AppendBody(std::string_view line);
    // True while the body can go through AppendBodyLines: a Base64 part
    // whose lines were all whole groups so far.
    bool TakesBodyLines() const noexcept { return m_kind == Kind::base64 && m_bStreaming; }
    // Takes the body lines at the start of `text` that have the encoder's
    // layout (76 digits and CR LF or LF), decoding them straight into the
    // attachment's buffer, as AppendBody would one by one. The bytes taken;
    // the reader hands what follows (another line, a delimiter) to
    // AppendBody. Raises like AppendBody.
    std::size_t AppendBodyLines(std::string_view text);
    // Ends the part: decodes what is left of a Base64 body and commits the
    // attachment to the store (see m_strSavedPath). Nothing for other
    // parts. Raises like AppendBody.
    void Finish();
    // Forgets the part; an attachment Finish did not commit is discarded.
    void Reset() noexcept;

    // --- What ReadMimePart reads -------------------------------------------
    std::u16string m_strContentType;  // header values, trimmed at both ends
    std::u16string m_strTransferEncoding;
    std::u16string m_strContentId;
    // 8bit part: the body lines as bytes, each followed by LF.
    std::string m_body;
    // Base64 part after Finish: where the store put the decoded bytes.
    std::u16string m_strSavedPath;

    // True for a part whose transfer encoding is "base64" (any case).
    bool IsBase64() const;
    // True for a part whose transfer encoding is "8bit" (any case).
    bool Is8bit() const;
    // True for the page: a part that says 8bit, a part of type text/html in
    // any transfer encoding, or the first part when it has no Content-Type
    // (and is not Base64).
    bool IsPage() const;
    // The attachment's file name: the name parameter of the Content-Type,
    // else of a first header line that is only that parameter, else the
    // filename parameter of the Content-Disposition.
    std::u16string Name() const;
    // Set by the reader: the part follows the card's first delimiter.
    bool m_bFirstPart = false;
    // The page part's body as wide text: the lines decoded from code page
    // 932 (bytes that are not valid read as U+FFFD; another charset when
    // the part declares one) and joined by CR LF, without the line end that
    // belongs to the delimiter after the part and without the writer's
    // padding (format/toruca_format.h, kPageLineEnds): the page as it was
    // written. A Base64 or quoted-printable body is decoded first and kept
    // whole.
    std::u16string BodyText() const;

private:
    void DecodeRun();
    void StreamLine(std::string_view line, bool firstLine);
    void Flush(const unsigned char* bytes, std::size_t count);
    void TakeHeader();

    enum class Kind { other, text, base64 };
    AttachmentStore& m_store;
    Kind m_kind = Kind::other;                 // from the transfer encoding, once the body starts
    bool m_bStreaming = false;                 // the Base64 lines so far were whole groups
    bool m_bOpen = false;                      // the store holds this part's attachment
    std::size_t m_nBodyLines = 0;              // body lines handed to the decoder, the run's included
    std::unique_ptr<unsigned char[]> m_chunk;  // decoded bytes not yet written
    std::unique_ptr<unsigned char[]> m_spare;  // the chunk before, which the store may still be writing
    std::size_t m_nChunk = 0;
    std::string m_run;                    // clean lines not yet decoded, joined without line ends
    std::vector<std::size_t> m_runLines;  // their lengths
    std::size_t m_nRunFirst = 0;          // the body line the run starts with
    std::string m_rest;                   // Base64 lines from the first irregular one on
    std::string m_header;                 // the header line not yet read, folded lines joined
    std::u16string m_strNameLine;         // a first header line that is only name="..."
    std::u16string m_strDisposition;      // the Content-Disposition value, trimmed
    bool m_bHeaders = false;              // a header line was seen
};

// Reads the file at `path` into the record: header values, page, icon and
// images (each image a new file of the host's temporary folder). False, with
// the reason reported to the host and no attachment file left behind, when
// the file cannot be read or an attachment cannot be written; the page and
// the image list are then empty and the icon as it was.
bool LoadFile(CQelTpjFile& record, const std::u16string& path);
// Reads the file at `path` into `record` (what LoadFile does) and puts each
// Base64 part into `store`, committed once whole. False when the file cannot
// be read or an attachment cannot be written; the reason goes to the host's
// export report, the attachments committed by this call are removed and the
// record's icon is as it was before.
bool ReadCard(CQelTpjFile& record, const std::u16string& path, AttachmentStore& store);
// Takes one finished part into the record: an 8bit part becomes the page, a
// Base64 part the icon (by its content type) or a page image.
void ReadMimePart(CQelTpjFile& record, const MimePart& part);
// The lenient integer rule of the number headers: leading white space and
// one sign, digits up to the first non-digit, 0 without digits; out of range
// saturates.
int ToInt(std::u16string_view value);
// The quoted value of parameter `name` (name="value") in a header value
// whose pieces are separated by ';'; empty when there is none.
std::u16string GetParam(const std::u16string& value, const std::u16string& name);

}  // namespace qel::format
