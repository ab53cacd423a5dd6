#include "format/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <new>

#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/hugepages.h"

namespace {

// Closes a descriptor when it goes out of scope, unless it was released.
struct Closer {
    int fd;
    ~Closer() {
        if (fd >= 0) ::close(fd);
    }
    int Release() noexcept {
        const int released = fd;
        fd = -1;
        return released;
    }
};

// False for a folder (it gives no bytes); raises for anything that is
// neither a folder nor a regular file.
bool IsRegularFile(const struct stat& st, const std::u16string& path) {
    if (S_ISDIR(st.st_mode)) return false;
    if (!S_ISREG(st.st_mode)) AfxThrowFileException(CFileException::accessDenied, EINVAL, path);
    return true;
}

// The descriptor of the file `path` names, opened for reading without
// blocking on a FIFO; -1 when the name leads to no file.
int OpenIfThere(const std::u16string& path) {
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

}  // namespace

namespace qel::format {

ImageFile::ImageFile(const std::u16string& path) : m_path(path) {
    Closer file{OpenIfThere(path)};
    if (file.fd < 0) return;
    struct stat st;
    if (::fstat(file.fd, &st) != 0) AfxThrowFileException(CFileException::hardIO, errno, path);
    if (!IsRegularFile(st, path)) return;
    ::fcntl(file.fd, F_SETFL, O_RDONLY);
    m_size = static_cast<std::uint64_t>(st.st_size);
    m_fd = file.Release();
}

ImageFile::~ImageFile() {
    if (m_fd >= 0) ::close(m_fd);
}

void ImageFile::AdviseSequential() const noexcept {
    if (m_fd >= 0) ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::size_t ImageFile::Read(unsigned char* into, std::size_t want) {
    constexpr std::size_t kMostPerCall = std::size_t{1} << 30;
    std::size_t filled = 0;
    while (filled < want) {
        const std::size_t left = want - filled;
        const ssize_t n = ::read(m_fd, into + filled, left < kMostPerCall ? left : kMostPerCall);
        if (n < 0) {
            if (errno == EINTR) continue;
            AfxThrowFileException(errno == EIO ? CFileException::hardIO : CFileException::genericException, errno,
                                  m_path);
        }
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    return filled;
}

std::unique_ptr<unsigned char[]> ReadFileBytes(const std::u16string& path, std::size_t& size) {
    ImageFile file(path);
    if (!file.IsOpen()) return nullptr;
    // The size at open is the size of the image. The file is read to its
    // end: one byte more than the length is asked for, which is there only
    // when the file grew.
    const std::uint64_t length = file.Size();
    if (length >= std::uint64_t{SIZE_MAX} / 2) AfxThrowMemoryException();
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[static_cast<std::size_t>(length) + 1]);
    if (!buffer) AfxThrowMemoryException();
    qel::framework::AdviseHugePages(buffer.get(), static_cast<std::size_t>(length));
    const std::size_t done = file.Read(buffer.get(), static_cast<std::size_t>(length) + 1);
    if (done > length) throw CFileException(CFileException::genericException, 0, path, u"grew while it was read");
    if (done < length) throw CFileException(CFileException::endOfFile, 0, path, u"shrank while it was read");
    size = done;
    return buffer;
}

}  // namespace qel::format
