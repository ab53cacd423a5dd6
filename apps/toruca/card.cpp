#include "apps/toruca/card.h"

#include <fcntl.h>
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

ScratchFolder::ScratchFolder() {
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "toruca-XXXXXX").string();
    if (ec) pattern = "/tmp/toruca-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw Failure(std::string("cannot make a temporary folder: ") + std::strerror(errno));
    m_path = pattern;
    UseTemporaryFolder(m_path);
}

ScratchFolder::~ScratchFolder() {
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
        throw Failure(path + ": not a ToruCa file (its first line is neither \"" + Utf8(qel::format::kMagicToruca) +
                      "\" nor \"" + Utf8(qel::format::kMagicProject) + "\")");
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
    m.form = qel::format::FormOfType(card.GetType());
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
