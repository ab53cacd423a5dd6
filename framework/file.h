// The framework's file classes: CFile for bytes, CStdioFile for text read
// line by line. Paths are wide strings (UTF-16) and reach the system as
// UTF-8. Open reports failure by its result; Read, Write, Seek and Close
// raise CFileException.
#pragma once

#include "framework/api.h"

#include <cstdint>
#include <string>

class CFileException;

class QEL_FW_API CFile {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,      // create, truncating a file that exists
        modeNoTruncate = 0x2000,  // with modeCreate: keep an existing file
        typeText = 0x4000,
        typeBinary = 0x8000,
        // Our addition: with modeCreate, fail (cause alreadyExists) when the
        // name is taken, as O_EXCL does; a link at the name is never followed.
        modeCreateNew = 0x10000,
    };

    CFile() = default;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    virtual ~CFile();  // closes without raising

    // False when the file cannot be opened; `error`, when given, then holds
    // the cause. Only a regular file is opened: a folder, a named pipe or a
    // device is refused at once (cause accessDenied), never waited for.
    virtual bool Open(const std::u16string& path, unsigned flags, CFileException* error = nullptr);
    virtual unsigned Read(void* buffer, unsigned count);        // bytes read, 0 at the end
    virtual void Write(const void* buffer, std::size_t count);  // all of them, or CFileException
    std::uint64_t GetLength() const;
    std::uint64_t Seek(std::int64_t offset, int from);  // from: begin 0, current 1, end 2
    void SeekToBegin() { Seek(0, begin); }
    virtual void Close();
    void Abort() noexcept;  // closes, never raises
    bool IsOpen() const noexcept { return m_fd >= 0; }
    const std::u16string& GetFilePath() const noexcept { return m_strFileName; }

    enum SeekPosition { begin = 0, current = 1, end = 2 };

protected:
    int m_fd = -1;
    std::u16string m_strFileName;
};

// Text reading line by line: a line ends at LF or CR LF (both removed), a CR
// that no LF follows stays in the line, a last line without an end is read,
// and a line may be of any length. Lines are the file's bytes; the caller
// decodes them (code page 932 for ToruCa files).
class QEL_FW_API CStdioFile : public CFile {
public:
    CStdioFile() = default;
    ~CStdioFile() override;

    bool Open(const std::u16string& path, unsigned flags, CFileException* error = nullptr) override;
    // False at the end of the file (no line read); raises CFileException on a
    // read error, and (cause genericException, os error EOVERFLOW) when the
    // line is longer than `maxLength` bytes, before more than about that
    // much of it is held.
    bool ReadString(std::string& line, std::size_t maxLength = static_cast<std::size_t>(-1));
    void Close() override;

private:
    unsigned Read(void* buffer, unsigned count) override;
    bool Fill();
    std::string m_buffer;
    std::size_t m_pos = 0;
    bool m_eof = false;
};
