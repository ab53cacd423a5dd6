// The host's temporary folder and unique file names in it.
//
// The folder is QELHOST_TEMP_DIR when set and not empty (read at each call;
// made when missing; a relative one is taken relative to the working folder
// of the first call that reads that value, so the folder is always a full
// path); otherwise a private per-user folder "qelhost-<uid>"
// (mode 0700, owned by the user, not a link) under $TMPDIR (when absolute) or
// /tmp, made on first use. A default folder that exists but is a link, not a
// folder, another user's or writable by group or others is refused: one line
// on standard error says why (once per process and folder), and the folder
// reads as empty, so nothing can be written there. One that is only readable
// by others is made private (0700).
#pragma once

#include "host/api.h"

#include <sys/types.h>

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "framework/file.h"

class QEL_HOST_API CParamEngineer {
public:
    // The process's parameter object; never null in this host.
    static CParamEngineer* getInstance();
    // The temporary folder (no trailing '/'), or empty when it cannot be used.
    std::u16string getTempDirectory();
};

class QEL_HOST_API CZorCommon {
public:
    // Folder kind 8 is the temporary folder; other kinds read as empty.
    static std::u16string getProductFolder(int kind, int priority);
};

class QEL_HOST_API QelTempFile {
public:
    // A full path in `folder` based on `name` that names no existing entry
    // (file, folder or link, dangling links included): the name itself when
    // it is free, otherwise "stem(N).ext" with the smallest free N from 1
    // ("toruca(1).tpj"; the extension starts at the last dot, not at a
    // leading one: "README(1)", ".hidden(1)"). Within the process a search
    // goes on from where the last search for the same name in the same
    // folder ended, so that many files of one name cost linear time; a
    // number freed meanwhile is not used again. The name is first cut to its
    // last component ('/' and '\' both separate) and its control characters
    // (C0, DEL, C1) and NULs are removed; a result that is empty, "." or ".."
    // becomes "file". A name longer than 255 bytes of UTF-8 is cut at the
    // end of its stem, keeping the extension and the number. The path is
    // always directly inside the folder. Empty when the folder is empty or
    // cannot be searched. Nothing is created: the caller makes the file. The
    // other arguments are the host's and are not used.
    static std::u16string makeUniquePath2(const std::u16string& name, const std::u16string& folder, int reserved,
                                          const std::u16string& unused);
    static std::u16string makeUniquePath3(const std::u16string& name, const std::u16string& folder, bool flag,
                                          int reserved, const std::u16string& unused);
};

// A new file of the temporary folder that appears under its name only when it
// is whole, and never in place of another entry. Create makes it without a
// name (O_TMPFILE) or, where the file system cannot, under a hidden name of
// its own (".qel-….part"); the bytes go in with CFile::Write; Commit links it
// under the unique name of makeUniquePath2 (exclusive: a name taken
// meanwhile makes it go on to the next number). Whatever happens to the
// process, a name of makeUniquePath2's form holds a complete file or
// nothing. Until Commit, CFile's errors name the file as "FOLDER/NAME".
class QEL_HOST_API QelNewFile : public CFile {
public:
    QelNewFile() = default;
    ~QelNewFile() override;  // discards a file not committed

    // Makes the file in `folder`, to be named after `name` (cut and cleaned
    // as makeUniquePath2 does). False when the folder cannot take a file;
    // `error`, when given, then holds the cause.
    bool Create(const std::u16string& folder, const std::u16string& name, CFileException* error = nullptr);
    // Puts the file in place and closes it; returns its full path. With
    // `durable`, its bytes and its name are flushed to the disk (fsync)
    // first. Raises CFileException when that fails or no name is free
    // (cause directoryFull); the file is then discarded.
    std::u16string Commit(bool durable);
    // Puts the file in place under its own name, cut and cleaned but without
    // a number: in the folder when the name is free there, else in a new
    // folder of its own made inside it (kOwnFolderPrefix), so that the name read
    // back from the path is the name given. Raises as Commit does.
    std::u16string CommitUnderItsName();
    // Starts writing to the disk the bytes written since the last call
    // (without waiting for them), so that the flush of Commit(true) finds
    // them mostly written: for a file that is to be durable.
    void StartFlush() noexcept;
    // Closes and removes a file not committed; nothing when there is none.
    void Discard() noexcept;

private:
    int Place(int dirFd, const std::string& candidate);
    std::u16string Placed(const std::string& dir, const std::string& candidate, bool durable);
    int m_dirFd = -1;
    std::string m_hidden;       // the hidden name, when the file has one
    long long m_flushFrom = 0;  // where the bytes StartFlush has not started yet begin
    std::u16string m_folder, m_name;
};

namespace qel::host {

// The name of a folder CommitUnderItsName makes for one file, before its
// random part.
inline constexpr char kOwnFolderPrefix[] = "qel-part-";

// Removes a file that QelNewFile::CommitUnderItsName placed, and the folder
// it made for that file alone (kOwnFolderPrefix) when it is then empty.
// Nothing else is touched; errors are ignored.
QEL_HOST_API void RemoveNewFile(const std::u16string& path) noexcept;

// The temporary folder the module writes to, as the host's parameter object
// answers it (CParamEngineer::getTempDirectory); empty when it cannot be used.
// The one place the module asks for it.
QEL_HOST_API std::u16string TemporaryFolder();

// Writes `bytes` to a new file in `folder` named after `name`
// (QelTempFile::makeUniquePath2) and returns its path; empty when no file
// could be written whole, with the reason given to the export report
// (host/report.h). The file gets its name only once it is whole and on the
// disk (QelNewFile), and never replaces an entry that appeared meanwhile, so
// it is complete or absent whatever happens to the process. No byte is
// added: no terminating NUL, no byte-order mark.
QEL_HOST_API std::u16string WriteNewFile(const std::u16string& folder, const std::u16string& name,
                                         const std::string& bytes);
// The same with the bytes made while they are written: `fill` hands them to
// the writer it is given, as many times as it likes. A CFileException that
// `fill` raises itself (not one of the writer's) is not the file's failure:
// it leaves the call, with nothing of the file left behind.
using ByteWriter = std::function<void(const char* bytes, std::size_t count)>;
QEL_HOST_API std::u16string WriteNewFile(const std::u16string& folder, const std::u16string& name,
                                         const std::function<void(const ByteWriter&)>& fill);

// Writes blocks to a file on a thread of its own, one block at a time, so
// that the caller makes the next block while the last one goes to the
// kernel. The thread starts at the first Start (a block is written on the
// caller's thread when none can be had) and ends with the object.
class QEL_HOST_API WriteBehind {
public:
    WriteBehind() = default;
    ~WriteBehind();  // waits for the block in flight; its failure is dropped
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Waits for the block before (raising its failure), then starts writing
    // `count` bytes to `file` and returns. The bytes and the file must stay
    // as they are until the next Start or Wait.
    void Start(CFile& file, const void* bytes, std::size_t count);
    // Waits for the block in flight, if any; raises what its write raised.
    void Wait();
    // Waits without raising: for a file that is given up.
    void WaitQuietly() noexcept;

private:
    void Run();

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    CFile* m_file = nullptr;  // the block in flight: its file, bytes and size
    const void* m_bytes = nullptr;
    std::size_t m_count = 0;
    bool m_busy = false, m_stop = false;
    std::exception_ptr m_error;  // the failure of the last block, until Wait
};

// The system calls with which QelNewFile makes and names its files, in one
// table so that a test can play a file system without O_TMPFILE or without
// an exclusive rename, or another process that takes a name at the last
// moment. The table holds the system's own calls; only tests change it, and
// only while no QelNewFile is in use.
struct NewFileCalls {
    int (*openat)(int dir, const char* name, int flags, mode_t mode);
    int (*linkat)(int fromDir, const char* from, int toDir, const char* to, int flags);
    int (*renameat2)(int fromDir, const char* from, int toDir, const char* to, unsigned flags);
};
QEL_HOST_API NewFileCalls& NewFileSystemCalls();

// Gives `from` the name `to` without ever replacing an entry there: an
// exclusive rename, or where the file system has none, a second link and
// then `from` removed. Each name is relative to its folder descriptor
// (AT_FDCWD: the working folder). 0, or the error (EEXIST: `to` is taken).
QEL_HOST_API int RenameNoReplace(int fromDir, const char* from, int toDir, const char* to) noexcept;

}  // namespace qel::host
