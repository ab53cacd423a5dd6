// The Base64 and file operations of CQelTorucaUtil, used by the writer and
// the reader of ToruCa files.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>
#include <sys/stat.h>

#include "format/base64.h"
#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/hugepages.h"
#include "toruca/torucautil.h"

namespace {

unsigned char* NewBuffer(std::size_t size) {
    auto* p = new (std::nothrow) unsigned char[size];
    if (!p) AfxThrowMemoryException();
    return p;
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

unsigned char* CQelTorucaUtil::ReadFileBytes(const std::u16string& path, std::size_t& size) {
    // A name that leads to nothing (no such file, or a page reference that is
    // a URL rather than a path) gives no buffer: the part keeps an empty
    // body. Anything that is there but cannot be read, a folder or a file
    // without permission, raises the file error so that the export reports
    // it instead of writing an empty image.
    if (path.empty() || path.find(u'\0') != std::u16string::npos) return nullptr;
    struct stat st;
    if (::stat(qel::framework::PathToNative(path).c_str(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR || err == ENAMETOOLONG) return nullptr;
        AfxThrowFileException(err == EACCES ? CFileException::accessDenied : CFileException::badPath, err, path);
    }
    if (!S_ISREG(st.st_mode))
        AfxThrowFileException(CFileException::accessDenied, S_ISDIR(st.st_mode) ? EISDIR : EINVAL, path);

    CFile file;
    CFileException error;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary, &error)) throw error;
    // One pass: the length the file has now, then its bytes. A file that
    // shrinks meanwhile gives the bytes that were there; growth is ignored.
    const std::uint64_t length = file.GetLength();
    if (length >= std::uint64_t{SIZE_MAX} / 2) AfxThrowMemoryException();
    std::unique_ptr<unsigned char[]> buffer(NewBuffer(static_cast<std::size_t>(length) + 1));
    qel::framework::AdviseHugePages(buffer.get(), static_cast<std::size_t>(length));
    std::size_t done = 0;
    while (done < length) {
        const std::uint64_t left = length - done;
        const unsigned chunk = static_cast<unsigned>(left < (1u << 30) ? left : (1u << 30));
        const unsigned n = file.Read(buffer.get() + done, chunk);
        if (n == 0) break;
        done += n;
    }
    file.Close();
    size = done;
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
