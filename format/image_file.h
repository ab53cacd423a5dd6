// An image file opened to be read whole, as the card writer and
// ReadFileBytes read one. Failures raise CFileException
// (framework/exceptions.h) naming the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qel::format {

class ImageFile {
public:
    // Opens the file `path` (UTF-16) names. A name that leads to no file
    // (nothing there, a folder, a URL, a name holding a NUL) leaves it
    // closed. Anything else that is there but cannot be read raises: a file
    // without permission, a FIFO or device (opened without blocking, never
    // read: it could block or never end). What was opened is asked again,
    // since the name may lead elsewhere by then.
    explicit ImageFile(const std::u16string& path);
    ~ImageFile();
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    bool IsOpen() const noexcept { return m_fd >= 0; }
    // The size in bytes when it was opened; 0 when closed.
    std::uint64_t Size() const noexcept { return m_size; }
    // Tells the kernel the file is read once from start to end.
    void AdviseSequential() const noexcept;
    // Reads until `want` bytes are in `into` or the file ends; answers how
    // many were read. Raises on a read error.
    std::size_t Read(unsigned char* into, std::size_t want);

private:
    std::u16string m_path;
    int m_fd = -1;
    std::uint64_t m_size = 0;
};

// A new buffer with the whole file, its length in `size`; null (size
// untouched) when the path leads to no file (nothing there, a folder, or a
// page reference that is a URL rather than a path). Raises CFileException
// when something else is there that cannot be read whole: a file without
// permission, a FIFO or device (never read), or a file whose size changes
// while it is read (its description says "shrank while it was read" or
// "grew while it was read"); CMemoryException without the memory.
std::unique_ptr<unsigned char[]> ReadFileBytes(const std::u16string& path, std::size_t& size);

}  // namespace qel::format
