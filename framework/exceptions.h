// The framework's exception classes. The module raises them where the
// application framework would (a file that cannot be read, an index out of
// range, an input too large for the Base64 codec) and catches them only
// around reading a file and writing the output file. They are thrown and
// caught by value: catch (const CException&).
#pragma once

#include "framework/api.h"

#include <cstdint>
#include <exception>
#include <string>

class QEL_FW_API CException : public std::exception {
public:
    ~CException() override = default;
    const char* what() const noexcept override { return "framework exception"; }
};

// A file could not be opened, read, written or closed.
class QEL_FW_API CFileException : public CException {
public:
    enum Cause {
        none = 0,
        genericException = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        removeCurrentDir = 7,
        directoryFull = 8,
        badSeek = 9,
        hardIO = 10,
        sharingViolation = 11,
        lockViolation = 12,
        diskFull = 13,
        endOfFile = 14,
        alreadyExists = 15,  // our addition: CFile::modeCreateNew found the name taken
    };
    CFileException(int cause = none, int osError = 0, std::u16string fileName = {}, std::u16string description = {})
        : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName)),
          m_strDescription(std::move(description)) {}
    const char* what() const noexcept override { return "file exception"; }

    // The cause that a system error number stands for (ENOSPC -> diskFull).
    static int OsErrorToException(int osError);

    int m_cause;
    int m_lOsError;  // errno of the failing call, 0 when none
    std::u16string m_strFileName;
    // What happened to the file, in words that follow its name ("is larger
    // than 512 MiB"); empty when the cause and the system error say it all.
    std::u16string m_strDescription;
};

// Memory could not be obtained for a buffer the framework manages.
class QEL_FW_API CMemoryException : public CException {
public:
    const char* what() const noexcept override { return "memory exception"; }
};

// An argument is out of range (an array index below 0 or not below the count).
class QEL_FW_API CInvalidArgException : public CException {
public:
    const char* what() const noexcept override { return "invalid argument exception"; }
};

// A failure carrying a result code, E_FAIL for "generic failure".
class QEL_FW_API CHResultException : public CException {
public:
    explicit CHResultException(std::int32_t hr) : m_hr(hr) {}
    const char* what() const noexcept override { return "failure code exception"; }
    std::int32_t m_hr;
};

// An operation the framework does not support here: a dialog's exchange
// names a control its template lacks, or binds a member of the wrong class.
// A programming error, never a condition of the input.
class QEL_FW_API CNotSupportedException : public CException {
public:
    const char* what() const noexcept override { return "not supported exception"; }
};

// Ends a data exchange that failed (CDataExchange::Fail); UpdateData catches it.
class QEL_FW_API CUserException : public CException {
public:
    const char* what() const noexcept override { return "user exception"; }
};

inline constexpr std::int32_t E_FAIL = static_cast<std::int32_t>(0x80004005u);

[[noreturn]] inline void AfxThrowFileException(int cause, int osError = 0, std::u16string fileName = {},
                                               std::u16string description = {}) {
    throw CFileException(cause, osError, std::move(fileName), std::move(description));
}
[[noreturn]] inline void AfxThrowMemoryException() { throw CMemoryException(); }
[[noreturn]] inline void AfxThrowInvalidArgException() { throw CInvalidArgException(); }
[[noreturn]] inline void AfxThrowNotSupportedException() { throw CNotSupportedException(); }
[[noreturn]] inline void AfxThrowUserException() { throw CUserException(); }
[[noreturn]] inline void AtlThrow(std::int32_t hr) { throw CHResultException(hr); }
