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

    // A new buffer (release with delete[]) holding the bytes that `length`
    // characters of Base64 text decode to, their number in `count`; null and
    // `count` 0 when no text is given or decoding fails.
    unsigned char* DecodeBase64Bytes(const char* text, std::size_t length, std::size_t& count);
    // A new buffer (release with delete[]) with the whole file, its length in
    // `size`; null (size untouched) when the path leads to no file or to a
    // folder. Raises CFileException when something else is there that cannot
    // be read whole: a file without permission, a FIFO or device (never
    // read), or a file whose size changes while it is read (its description says
    // "shrank while it was read" or "grew while it was read").
    unsigned char* ReadFileBytes(const std::u16string& path, std::size_t& size);
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
