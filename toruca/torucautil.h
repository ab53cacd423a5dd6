// CQelTorucaUtil: the stateless utility class of the ToruCa module. Users
// create it on the stack for a few calls.
//
// The operations of the file formats are theirs, beside what they serve:
// DecodeBase64Bytes in format/base64.h, ReadFileBytes in
// format/image_file.h, the integer rule ToInt in format/tpj_reader.h.
#pragma once

#include <cstdint>
#include <string>

class CQelTorucaUtil {
public:
    virtual ~CQelTorucaUtil() = default;

    // Colour label of Color-ID 0..9, empty otherwise.
    std::u16string GetColorLabel(unsigned index);
    // Label of Dist 1..4, empty otherwise.
    std::u16string GetDistLabel(unsigned code);
    // "%y%m%d%H%M" of a point in time (seconds since 1970 UTC) in local time;
    // empty when the local-time conversion rejects it.
    std::u16string GetDateStamp(std::int64_t time);
};
