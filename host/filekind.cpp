#include "host/filekind.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/codepage.h"
#include "framework/strings.h"
#include "host/paths.h"

namespace {

enum class Kind { Unknown, Gif, Jpeg, Png, Flash };

// Reads the first bytes of a regular file. Answers the number read, or -1
// when the file cannot be read (missing, not a regular file, no permission);
// a FIFO or device is never opened, so nothing here can block.
int ReadSignature(const std::u16string& path, unsigned char* buf, int size) {
    if (path.empty() || path.find(u'\0') != std::u16string::npos) return -1;
    const int fd = ::open(qel::framework::PathToNative(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat st;
    int got = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        got = 0;
        while (got < size) {
            const ssize_t n = ::read(fd, buf + got, static_cast<std::size_t>(size - got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                got = -1;
                break;
            }
            if (n == 0) break;
            got += static_cast<int>(n);
        }
    }
    ::close(fd);
    return got;
}

Kind BySignature(const unsigned char* b, int n) {
    auto starts = [&](const char* sig, int len) {
        return n >= len && std::memcmp(b, sig, static_cast<std::size_t>(len)) == 0;
    };
    if (starts("GIF87a", 6) || starts("GIF89a", 6)) return Kind::Gif;
    if (starts("\xFF\xD8\xFF", 3)) return Kind::Jpeg;
    if (starts("\x89PNG\r\n\x1A\n", 8)) return Kind::Png;
    if (starts("FWS", 3) || starts("CWS", 3) || starts("ZWS", 3)) return Kind::Flash;
    return Kind::Unknown;
}

Kind ByExtension(const std::u16string& path) {
    const std::u16string ext = getBaseExt(path);
    if (qel::framework::EqualsNoCase(ext, u"gif")) return Kind::Gif;
    if (qel::framework::EqualsNoCase(ext, u"jpg") || qel::framework::EqualsNoCase(ext, u"jpeg") ||
        qel::framework::EqualsNoCase(ext, u"jpe"))
        return Kind::Jpeg;
    if (qel::framework::EqualsNoCase(ext, u"png")) return Kind::Png;
    if (qel::framework::EqualsNoCase(ext, u"swf")) return Kind::Flash;
    return Kind::Unknown;
}

// The content decides when there is content to look at; a file that cannot
// be read, or an empty one, is judged by its name (a page may refer to an
// image by URL, or to one not yet saved).
Kind KindOf(const std::u16string& path) {
    unsigned char buf[8];
    const int n = ReadSignature(path, buf, sizeof buf);
    return n > 0 ? BySignature(buf, n) : ByExtension(path);
}

int FileKindOf(Kind kind) {
    switch (kind) {
        case Kind::Gif:
        case Kind::Jpeg:
        case Kind::Png: return CQelTktUtil::KIND_IMAGE;
        case Kind::Flash: return CQelTktUtil::KIND_FLASH;
        default: return CQelTktUtil::KIND_OTHER;
    }
}

int ImageKindOf(Kind kind) {
    switch (kind) {
        case Kind::Gif: return CQelTktUtil::IMAGE_GIF;
        case Kind::Jpeg: return CQelTktUtil::IMAGE_JPEG;
        case Kind::Png: return CQelTktUtil::IMAGE_PNG;
        default: return CQelTktUtil::IMAGE_OTHER;
    }
}

Kind KindOfData(const unsigned char* bytes, std::size_t size) {
    if (!bytes) return Kind::Unknown;
    return BySignature(bytes, static_cast<int>(size < 8 ? size : 8));
}

}  // namespace

int CQelTktUtil::whatKindOfFile(const std::u16string& path, bool /*reserved*/) { return FileKindOf(KindOf(path)); }

int CQelTktUtil::whatKindOfImage(const std::u16string& path) { return ImageKindOf(KindOf(path)); }

int CQelTktUtil::whatKindOfData(const unsigned char* bytes, std::size_t size) {
    return FileKindOf(KindOfData(bytes, size));
}

int CQelTktUtil::whatKindOfImageData(const unsigned char* bytes, std::size_t size) {
    return ImageKindOf(KindOfData(bytes, size));
}

int CQelTktUtil::whatKindOfData(const std::u16string& name, const unsigned char* bytes, std::size_t size) {
    return FileKindOf(size > 0 ? KindOfData(bytes, size) : ByExtension(name));
}

int CQelTktUtil::whatKindOfImageData(const std::u16string& name, const unsigned char* bytes, std::size_t size) {
    return ImageKindOf(size > 0 ? KindOfData(bytes, size) : ByExtension(name));
}

namespace qel::host {

const char16_t* OtherMediaTypeOf(const std::u16string& path) {
    unsigned char b[12];
    const int n = ReadSignature(path, b, sizeof b);
    return OtherMediaTypeOfData(b, n < 0 ? 0 : static_cast<std::size_t>(n));
}

const char16_t* OtherMediaTypeOfData(const unsigned char* b, std::size_t n) {
    using namespace std::string_view_literals;
    const auto at = [&](std::size_t offset, std::string_view sig) {
        return n >= offset + sig.size() && std::memcmp(b + offset, sig.data(), sig.size()) == 0;
    };
    if (at(0, "BM"sv)) return u"image/bmp";
    if (at(0, "\0\0\1\0"sv) || at(0, "\0\0\2\0"sv)) return u"image/x-icon";
    if (at(0, "RIFF"sv) && at(8, "WEBP"sv)) return u"image/webp";
    if (at(0, "II*\0"sv) || at(0, "MM\0*"sv)) return u"image/tiff";
    if (at(4, "ftypavif"sv)) return u"image/avif";
    return u"application/octet-stream";
}

}  // namespace qel::host
