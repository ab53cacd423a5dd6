// The reader of snippet, detail and project files (LoadFile), and its view
// of one MIME part of a ToruCa body, filled line by line by LoadFile and
// interpreted by ReadMimePart.
//
// Lines arrive as the file's code page 932 bytes without their line end.
// While the part's headers run (up to its first empty line) the reader keeps
// the values of Content-Type, Content-Transfer-Encoding and Content-ID, the
// last occurrence of each winning. What happens to the body depends on the
// transfer encoding, which is known once the headers are over:
//   - "8bit": the body lines are kept as bytes and become wide text (CR LF
//     after every line) only when the part is taken;
//   - "base64": the body is decoded while it is read, so a part of any size
//     needs no more than a small buffer; see Append and Finish;
//   - anything else: the body is counted, not kept (the part is ignored).
//
// A part is taken only when another delimiter follows it; LoadFile then calls
// Finish and hands the part to ReadMimePart. An attachment's file appears in
// the temporary folder only once it is whole (QelNewFile); a part that is
// dropped (the file ends, or an error ends the load) leaves nothing behind.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/tempfile.h"
#include "model/tpjfile.h"

struct CQelMimePartLines {
    CQelMimePartLines();
    ~CQelMimePartLines();
    CQelMimePartLines(const CQelMimePartLines&) = delete;
    CQelMimePartLines& operator=(const CQelMimePartLines&) = delete;

    // Adds the next line of the part (code page 932 bytes, no line end; a
    // line holds no LF). Raises CFileException when the attachment's file
    // cannot be made or written (a full disk, no free name): the load fails.
    void Append(std::string_view line);
    // True when no line was added since the last Reset.
    bool Empty() const noexcept { return m_nLines == 0; }
    // Ends the part: decodes what is left of a Base64 body and puts the
    // attachment in place as a new file of the host's temporary folder (see
    // m_strSavedPath). Nothing for other parts. Raises like Append.
    void Finish();
    // Forgets the part; an attachment file that Finish did not complete is
    // removed.
    void Reset() noexcept;
    // Removes every attachment file that Finish put in place since this
    // object was made (a load that fails leaves none behind).
    void RemoveSaved() noexcept;

    // --- What ReadMimePart reads -------------------------------------------
    std::size_t m_nLines = 0;            // lines added, headers and body
    bool m_bBody = false;                // the empty line that ends the headers was seen
    std::u16string m_strContentType;     // header values, trimmed at both ends
    std::u16string m_strTransferEncoding;
    std::u16string m_strContentId;
    // 8bit part: the body lines as bytes, each followed by LF.
    std::string m_body;
    // Base64 part after Finish: the file that holds the decoded bytes.
    std::u16string m_strSavedPath;

    // True for a part whose transfer encoding is "base64" (any case).
    bool IsBase64() const;
    // True for a part whose transfer encoding is "8bit" (any case).
    bool Is8bit() const;
    // The body as wide text: every line decoded from code page 932 (bytes
    // that are not valid read as U+FFFD) and followed by CR LF.
    std::u16string BodyText() const;

private:
    void StartBody();
    void AppendBase64(std::string_view line);
    void Flush(const unsigned char* bytes, std::size_t count);
    void Abandon() noexcept;

    enum class Kind { other, text, base64 };
    Kind m_kind = Kind::other;    // from the transfer encoding, once the body starts
    bool m_bStreaming = false;    // the Base64 lines so far were whole groups
    std::size_t m_nBodyLines = 0;
    std::unique_ptr<unsigned char[]> m_chunk;  // decoded bytes not yet written
    std::size_t m_nChunk = 0;
    std::string m_rest;           // Base64 lines from the first irregular one on
    QelNewFile m_file;            // the attachment's file, once made
    std::vector<std::u16string> m_saved;  // files put in place, across parts
};

namespace qel::format {

// Reads the file at `path` into the record: header values, page, icon and
// images (each image a new file of the host's temporary folder). False, with
// the reason reported to the host and no attachment file left behind, when
// the file cannot be read or an attachment cannot be written; the page and
// the image list are then empty and the icon as it was.
bool LoadFile(CQelTpjFile& record, const std::u16string& path);
// Takes one finished part into the record: an 8bit part becomes the page, a
// Base64 part the icon (by its content type) or a page image.
void ReadMimePart(CQelTpjFile& record, const CQelMimePartLines& lines);
// The quoted value of parameter `name` (name="value") in a header value
// whose pieces are separated by ';'; empty when there is none.
std::u16string GetParam(const std::u16string& value, const std::u16string& name);

}  // namespace qel::format
