// Helpers shared by the tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace qeltest {

// A fresh folder for one test, removed afterwards. It is also the host's
// temporary folder (QELHOST_TEMP_DIR) while the test runs, so that nothing a
// test makes the module write lands anywhere else.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const std::filesystem::path& dir() const { return m_dir; }
    std::u16string wdir() const;                         // dir() as a wide path
    std::filesystem::path path(const std::string& name) const { return m_dir / name; }
    std::u16string wpath(const std::string& name) const; // path(name) as a wide path
    // Writes bytes to dir()/name and returns its wide path.
    std::u16string WriteFile(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path m_dir;
    std::string m_savedTemp;
    bool m_hadTemp = false;
};

std::string ReadFileBytes(const std::filesystem::path& p);
void WriteFileBytes(const std::filesystem::path& p, const std::string& bytes);
// Path of a file under tests/data.
std::filesystem::path TestData(const std::string& name);

}  // namespace qeltest
