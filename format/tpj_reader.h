// The reader's view of one MIME part of a ToruCa body, filled line by line
// by LoadFile and interpreted by CQelTpjFile::ReadMimePart.
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
// Finish and hands the part to ReadMimePart. A part that is dropped (the file
// ends, or a read error ends the load) leaves nothing behind: a file that was
// already made for its attachment is removed again.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "framework/file.h"

struct CQelMimePartLines {
    CQelMimePartLines();
    ~CQelMimePartLines();
    CQelMimePartLines(const CQelMimePartLines&) = delete;
    CQelMimePartLines& operator=(const CQelMimePartLines&) = delete;

    // Adds the next line of the part (code page 932 bytes, no line end; a
    // line holds no LF). Raises CFileException only for a read error of the
    // caller's file, never for the attachment's file: an attachment that
    // cannot be written makes the part skipped.
    void Append(std::string_view line);
    // True when no line was added since the last Reset.
    bool Empty() const noexcept { return m_nLines == 0; }
    // Ends the part: decodes what is left of a Base64 body and writes the
    // attachment into a new file of the host's temporary folder (see
    // m_strSavedPath). Nothing for other parts.
    void Finish();
    // Forgets the part; an attachment file that Finish did not complete is
    // removed.
    void Reset() noexcept;

    // --- What ReadMimePart reads -------------------------------------------
    std::size_t m_nLines = 0;            // lines added, headers and body
    bool m_bBody = false;                // the empty line that ends the headers was seen
    std::u16string m_strContentType;     // header values, trimmed at both ends
    std::u16string m_strTransferEncoding;
    std::u16string m_strContentId;
    // 8bit part: the body lines as bytes, each followed by LF.
    std::string m_body;
    // Base64 part after Finish: the file that holds the decoded bytes, empty
    // when it could not be written.
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
    bool Flush(const unsigned char* bytes, std::size_t count);
    bool OpenTarget();
    void Abandon() noexcept;

    enum class Kind { other, text, base64 };
    Kind m_kind = Kind::other;    // from the transfer encoding, once the body starts
    bool m_bStreaming = false;    // the Base64 lines so far were whole groups
    bool m_bFailed = false;       // the attachment cannot be written: skip the rest
    std::size_t m_nBodyLines = 0;
    std::unique_ptr<unsigned char[]> m_chunk;  // decoded bytes not yet written
    std::size_t m_nChunk = 0;
    std::string m_rest;           // Base64 lines from the first irregular one on
    CFile m_file;                 // the attachment's file, once made
    std::u16string m_strFilePath;
};
