#include "framework/file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/codepage.h"
#include "framework/exceptions.h"

namespace {

int CauseOf(int err) {
    switch (err) {
        case ENOENT: return CFileException::fileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP: return CFileException::badPath;
        case EMFILE:
        case ENFILE: return CFileException::tooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS: return CFileException::accessDenied;
        case EISDIR:
        case EOPNOTSUPP: return CFileException::accessDenied;  // a folder, a pipe or a device
        case EEXIST: return CFileException::alreadyExists;
        case ENOSPC:
        case EDQUOT: return CFileException::diskFull;
        case EIO: return CFileException::hardIO;
        default: return CFileException::genericException;
    }
}

}  // namespace

int CFileException::OsErrorToException(int osError) { return CauseOf(osError); }

CFile::~CFile() { Abort(); }

bool CFile::Open(const std::u16string& path, unsigned flags, CFileException* error) {
    Abort();
    m_strFileName = path;
    int oflags = O_CLOEXEC;
    switch (flags & 3u) {
        case modeWrite: oflags |= O_WRONLY; break;
        case modeReadWrite: oflags |= O_RDWR; break;
        default: oflags |= O_RDONLY; break;
    }
    if (flags & modeCreate) {
        oflags |= O_CREAT;
        if (flags & modeCreateNew) oflags |= O_EXCL | O_NOFOLLOW;
        else if (!(flags & modeNoTruncate)) oflags |= O_TRUNC;
    }
    // Opened without blocking, so that a named pipe with no writer (or a
    // device that waits) cannot hold the caller, then refused unless it is a
    // regular file: a pipe or a device such as /dev/zero never ends.
    const std::string native = qel::framework::PathToNative(path);
    int fd = native.empty() || path.find(u'\0') != std::u16string::npos
                 ? (errno = ENOENT, -1)
                 : ::open(native.c_str(), oflags | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd >= 0) {
        struct stat st;
        int err = 0;
        if (::fstat(fd, &st) != 0) err = errno;
        else if (S_ISDIR(st.st_mode)) err = EISDIR;
        else if (!S_ISREG(st.st_mode)) err = EOPNOTSUPP;
        else if (const int fl = ::fcntl(fd, F_GETFL); fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0)
            err = errno;
        if (err != 0) {
            ::close(fd);
            fd = -1;
            errno = err;
        }
    }
    if (fd < 0) {
        if (error) *error = CFileException(CauseOf(errno), errno, path);
        return false;
    }
    m_fd = fd;
    return true;
}

unsigned CFile::Read(void* buffer, unsigned count) {
    if (m_fd < 0) AfxThrowFileException(CFileException::invalidFile, EBADF, m_strFileName);
    std::size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < count) {
        const ssize_t n = ::read(m_fd, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            AfxThrowFileException(CauseOf(errno), errno, m_strFileName);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<unsigned>(done);
}

void CFile::Write(const void* buffer, std::size_t count) {
    if (m_fd < 0) AfxThrowFileException(CFileException::invalidFile, EBADF, m_strFileName);
    const auto* p = static_cast<const char*>(buffer);
    while (count > 0) {
        const ssize_t n = ::write(m_fd, p, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            AfxThrowFileException(CauseOf(errno), errno, m_strFileName);
        }
        p += n;
        count -= static_cast<std::size_t>(n);
    }
}

void CFile::Close() {
    if (m_fd < 0) return;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR) AfxThrowFileException(CauseOf(errno), errno, m_strFileName);
}

void CFile::Abort() noexcept {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}
