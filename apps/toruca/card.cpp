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
#include <cstring>
#include <filesystem>

#include "format/toruca_format.h"
#include "format/tpj_reader.h"
#include "framework/codepage.h"
#include "framework/strings.h"
#include "host/tempfile.h"

namespace fs = std::filesystem;

namespace qel::apps {

std::string Utf8(const std::u16string& text) { return qel::framework::WideToUtf8(text); }

std::string DataText(const std::string& cp932) {
    return qel::framework::WideToUtf8(qel::framework::Cp932ToWide(cp932));
}

int TypeOfForm(const std::string& form) {
    if (form == "project") return TYPE_PROJECT;
    if (form == "snippet") return TYPE_SNIP;
    return TYPE_CARD;
}

const char* FormOfType(int type) {
    switch (type) {
        case TYPE_PROJECT: return "project";
        case TYPE_CARD: return "detail";
        case TYPE_SNIP: return "snippet";
        default: return "unknown";
    }
}

const char16_t* DefaultNameOfType(int type) {
    switch (type) {
        case TYPE_PROJECT: return qel::format::kDefaultProjectName;
        case TYPE_SNIP: return qel::format::kDefaultSnipName;
        default: return qel::format::kDefaultDetailName;
    }
}

qel::toruca::Form LimitFormOfType(int type) {
    switch (type) {
        case TYPE_PROJECT: return qel::toruca::Form::project;
        case TYPE_SNIP: return qel::toruca::Form::snippet;
        case TYPE_CARD: return qel::toruca::Form::detail;
        default: return qel::toruca::Form::any;
    }
}

void RequireInputFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw Failure(path + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) throw Failure(path + ": is a folder, not a file");
    if (!S_ISREG(st.st_mode)) throw Failure(path + ": not a regular file");
    // Opened without blocking, so that nothing waits on a file that changed
    // into a FIFO since the stat.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw Failure(path + ": " + std::strerror(errno));
    ::close(fd);
}

void UseTemporaryFolder(const std::string& folder) { ::setenv("QELHOST_TEMP_DIR", folder.c_str(), 1); }

namespace {

// The scratch folder in use, for the signal handler: a fixed buffer, since
// the handler may not allocate.
char g_scratch[PATH_MAX];
volatile sig_atomic_t g_scratchSet = 0;

// Removes the entries of the folder open as `dir` and their contents, to
// `depth` levels, with system calls only (a signal handler runs it).
void RemoveContents(int dir, int depth) {
    alignas(8) char buffer[4096];
    for (;;) {
        const long n = ::syscall(SYS_getdents64, dir, buffer, sizeof buffer);
        if (n <= 0) return;
        for (long at = 0; at < n;) {
            struct Entry {
                ino64_t ino;
                off64_t off;
                unsigned short reclen;
                unsigned char type;
                char name[1];
            };
            const auto* e = reinterpret_cast<const Entry*>(buffer + at);
            at += e->reclen;
            if ((e->name[0] == '.' && e->name[1] == 0) || (e->name[0] == '.' && e->name[1] == '.' && e->name[2] == 0))
                continue;
            if (::unlinkat(dir, e->name, 0) == 0 || depth == 0) continue;
            const int sub = ::openat(dir, e->name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) continue;
            RemoveContents(sub, depth - 1);
            ::close(sub);
            ::unlinkat(dir, e->name, AT_REMOVEDIR);
        }
        ::lseek(dir, 0, SEEK_SET);  // entries removed while reading: read again until none is left
    }
}

// SIGINT, SIGTERM, SIGHUP: the scratch folder goes, then the signal ends
// the process as it would have.
void RemoveScratchAndDie(int sig) {
    if (g_scratchSet) {
        const int dir = ::open(g_scratch, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir >= 0) {
            RemoveContents(dir, 8);
            ::close(dir);
        }
        ::rmdir(g_scratch);
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

}  // namespace

ScratchFolder::ScratchFolder() {
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "toruca-XXXXXX").string();
    if (ec) pattern = "/tmp/toruca-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw Failure(std::string("cannot make a temporary folder: ") + std::strerror(errno));
    m_path = pattern;
    UseTemporaryFolder(m_path);
    if (m_path.size() < sizeof g_scratch && !g_scratchSet) {
        std::memcpy(g_scratch, m_path.c_str(), m_path.size() + 1);
        g_scratchSet = 1;
        m_guarded = true;
        for (const int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, &RemoveScratchAndDie);
    }
}

ScratchFolder::~ScratchFolder() {
    if (m_guarded) {
        for (const int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
        g_scratchSet = 0;
    }
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

std::unique_ptr<CQelTpjFile> LoadCard(const std::string& path) {
    RequireInputFile(path);
    std::error_code ec;
    const fs::path abs = fs::absolute(path, ec);
    // Type 0 is no form: it stays only when the reader found neither a
    // magic first line nor a Type line.
    auto card = std::make_unique<CQelTpjFile>(0);
    bool loaded = false;
    try {
        loaded =
            qel::format::LoadFile(*card, qel::framework::PathFromNative(ec ? path : abs.lexically_normal().string()));
    } catch (const std::exception&) {
        loaded = false;
    }
    if (!loaded) throw Failure(path + ": cannot be read as a ToruCa file");
    if (card->GetType() == 0)
        throw Failure(path + ": not a ToruCa file (its first line is neither \"ToruCa\" nor \"TORUCA_PROJECT_V2\")");
    return card;
}

std::string WriteNew(const std::string& out, const std::u16string& defaultName, const std::string& bytes) {
    std::error_code ec;
    fs::path folder, name;
    if (out.empty()) {
        folder = fs::current_path(ec);
        name = qel::framework::PathToNative(defaultName);
    } else if (fs::is_directory(out, ec)) {
        folder = out;
        name = qel::framework::PathToNative(defaultName);
    } else {
        const fs::path p(out);
        folder = p.has_parent_path() ? p.parent_path() : fs::path(".");
        name = p.filename();
        if (name.empty()) throw Failure(out + ": names no file");
    }
    folder = fs::absolute(folder, ec).lexically_normal();
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        throw Failure("cannot write into " + folder.string() + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) throw Failure("cannot write into " + folder.string() + ": not a folder");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw Failure("cannot write into " + folder.string() + ": " + std::strerror(errno));
    const std::u16string written = qel::host::WriteNewFile(qel::framework::PathFromNative(folder.string()),
                                                           qel::framework::PathFromNative(name.string()), bytes);
    if (written.empty())
        throw Failure("cannot write " + (folder / name).string() + ": the file could not be written whole");
    return qel::framework::PathToNative(written);
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

qel::toruca::CardMeasure Measure(CQelTpjFile& card, const std::string& path) {
    qel::toruca::CardMeasure m;
    m.form = LimitFormOfType(card.GetType());
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    m.fileBytes = ec ? 0 : size;
    m.url = qel::framework::WideToCp932(card.GetUrl()).size();
    m.data1 = card.GetData1().size();
    m.data2 = card.GetData2().size();
    m.data3 = card.GetData3().size();
    return m;
}

}  // namespace qel::apps
