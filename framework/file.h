// The framework's file class: CFile for bytes. Paths are wide strings
// (UTF-16) and reach the system as UTF-8. Open reports failure by its
// result; Read, Write and Close raise CFileException.
#pragma once

#include "framework/api.h"

#include <cstddef>
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
    virtual void Close();
    void Abort() noexcept;  // closes, never raises
    bool IsOpen() const noexcept { return m_fd >= 0; }
    const std::u16string& GetFilePath() const noexcept { return m_strFileName; }

protected:
    int m_fd = -1;
    std::u16string m_strFileName;
};
