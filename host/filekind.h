// Kinds of files, by their signature (falling back to the extension when the
// file cannot be read).
#pragma once

#include "host/api.h"

#include <cstddef>
#include <string>

class QEL_HOST_API CQelTktUtil {
public:
    enum FileKind { KIND_OTHER = 0, KIND_IMAGE = 2, KIND_FLASH = 23 };
    enum ImageKind { IMAGE_OTHER = 0, IMAGE_GIF = 2, IMAGE_JPEG = 3, IMAGE_PNG = 4 };
    // 2 for a GIF, JPEG or PNG image, 23 for a Flash movie (FWS, CWS, ZWS), 0 otherwise.
    static int whatKindOfFile(const std::u16string& path, bool reserved);
    // 2 GIF (GIF87a, GIF89a), 3 JPEG, 4 PNG, 0 otherwise.
    static int whatKindOfImage(const std::u16string& path);
    // The same two judgements of bytes in memory, by their signature alone
    // (the first eight bytes decide); 0 when it is none of these.
    static int whatKindOfData(const unsigned char* bytes, std::size_t size);
    static int whatKindOfImageData(const unsigned char* bytes, std::size_t size);
    // The judgements of whatKindOfFile and whatKindOfImage for a file named
    // `name` that holds `bytes` (an image kept in memory): empty bytes are
    // judged by the name's extension.
    static int whatKindOfData(const std::u16string& name, const unsigned char* bytes, std::size_t size);
    static int whatKindOfImageData(const std::u16string& name, const unsigned char* bytes, std::size_t size);
};

namespace qel::host {

// The media type of a file by its signature, for kinds beyond the four
// above: "image/bmp", "image/x-icon", "image/webp", "image/tiff",
// "image/avif"; "application/octet-stream" for any other content and for a
// file that cannot be read.
QEL_HOST_API const char16_t* OtherMediaTypeOf(const std::u16string& path);
// The same of bytes in memory.
QEL_HOST_API const char16_t* OtherMediaTypeOfData(const unsigned char* bytes, std::size_t size);

}  // namespace qel::host
