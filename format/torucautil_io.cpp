// The Base64 and file operations of CQelTorucaUtil, used by the writer and
// the reader of ToruCa files.
#include <climits>
#include <cstdint>
#include <memory>
#include <new>

#include "format/base64.h"
#include "format/image_file.h"
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

// A name that leads to no file (nothing there, a folder, or a page
// reference that is a URL rather than a path) gives no buffer: the part
// keeps an empty body. Anything else that is there but cannot be read whole
// raises the file error, so that the export reports it instead of writing
// an empty or torn image: a file without permission, a FIFO or device
// (never read: it could block or never end), and a file whose size changes
// while it is read.
unsigned char* CQelTorucaUtil::ReadFileBytes(const std::u16string& path, std::size_t& size) {
    qel::format::ImageFile file(path);
    if (!file.IsOpen()) return nullptr;
    // The size at open is the size of the image. The file is read to its
    // end: one byte more than the length is asked for, which is there only
    // when the file grew.
    const std::uint64_t length = file.Size();
    if (length >= std::uint64_t{SIZE_MAX} / 2) AfxThrowMemoryException();
    std::unique_ptr<unsigned char[]> buffer(NewBuffer(static_cast<std::size_t>(length) + 1));
    qel::framework::AdviseHugePages(buffer.get(), static_cast<std::size_t>(length));
    const std::size_t done = file.Read(buffer.get(), static_cast<std::size_t>(length) + 1);
    if (done > length) throw CFileException(CFileException::genericException, 0, path, u"grew while it was read");
    if (done < length) throw CFileException(CFileException::endOfFile, 0, path, u"shrank while it was read");
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
