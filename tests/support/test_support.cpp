#include "tests/support/test_support.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "framework/codepage.h"

namespace qel::test {

void TempDirTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/') c = '_';
    std::filesystem::path root = std::filesystem::path(QEL_BINARY_DIR) / "testtmp";
    std::filesystem::create_directories(root);
    std::string templ = (root / (name + ".XXXXXX")).string();
    if (!::mkdtemp(templ.data())) FAIL() << "mkdtemp failed for " << templ;
    m_dir = templ;
    SaveVariable("QELHOST_TEMP_DIR");
    SaveVariable("QELHOST_REGISTRY");
    ::setenv("QELHOST_TEMP_DIR", m_dir.c_str(), 1);
}

void TempDirTest::SaveVariable(const char* name) {
    const char* v = std::getenv(name);
    m_saved.push_back({name, v ? v : "", v != nullptr});
}

void TempDirTest::UnsetVariable(const char* name) {
    SaveVariable(name);
    ::unsetenv(name);
}

void TempDirTest::UseRegistry(const std::string& bytes) {
    WriteFileBytes(path("machine.reg"), bytes);
    ::setenv("QELHOST_REGISTRY", path("machine.reg").c_str(), 1);
}

void TempDirTest::TearDown() {
    for (const SavedVariable& v : m_saved) {
        if (v.had) ::setenv(v.name.c_str(), v.value.c_str(), 1);
        else ::unsetenv(v.name.c_str());
    }
    m_saved.clear();
    std::error_code ec;
    // Make everything removable again (tests take permissions away).
    for (auto it = std::filesystem::recursive_directory_iterator(m_dir, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ec);
    if (!HasFailure()) std::filesystem::remove_all(m_dir, ec);
}

std::u16string TempDirTest::wdir() const { return qel::framework::PathFromNative(m_dir.string()); }
std::u16string TempDirTest::wpath(const std::string& name) const {
    return qel::framework::PathFromNative(path(name).string());
}

std::u16string TempDirTest::WriteFile(const std::string& name, const std::string& bytes) const {
    WriteFileBytes(path(name), bytes);
    return wpath(name);
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) : m_handler(std::signal(SIGXFSZ, SIG_IGN)) {
    rlimit small{};
    if (::getrlimit(RLIMIT_FSIZE, &m_saved) != 0) {
        ADD_FAILURE() << "getrlimit(RLIMIT_FSIZE) failed";
        return;
    }
    small = m_saved;
    small.rlim_cur = bytes;
    m_set = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    if (!m_set) ADD_FAILURE() << "setrlimit(RLIMIT_FSIZE) failed";
}

FileSizeLimit::~FileSizeLimit() {
    if (m_set) ::setrlimit(RLIMIT_FSIZE, &m_saved);
    std::signal(SIGXFSZ, m_handler);
}

std::string ReadFileBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFileBytes(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path TestData(const std::string& name) { return std::filesystem::path(QEL_TEST_DATA_DIR) / name; }

std::vector<std::string> MimeReaders() {
    std::vector<std::string> readers{"python3 '" + std::string(QEL_SOURCE_DIR) + "/tests/support/read_mime.py'"};
#ifdef QEL_READ_MIME_GMIME
    readers.push_back("'" + std::string(QEL_READ_MIME_GMIME) + "'");
#endif
    return readers;
}

std::vector<MimePartSeen> ReadMimeWith(const std::string& reader, const std::filesystem::path& file,
                                       std::string& boundary) {
    FILE* p = ::popen((reader + " '" + file.string() + "'").c_str(), "r");
    std::string out;
    char buf[65536];
    while (std::size_t k = std::fread(buf, 1, sizeof buf, p)) out.append(buf, k);
    EXPECT_EQ(::pclose(p), 0) << reader << ": " << out;
    std::vector<MimePartSeen> parts;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
        if (f.size() == 2 && f[0] == "boundary") {
            boundary = f[1];
            continue;
        }
        f.resize(6);
        std::string bytes;
        for (std::size_t i = 0; i + 1 < f[5].size(); i += 2)
            bytes += static_cast<char>(std::stoi(f[5].substr(i, 2), nullptr, 16));
        parts.push_back({f[0], f[1], f[2], f[3], f[4], bytes});
    }
    return parts;
}

}  // namespace qel::test
