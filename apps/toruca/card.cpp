#include "apps/toruca/card.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/syscall.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "format/toruca_format.h"
#include "format/tpj_reader.h"
#include "framework/codepage.h"
#include "framework/strings.h"
#include "host/filekind.h"

namespace fs = std::filesystem;

namespace qel::apps {

std::string Utf8(const std::u16string& text) { return qel::framework::WideToUtf8(text); }

std::string DataText(const std::string& cp932) {
    return qel::framework::WideToUtf8(qel::framework::Cp932ToWide(cp932));
}

const qel::format::CardForm& FormNamed(const std::string& name) {
    const qel::format::CardForm* form = qel::format::FormOfName(name);
    return form ? *form : qel::format::kDetailForm;
}

std::vector<std::string> FormNames() {
    std::vector<std::string> names;
    for (const qel::format::CardForm& form : qel::format::kForms) names.emplace_back(form.name);
    return names;
}

const char* FormOfType(int type) {
    const qel::format::CardForm* form = qel::format::FormOfType(type);
    return form ? form->name : "unknown";
}

void RequireInputFile(const std::string& path, const std::string& shown) {
    const std::string& name = shown.empty() ? path : shown;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw Failure(name + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) throw Failure(name + ": is a folder, not a file");
    if (!S_ISREG(st.st_mode)) throw Failure(name + ": not a regular file");
    // Opened without blocking, so that nothing waits on a file that changed
    // into a FIFO since the stat.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw Failure(name + ": " + std::strerror(errno));
    ::close(fd);
}

void UseTemporaryFolder(const std::string& folder) { ::setenv("QELHOST_TEMP_DIR", folder.c_str(), 1); }

namespace {

// The private folders in use, for the signal handler: fixed buffers, since
// the handler may not allocate. A command keeps two at most (the copy of
// standard input and the scratch folder).
constexpr int kGuardedFolders = 4;
char g_guarded[kGuardedFolders][PATH_MAX];
volatile sig_atomic_t g_guardedSet[kGuardedFolders] = {};

const int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

bool IsDotOrDotDot(const char* name) { return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)); }

// One pass over the folder open as `dir`: removes its entries, and the
// contents of folders among them to `depth` levels, with system calls only
// (a signal handler runs it). Answers how many entries it removed.
int RemovePass(int dir, int depth);

// Removes everything in the folder open as `dir`. Entries removed while
// the folder is read may hide others from that reading, so it is read again
// from its start until a pass removes nothing; "." and ".." stay, so the end
// is a pass that removes nothing, not an empty reading. The passes are
// bounded: a folder that another thread keeps filling cannot hold the
// handler.
void RemoveContents(int dir, int depth) {
    for (int pass = 0; pass < 64; ++pass) {
        if (::lseek(dir, 0, SEEK_SET) != 0 || RemovePass(dir, depth) == 0) return;
    }
}

int RemovePass(int dir, int depth) {
    struct Entry {
        ino64_t ino;
        off64_t off;
        unsigned short reclen;
        unsigned char type;
        char name[1];
    };
    alignas(8) char buffer[4096];
    int removed = 0;
    for (;;) {
        const long n = ::syscall(SYS_getdents64, dir, buffer, sizeof buffer);
        if (n <= 0) return removed;
        for (long at = 0; at < n;) {
            const auto* e = reinterpret_cast<const Entry*>(buffer + at);
            at += e->reclen;
            if (IsDotOrDotDot(e->name)) continue;
            if (::unlinkat(dir, e->name, 0) == 0) {
                ++removed;
                continue;
            }
            if (depth == 0) continue;
            const int sub = ::openat(dir, e->name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) continue;
            RemoveContents(sub, depth - 1);
            ::close(sub);
            if (::unlinkat(dir, e->name, AT_REMOVEDIR) == 0) ++removed;
        }
    }
}

// SIGINT, SIGTERM, SIGHUP: the private folders go, then the signal ends
// the process as it would have. The handler runs with all three blocked, so
// a second Ctrl-C waits for the first to finish.
void RemoveFoldersAndDie(int sig) {
    for (int i = 0; i < kGuardedFolders; ++i) {
        if (!g_guardedSet[i]) continue;
        const int dir = ::open(g_guarded[i], O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir >= 0) {
            RemoveContents(dir, 8);
            ::close(dir);
        }
        ::rmdir(g_guarded[i]);
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

void InstallHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction action {};
    action.sa_handler = &RemoveFoldersAndDie;
    sigemptyset(&action.sa_mask);
    for (const int sig : kEndingSignals) sigaddset(&action.sa_mask, sig);
    for (const int sig : kEndingSignals) ::sigaction(sig, &action, nullptr);
}

// Ends or starts the handler's care for slot `slot`, with the signals held
// meanwhile so that the handler never sees half a path.
void SetGuarded(int slot, const std::string& path) {
    sigset_t hold, before;
    sigemptyset(&hold);
    for (const int sig : kEndingSignals) sigaddset(&hold, sig);
    ::sigprocmask(SIG_BLOCK, &hold, &before);
    if (path.empty()) {
        g_guardedSet[slot] = 0;
    } else {
        std::memcpy(g_guarded[slot], path.c_str(), path.size() + 1);
        g_guardedSet[slot] = 1;
    }
    ::sigprocmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace

void IgnoreWriteSignals() {
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

PrivateFolder::PrivateFolder() {
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "toruca-XXXXXX").string();
    if (ec) pattern = "/tmp/toruca-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw Failure(std::string("cannot make a temporary folder: ") + std::strerror(errno));
    m_path = pattern;
    if (m_path.size() >= PATH_MAX) return;
    for (int i = 0; i < kGuardedFolders; ++i) {
        if (g_guardedSet[i]) continue;
        InstallHandlers();
        SetGuarded(i, m_path);
        m_slot = i;
        return;
    }
}

PrivateFolder::~PrivateFolder() {
    if (m_slot >= 0) SetGuarded(m_slot, {});
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

ScratchFolder::ScratchFolder() { UseTemporaryFolder(path()); }

namespace {

void WriteAll(int out, const char* bytes, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t w = ::write(out, bytes + done, size - done);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) throw Failure("cannot keep standard input: " + std::string(std::strerror(errno)));
        done += static_cast<std::size_t>(w);
    }
}

// Copies standard input to its end into a new file at `path`. A read that
// answers fewer bytes than asked is no end: a pipe hands over what its
// writer has written so far. Past kStandardInputLimit it fails (the caller's
// folder then goes with the part copied).
void CopyStandardInput(const std::string& path) {
    const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) throw Failure("cannot keep standard input: " + std::string(std::strerror(errno)));
    char buffer[1 << 16];
    std::uint64_t total = 0;
    try {
        for (;;) {
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw Failure("-: cannot read standard input: " + std::string(std::strerror(errno)));
            if (n == 0) break;
            total += static_cast<std::uint64_t>(n);
            if (total > kStandardInputLimit)
                throw Failure("-: standard input holds more than " + std::to_string(kStandardInputLimit >> 20) +
                              " MiB; give a card that large as a file");
            WriteAll(out, buffer, static_cast<std::size_t>(n));
        }
    } catch (...) {
        ::close(out);
        throw;
    }
    ::close(out);
}

}  // namespace

InputFile::InputFile(const std::string& given) : m_name(given), m_path(given) {
    if (given != "-") return;
    m_copy.emplace();
    m_path = m_copy->path() + "/stdin";
    CopyStandardInput(m_path);
}

std::unique_ptr<CQelTpjFile> LoadCard(const InputFile& file, qel::format::FolderStore::Naming naming) {
    const std::string& path = file.path();
    RequireInputFile(path, file.name());
    std::error_code ec;
    const fs::path abs = fs::absolute(path, ec);
    // Type 0 is no form: it stays only when the reader found neither a
    // magic first line nor a Type line.
    auto card = std::make_unique<CQelTpjFile>(0);
    bool loaded = false;
    try {
        qel::format::FolderStore temporaryFolder({}, naming);
        loaded = qel::format::ReadCard(
            *card, qel::framework::PathFromNative(ec ? path : abs.lexically_normal().string()), temporaryFolder);
    } catch (const std::exception&) {
        loaded = false;
    }
    if (!loaded) throw Failure(file.name() + ": cannot be read as a ToruCa file");
    if (card->GetType() == 0)
        throw Failure(file.name() + ": not a ToruCa file (its first line is neither \"" +
                      Utf8(qel::format::kMagicToruca) + "\" nor \"" + Utf8(qel::format::kMagicProject) + "\")");
    return card;
}

bool HoldsImage(const std::string& path) {
    unsigned char head[16];
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    ssize_t n = -1;
    do n = ::read(fd, head, sizeof head);
    while (n < 0 && errno == EINTR);
    ::close(fd);
    return n > 0 && CQelTktUtil::whatKindOfData(head, static_cast<std::size_t>(n)) == CQelTktUtil::KIND_IMAGE;
}

std::u16string ShiftJisText(const std::string& option, const std::string& text) {
    if (!qel::framework::IsValidUtf8(text)) throw Failure(option + ": the text is not valid UTF-8");
    const std::u16string wide = qel::framework::Utf8ToWide(text);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        std::size_t n = 1;
        if (wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < wide.size()) n = 2;
        const std::u16string one = wide.substr(i, n);
        if (qel::framework::Cp932ToWide(qel::framework::WideToCp932(one)) != one) {
            char32_t cp = one[0];
            if (n == 2) cp = 0x10000 + ((cp - 0xD800) << 10) + (one[1] - 0xDC00);
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
            throw Failure(option + ": the character " + code + " '" + qel::framework::WideToUtf8(one) +
                          "' cannot be written in Shift_JIS");
        }
        i += n - 1;
    }
    return wide;
}

qel::toruca::CardMeasure Measure(CQelTpjFile& card, const InputFile& file) {
    std::error_code ec;
    const auto size = fs::file_size(file.path(), ec);
    return Measure(card, ec ? 0 : size);
}

qel::toruca::CardMeasure Measure(CQelTpjFile& card, std::uint64_t fileBytes) {
    qel::toruca::CardMeasure m;
    m.form = qel::format::FormOfType(card.GetType());
    m.fileBytes = fileBytes;
    m.url = qel::framework::WideToCp932(card.GetUrl()).size();
    m.data1 = card.GetData1().size();
    m.data2 = card.GetData2().size();
    m.data3 = card.GetData3().size();
    return m;
}

}  // namespace qel::apps
