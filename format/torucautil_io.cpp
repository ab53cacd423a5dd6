// The Base64 and file operations of CQelTorucaUtil, used by the writer and
// the reader of ToruCa files.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <memory>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "format/base64.h"
#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/hugepages.h"
#include "toruca/torucautil.h"

namespace {

// Closes a descriptor when it goes out of scope.
struct Descriptor {
    int fd;
    ~Descriptor() { ::close(fd); }
};

unsigned char* NewBuffer(std::size_t size) {
    auto* p = new (std::nothrow) unsigned char[size];
    if (!p) AfxThrowMemoryException();
    return p;
}

// False for a folder (it gives no buffer); raises for anything that is
// neither a folder nor a regular file.
bool IsRegularFile(const struct stat& st, const std::u16string& path) {
    if (S_ISDIR(st.st_mode)) return false;
    if (!S_ISREG(st.st_mode)) AfxThrowFileException(CFileException::accessDenied, EINVAL, path);
    return true;
}

// Opens the file at `path` for reading; the open does not block on a FIFO.
// -1 when the name leads to no file.
int OpenForReading(const std::u16string& path) {
    if (path.empty() || path.find(u'\0') != std::u16string::npos) return -1;
    const std::string native = qel::framework::PathToNative(path);
    struct stat st;
    if (::stat(native.c_str(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR || err == ENAMETOOLONG) return -1;
        AfxThrowFileException(err == EACCES ? CFileException::accessDenied : CFileException::badPath, err, path);
    }
    if (!IsRegularFile(st, path)) return -1;
    const int fd = ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR) return -1;
        AfxThrowFileException(err == EACCES || err == EPERM ? CFileException::accessDenied : CFileException::badPath,
                              err, path);
    }
    return fd;
}

// Reads the open file to its end into `buffer`, which has room for one
// byte more than `length`: that byte is there only when the file grew.
// Raises when the file turns out longer or shorter than `length`.
void ReadWhole(int fd, unsigned char* buffer, std::size_t length, const std::u16string& path) {
    std::size_t done = 0;
    for (;;) {
        const std::size_t left = length + 1 - done;
        const ssize_t n = ::read(fd, buffer + done, left < (1u << 30) ? left : (1u << 30));
        if (n < 0) {
            if (errno == EINTR) continue;
            AfxThrowFileException(errno == EIO ? CFileException::hardIO : CFileException::genericException, errno,
                                  path);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
        if (done > length) throw CFileException(CFileException::genericException, 0, path, u"grew while it was read");
    }
    if (done < length) throw CFileException(CFileException::endOfFile, 0, path, u"shrank while it was read");
}

}  // namespace

unsigned char* CQelTorucaUtil::DecodeBase64Bytes(const char* text, std::size_t length, std::size_t& count) {
    count = 0;
    if (!text) return nullptr;
    // Four characters never give more than three bytes, so `length` suffices.
    std::unique_ptr<unsigned char[]> buffer(NewBuffer(length + 1));
    std::size_t written = length;
    if (!DecodeBase64(text, length, buffer.get(), &written)) return nullptr;
    count = written;
    return buffer.release();
}

// A name that leads to no file (nothing there, a folder, or a page
// reference that is a URL rather than a path) gives no buffer: the part
// keeps an empty body. Anything else that is there but cannot be read whole
// raises the file error, so that the export reports it instead of writing
// an empty or torn image: a file without permission, a FIFO or device
// (never read: it could block or never end), and a file whose size changes
// while it is read.
unsigned char* CQelTorucaUtil::ReadFileBytes(const std::u16string& path, std::size_t& size) {
    const int fd = OpenForReading(path);
    if (fd < 0) return nullptr;
    const Descriptor file{fd};
    // The name may have led elsewhere by the open: what was opened is asked again.
    struct stat st;
    if (::fstat(fd, &st) != 0) AfxThrowFileException(CFileException::hardIO, errno, path);
    if (!IsRegularFile(st, path)) return nullptr;
    ::fcntl(fd, F_SETFL, O_RDONLY);

    // The size at open is the size of the image.
    const std::uint64_t length = static_cast<std::uint64_t>(st.st_size);
    if (length >= std::uint64_t{SIZE_MAX} / 2) AfxThrowMemoryException();
    std::unique_ptr<unsigned char[]> buffer(NewBuffer(static_cast<std::size_t>(length) + 1));
    qel::framework::AdviseHugePages(buffer.get(), static_cast<std::size_t>(length));
    ReadWhole(fd, buffer.get(), static_cast<std::size_t>(length), path);
    size = static_cast<std::size_t>(length);
    return buffer.release();
}

int CQelTorucaUtil::ToInt(const std::u16string& value) {
    std::size_t i = 0;
    while (i < value.size() && (value[i] == u' ' || (value[i] >= u'\t' && value[i] <= u'\r'))) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == u'+' || value[i] == u'-')) negative = value[i++] == u'-';
    // Out of range saturates, as the runtime's conversion does.
    long long n = 0;
    for (; i < value.size() && value[i] >= u'0' && value[i] <= u'9'; ++i) {
        n = n * 10 + (value[i] - u'0');
        if (n > static_cast<long long>(INT_MAX) + 1) n = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) return static_cast<int>(-n);
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}
