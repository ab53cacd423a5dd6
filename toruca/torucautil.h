// CQelTorucaUtil: the stateless utility class of the ToruCa module. Users
// create it on the stack for a few calls.
//
// The Base64 and file operations belong to the file formats and are defined
// in format/torucautil_io.cpp; the labels and date stamps in
// toruca/torucautil.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CFile;

class CQelTorucaUtil {
public:
    virtual ~CQelTorucaUtil() = default;

    // The Base64 text of `count` bytes (76-character lines joined by CR LF,
    // "=" padding) as a wide string; empty for no bytes.
    std::u16string EncodeBase64Text(const unsigned char* bytes, std::size_t count);
    // A new buffer (release with delete[]) holding the bytes that `length`
    // characters of Base64 text decode to, their number in `count`; null and
    // `count` 0 when no text is given or decoding fails.
    unsigned char* DecodeBase64Bytes(const char* text, std::size_t length, std::size_t& count);
    // A copy of `text` without any CR LF pair.
    std::u16string RemoveLineBreaks(const std::u16string& text);
    // A new buffer (release with delete[]) with the whole file, its length in
    // `size`; null (size untouched) when the path leads to no file or to a
    // folder. Raises CFileException when something else is there that cannot
    // be read whole: a file without permission, a FIFO or device (never
    // read), or a file whose size changes while it is read (what() says
    // "file shrank while read" or "file grew while read").
    unsigned char* ReadFileBytes(const std::u16string& path, std::size_t& size);
    // Creates (or truncates) the file and writes the bytes; false when it
    // cannot be created or a file error is raised while writing.
    bool WriteFileBytes(const std::u16string& path, const unsigned char* bytes, std::size_t count);
    // The reader's way to save an attachment, which never touches a file
    // that exists: creates a new file for writing in `folder` under the name
    // that QelTempFile::makeUniquePath3 makes of `name` (O_CREAT|O_EXCL, a
    // link at the name is never followed). When another process takes that
    // name first, the next unique name is tried, a bounded number of times.
    // A path that would not lie directly in `folder` is refused. True with
    // `file` open and `path` set; false when no file could be made.
    // Defined in format/torucautil_newfile.cpp.
    bool CreateNewFile(CFile& file, const std::u16string& folder, const std::u16string& name,
                       std::u16string& path);
    // The lenient string-to-integer rule: leading white space and one sign,
    // digits up to the first non-digit, 0 without digits.
    int ToInt(const std::u16string& value);

    // Colour label of Color-ID 0..9, empty otherwise.
    std::u16string GetColorLabel(unsigned index);
    // Label of Dist 1..4, empty otherwise.
    std::u16string GetDistLabel(unsigned code);
    // "%y%m%d%H%M" of a point in time (seconds since 1970 UTC) in local time;
    // empty when the local-time conversion rejects it.
    std::u16string GetDateStamp(std::int64_t time);
};
