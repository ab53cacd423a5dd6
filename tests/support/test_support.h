// Helpers shared by the tests.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>
#include <vector>

namespace qel::test {

// A fresh folder for one test, removed afterwards. It is also the host's
// temporary folder (QELHOST_TEMP_DIR) while the test runs, so that nothing a
// test makes the module write lands anywhere else.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const std::filesystem::path& dir() const { return m_dir; }
    std::u16string wdir() const;  // dir() as a wide path
    std::filesystem::path path(const std::string& name) const { return m_dir / name; }
    std::u16string wpath(const std::string& name) const;  // path(name) as a wide path
    // Writes bytes to dir()/name and returns its wide path.
    std::u16string WriteFile(const std::string& name, const std::string& bytes) const;
    // Writes `bytes` as the machine registry file (dir()/machine.reg) and
    // points QELHOST_REGISTRY at it until the test ends.
    void UseRegistry(const std::string& bytes);
    // Removes the environment variable until the test ends; it is put back
    // as it was in TearDown.
    void UnsetVariable(const char* name);

private:
    std::filesystem::path m_dir;
    struct SavedVariable {
        std::string name, value;
        bool had;
    };
    void SaveVariable(const char* name);
    std::vector<SavedVariable> m_saved;
};

// Lowers this process's file size limit (RLIMIT_FSIZE) to `bytes` and
// ignores SIGXFSZ, so that a write past it fails with EFBIG as a full disk
// would; both are restored when the object goes, whatever the test did.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    bool m_set = false;
    void (*m_handler)(int) = nullptr;
};

std::string ReadFileBytes(const std::filesystem::path& p);
void WriteFileBytes(const std::filesystem::path& p, const std::string& bytes);
// Path of a file under tests/data.
std::filesystem::path TestData(const std::string& name);

// One part of a card's MIME body as another tool's MIME reader sees it
// (tests/support/read_mime.py prints the fields): its content type, the
// type's parameters as k=v joined by ';', transfer encoding, Content-ID,
// the reader's defects, and the decoded body.
struct MimePartSeen {
    std::string type, params, encoding, id, defects, body;
};
// The MIME readers at hand, as command lines that take the file last:
// Python's email package always, GMime 3 when the test reader was built.
std::vector<std::string> MimeReaders();
// The parts `reader` finds in the card `file`, and the boundary it read.
std::vector<MimePartSeen> ReadMimeWith(const std::string& reader, const std::filesystem::path& file,
                                       std::string& boundary);

}  // namespace qel::test
