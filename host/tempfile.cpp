#include "host/tempfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "host/report.h"

namespace {

// Longest file name the file systems we run on take, in bytes.
constexpr std::size_t kNameMax = 255;
// An extension longer than this is kept as part of the stem when a long name
// has to be cut, so that the number always fits.
constexpr std::size_t kExtMax = 64;
// The highest number a name is given before the search gives up.
constexpr long kMaxNumber = 9999999;
// Names whose last number is remembered; beyond this the memory starts
// afresh (a search then only costs more, it finds the same kind of name).
constexpr std::size_t kRememberedNames = 1 << 16;

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// Says once per process and folder why the default folder is not used.
void Refuse(const std::string& dir, const std::string& why) {
    static std::mutex mutex;
    static std::set<std::string> told;
    std::lock_guard<std::mutex> lock(mutex);
    if (told.insert(dir).second)
        std::fprintf(stderr, "qelhost: temporary folder %s is not used: %s\n", dir.c_str(), why.c_str());
}

// The private per-user folder under $TMPDIR or /tmp, made when missing.
// Empty when it exists but another user could have put things in it.
std::string PrivateFolder() {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string parent = WithoutTrailingSlashes(tmpdir != nullptr && tmpdir[0] == '/' ? tmpdir : "/tmp");
    if (parent == "/") parent.clear();
    const std::string dir = parent + "/qelhost-" + std::to_string(::geteuid());

    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        Refuse(dir, std::strerror(errno));
        return {};
    }
    // Checked through a descriptor of the folder itself, so a link put in its
    // place is never followed.
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        Refuse(dir, errno == ELOOP || errno == ENOTDIR ? "it is a link or not a folder" : std::strerror(errno));
        return {};
    }
    struct stat st;
    std::string why;
    if (::fstat(fd, &st) != 0) why = std::strerror(errno);
    else if (st.st_uid != ::geteuid()) why = "it belongs to another user";
    else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) why = "other users can write to it";
    else if ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) why = std::strerror(errno);
    ::close(fd);
    if (!why.empty()) {
        Refuse(dir, why);
        return {};
    }
    return dir;
}

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// The name reduced to one harmless component.
std::u16string SafeName(const std::u16string& name) {
    const auto sep = name.find_last_of(u"/\\");
    std::u16string out;
    for (char16_t c : sep == std::u16string::npos ? name : name.substr(sep + 1))
        if (!IsControl(c)) out += c;
    if (out.empty() || out == u"." || out == u"..") out = u"file";
    return out;
}

// Removes code points from the end of `stem` until `stem + suffix` fits in a
// file name.
std::string Fit(std::u16string stem, const std::string& suffix) {
    std::string bytes = qel::framework::PathToNative(stem) + suffix;
    while (bytes.size() > kNameMax && !stem.empty()) {
        stem.pop_back();
        if (!stem.empty() && stem.back() >= 0xD800 && stem.back() <= 0xDBFF) stem.pop_back();
        bytes = qel::framework::PathToNative(stem) + suffix;
    }
    return bytes;
}

// A name split for numbering: "stem(N).ext" in `dir`.
struct NameParts {
    std::string dir;  // the folder, native, no trailing '/' ("" for the root)
    std::u16string stem;
    std::string ext;  // with its dot, UTF-8
    std::string key;  // folder and name, for the memory of last numbers
};

bool SplitName(const std::u16string& name, const std::u16string& folder, NameParts& parts) {
    if (folder.empty() || folder.find(u'\0') != std::u16string::npos) return false;
    parts.dir = WithoutTrailingSlashes(qel::framework::PathToNative(folder));
    if (parts.dir == "/") parts.dir.clear();
    const std::u16string safe = SafeName(name);
    // A leading dot starts a hidden name, not an extension.
    auto dot = safe.find_last_of(u'.');
    if (dot == 0 || dot == std::u16string::npos || safe.size() - dot > kExtMax) dot = safe.size();
    parts.stem = safe.substr(0, dot);
    parts.ext = qel::framework::PathToNative(safe.substr(dot));
    parts.key = parts.dir + '\0' + qel::framework::PathToNative(safe);
    return true;
}

std::string Candidate(const NameParts& parts, long n) {
    return Fit(parts.stem, (n == 0 ? std::string() : "(" + std::to_string(n) + ")") + parts.ext);
}

// Where the last search for a name in a folder ended, per process.
std::mutex g_numbersMutex;
std::map<std::string, long> g_numbers;

long FirstNumber(const std::string& key) {
    std::lock_guard<std::mutex> lock(g_numbersMutex);
    const auto it = g_numbers.find(key);
    return it == g_numbers.end() ? 0 : it->second;
}

void RememberNumber(const std::string& key, long n) {
    std::lock_guard<std::mutex> lock(g_numbersMutex);
    if (g_numbers.size() >= kRememberedNames && g_numbers.find(key) == g_numbers.end()) g_numbers.clear();
    long& last = g_numbers[key];
    if (n > last) last = n;
}

qel::host::NewFileCalls& Calls() { return qel::host::NewFileSystemCalls(); }

std::u16string UniquePath(const std::u16string& name, const std::u16string& folder) {
    NameParts parts;
    if (!SplitName(name, folder, parts)) return {};
    for (long n = FirstNumber(parts.key); n <= kMaxNumber; ++n) {
        const std::string full = parts.dir + "/" + Candidate(parts, n);
        struct stat st;
        // lstat: a dangling link counts as taken, or writing would follow it.
        if (::lstat(full.c_str(), &st) == 0) continue;
        if (errno != ENOENT) return {};  // the folder cannot be searched: no path we could vouch for
        RememberNumber(parts.key, n);
        return qel::framework::PathFromNative(full);
    }
    return {};
}

// "." components and doubled slashes removed; ".." kept, since only the
// system knows what it leads to.
std::string WithoutDotComponents(const std::string& path) {
    std::string out;
    std::size_t i = 0;
    while (i < path.size()) {
        const std::size_t slash = path.find('/', i);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        const std::string part = path.substr(i, end - i);
        if (!part.empty() && part != ".") out += "/" + part;
        i = end + 1;
    }
    return out.empty() ? "/" : out;
}

// A configured folder as a full path: a relative one is taken relative to
// the working folder when the value is first seen, so that a later change of
// folder does not move it.
std::string AbsoluteFolder(const std::string& configured) {
    if (configured[0] == '/') return WithoutTrailingSlashes(configured);
    static std::mutex mutex;
    static std::map<std::string, std::string> seen;
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = seen.find(configured);
    if (it != seen.end()) return it->second;
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (ec) return {};
    const std::string full = WithoutDotComponents(cwd.string() + "/" + configured);
    seen.emplace(configured, full);
    return full;
}

}  // namespace

CParamEngineer* CParamEngineer::getInstance() {
    static CParamEngineer instance;
    return &instance;
}

std::u16string CParamEngineer::getTempDirectory() {
    const char* configured = std::getenv("QELHOST_TEMP_DIR");
    if (configured != nullptr && configured[0] != '\0') {
        const std::string dir = AbsoluteFolder(configured);
        if (dir.empty()) return {};
        // The folder the user named is used as it is; it is made when missing.
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        return qel::framework::PathFromNative(dir);
    }
    return qel::framework::PathFromNative(PrivateFolder());
}

std::u16string CZorCommon::getProductFolder(int kind, int /*priority*/) {
    return kind == 8 ? CParamEngineer::getInstance()->getTempDirectory() : std::u16string();
}

std::u16string QelTempFile::makeUniquePath2(const std::u16string& name, const std::u16string& folder, int /*reserved*/,
                                            const std::u16string& /*unused*/) {
    return UniquePath(name, folder);
}

std::u16string QelTempFile::makeUniquePath3(const std::u16string& name, const std::u16string& folder, bool /*flag*/,
                                            int /*reserved*/, const std::u16string& /*unused*/) {
    return UniquePath(name, folder);
}

// --- QelNewFile ------------------------------------------------------------------

QelNewFile::~QelNewFile() { Discard(); }

bool QelNewFile::Create(const std::u16string& folder, const std::u16string& name, CFileException* error) {
    Discard();
    m_flushFrom = 0;
    NameParts parts;
    const bool named = SplitName(name, folder, parts);
    m_folder = folder;
    m_name = name;
    m_strFileName = named ? qel::framework::PathFromNative(parts.dir + "/" + Candidate(parts, 0)) : folder;
    auto fail = [&](int err) {
        if (error) *error = CFileException(CFileException::OsErrorToException(err), err, m_strFileName);
        Discard();
        return false;
    };
    if (!named) return fail(ENOENT);
    m_dirFd = ::open(parts.dir.empty() ? "/" : parts.dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_dirFd < 0) return fail(errno);
    m_fd = Calls().openat(m_dirFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (m_fd >= 0) return true;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return fail(errno);
    // No unnamed files here: a hidden name of our own, made exclusively.
    static std::mutex mutex;
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 64; ++attempt) {
        char hidden[40];
        {
            std::lock_guard<std::mutex> lock(mutex);
            std::snprintf(hidden, sizeof hidden, ".qel-%016llx.part", static_cast<unsigned long long>(random()));
        }
        m_fd = Calls().openat(m_dirFd, hidden, O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            m_hidden = hidden;
            return true;
        }
        if (errno != EEXIST) return fail(errno);
    }
    return fail(EEXIST);
}

// Links the file under `candidate` in the folder `dirFd`: 0, or the error
// (EEXIST: the name is taken).
int QelNewFile::Place(int dirFd, const std::string& candidate) {
    if (m_hidden.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        if (Calls().linkat(AT_FDCWD, self.c_str(), dirFd, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
        if (errno != ENOENT) return errno;
        // No /proc: linking the descriptor itself needs a privilege, but try.
        return Calls().linkat(m_fd, "", dirFd, candidate.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
    }
    return qel::host::RenameNoReplace(m_dirFd, m_hidden.c_str(), dirFd, candidate.c_str());
}

// Closes the file just placed as `dir`/`candidate` and answers its path.
std::u16string QelNewFile::Placed(const std::string& dir, const std::string& candidate, bool durable) {
    m_hidden.clear();
    if (durable) ::fsync(m_dirFd);  // the new name too; the file is whole either way
    const int fd = m_fd;
    m_fd = -1;
    const std::string full = dir + "/" + candidate;
    // A file system that reports a failed write only now (NFS): the name we
    // just made is taken back.
    if (::close(fd) != 0 && errno != EINTR) {
        const int closeErr = errno;
        ::unlink(full.c_str());
        const std::u16string what = m_strFileName;
        Discard();
        AfxThrowFileException(CFileException::OsErrorToException(closeErr), closeErr, what);
    }
    ::close(m_dirFd);
    m_dirFd = -1;
    return qel::framework::PathFromNative(full);
}

std::u16string QelNewFile::Commit(bool durable) {
    if (m_fd < 0 || m_dirFd < 0) AfxThrowFileException(CFileException::invalidFile, EBADF, m_strFileName);
    auto fail = [&](int cause, int err) {
        const std::u16string what = m_strFileName;
        Discard();
        AfxThrowFileException(cause, err, what);
    };
    if (durable && ::fsync(m_fd) != 0) fail(CFileException::OsErrorToException(errno), errno);
    NameParts parts;
    SplitName(m_name, m_folder, parts);
    for (long n = FirstNumber(parts.key); n <= kMaxNumber; ++n) {
        const std::string candidate = Candidate(parts, n);
        const int err = Place(m_dirFd, candidate);
        if (err == EEXIST) continue;
        if (err != 0) fail(CFileException::OsErrorToException(err), err);
        RememberNumber(parts.key, n + 1);
        return Placed(parts.dir, candidate, durable);
    }
    fail(CFileException::directoryFull, 0);
    return {};
}

std::u16string QelNewFile::CommitUnderItsName() {
    if (m_fd < 0 || m_dirFd < 0) AfxThrowFileException(CFileException::invalidFile, EBADF, m_strFileName);
    auto fail = [&](int err) {
        const std::u16string what = m_strFileName;
        Discard();
        AfxThrowFileException(CFileException::OsErrorToException(err), err, what);
    };
    NameParts parts;
    SplitName(m_name, m_folder, parts);
    const std::string name = Candidate(parts, 0);
    int err = Place(m_dirFd, name);
    if (err == 0) return Placed(parts.dir, name, false);
    if (err != EEXIST) fail(err);
    // The name is taken: a folder of its own, made for this file alone.
    std::string dir = parts.dir + "/" + qel::host::kOwnFolderPrefix + "XXXXXX";
    if (::mkdtemp(dir.data()) == nullptr) fail(errno);
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    err = dirFd < 0 ? errno : Place(dirFd, name);
    if (dirFd >= 0) ::close(dirFd);
    if (err != 0) {
        ::rmdir(dir.c_str());
        fail(err);
    }
    return Placed(dir, name, false);
}

void QelNewFile::StartFlush() noexcept {
    if (m_fd < 0) return;
    const off_t end = ::lseek(m_fd, 0, SEEK_CUR);
    if (end <= m_flushFrom) return;
    // Only a hint: where it is not supported, Commit's fsync does it all.
    ::sync_file_range(m_fd, static_cast<off_t>(m_flushFrom), end - static_cast<off_t>(m_flushFrom),
                      SYNC_FILE_RANGE_WRITE);
    m_flushFrom = end;
}

void QelNewFile::Discard() noexcept {
    Abort();
    if (m_dirFd >= 0) {
        if (!m_hidden.empty()) ::unlinkat(m_dirFd, m_hidden.c_str(), 0);
        ::close(m_dirFd);
        m_dirFd = -1;
    }
    m_hidden.clear();
}

namespace qel::host {

void RemoveNewFile(const std::u16string& path) noexcept {
    try {
        const std::string native = qel::framework::PathToNative(path);
        ::unlink(native.c_str());
        const std::size_t slash = native.rfind('/');
        if (slash == std::string::npos) return;
        const std::string dir = native.substr(0, slash);
        // The folder's own name begins with the prefix (compared over the prefix's length only).
        if (dir.compare(dir.rfind('/') + 1, sizeof kOwnFolderPrefix - 1, kOwnFolderPrefix) == 0) ::rmdir(dir.c_str());
    } catch (...) {
        // Only a failed allocation of the native path: the file stays.
    }
}

NewFileCalls& NewFileSystemCalls() {
    static NewFileCalls calls{
        [](int dir, const char* name, int flags, mode_t mode) { return ::openat(dir, name, flags, mode); }, ::linkat,
        ::renameat2};
    return calls;
}

int RenameNoReplace(int fromDir, const char* from, int toDir, const char* to) noexcept {
    if (Calls().renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without an exclusive rename: link, which never replaces,
    // then drop the old name.
    if (Calls().linkat(fromDir, from, toDir, to, 0) != 0) return errno;
    ::unlinkat(fromDir, from, 0);
    return 0;
}

std::u16string TemporaryFolder() { return CParamEngineer::getInstance()->getTempDirectory(); }

std::u16string WriteNewFile(const std::u16string& folder, const std::u16string& name, const std::string& bytes) {
    return WriteNewFile(folder, name, [&bytes](const ByteWriter& write) { write(bytes.data(), bytes.size()); });
}

std::u16string WriteNewFile(const std::u16string& folder, const std::u16string& name,
                            const std::function<void(const ByteWriter&)>& fill) {
    if (folder.empty()) {
        // The host refused its temporary folder (and said why).
        qel::host::ReportFailure(u"output " + name + u" cannot be written: no usable temporary folder");
        return {};
    }
    QelNewFile file;
    CFileException error;
    bool filling = false, writeFailed = false;
    try {
        if (!file.Create(folder, name, &error)) throw error;
        filling = true;
        fill([&](const char* bytes, std::size_t count) {
            try {
                file.Write(bytes, count);
            } catch (const CFileException&) {
                writeFailed = true;
                throw;
            }
            // The disk writes while the next bytes are made.
            file.StartFlush();
        });
        filling = false;
        return file.Commit(true);
    } catch (const CFileException& e) {
        if (filling && !writeFailed) throw;  // the bytes' own failure; the file goes with `file`
        // The file never had its name, so nothing of it is left.
        qel::host::ReportFailure(qel::host::DescribeFailure(e, u"output", u"cannot be written"));
        return {};
    }
}

WriteBehind::~WriteBehind() {
    WaitQuietly();
    if (!m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void WriteBehind::Start(CFile& file, const void* bytes, std::size_t count) {
    Wait();
    if (!m_thread.joinable()) {
        try {
            m_thread = std::thread(&WriteBehind::Run, this);
        } catch (const std::system_error&) {
            file.Write(bytes, count);  // no thread to be had: written here
            return;
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_file = &file;
        m_bytes = bytes;
        m_count = count;
        m_busy = true;
    }
    m_changed.notify_all();
}

void WriteBehind::Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_busy; });
    if (m_error) std::rethrow_exception(std::exchange(m_error, nullptr));
}

void WriteBehind::WaitQuietly() noexcept {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_busy; });
    m_error = nullptr;
}

void WriteBehind::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_busy || m_stop; });
        if (!m_busy) return;
        CFile* const file = m_file;
        const void* const bytes = m_bytes;
        const std::size_t count = m_count;
        lock.unlock();
        std::exception_ptr error;
        try {
            file->Write(bytes, count);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        m_error = error;
        m_busy = false;
        m_changed.notify_all();
    }
}

}  // namespace qel::host
