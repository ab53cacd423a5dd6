// The temporary folder (configured, or the private default one and its
// refusal when unsafe) and unique names in it, which never leave it and never
// name an existing entry.
#include "host/tempfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <optional>

#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

class TempFolderTest : public qel::test::TempDirTest {
protected:
    void SetUp() override {
        qel::test::TempDirTest::SetUp();
        if (const char* t = std::getenv("TMPDIR")) m_savedTmpdir = t;
    }
    void TearDown() override {
        if (m_savedTmpdir) ::setenv("TMPDIR", m_savedTmpdir->c_str(), 1);
        else ::unsetenv("TMPDIR");
        qel::test::TempDirTest::TearDown();
    }
    // Switches to the default folder under dir()/parent and answers its path.
    fs::path UseDefaultFolder(const std::string& parent = "tmp") {
        fs::create_directory(path(parent));
        ::setenv("TMPDIR", path(parent).c_str(), 1);
        ::unsetenv("QELHOST_TEMP_DIR");
        return path(parent) / ("qelhost-" + std::to_string(::geteuid()));
    }
    // getTempDirectory, with what it wrote to standard error.
    std::u16string TempDir(std::string* err) {
        ::testing::internal::CaptureStderr();
        const std::u16string got = CParamEngineer::getInstance()->getTempDirectory();
        *err = ::testing::internal::GetCapturedStderr();
        return got;
    }

private:
    std::optional<std::string> m_savedTmpdir;
};

mode_t ModeOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0);
    return st.st_mode & 07777;
}

TEST_F(TempFolderTest, ConfiguredFolderIsReadEachTime) {
    CParamEngineer* engineer = CParamEngineer::getInstance();
    ASSERT_NE(engineer, nullptr);
    EXPECT_EQ(engineer, CParamEngineer::getInstance());
    EXPECT_EQ(engineer->getTempDirectory(), wdir());
    EXPECT_EQ(CZorCommon::getProductFolder(8, 0), wdir());
    EXPECT_EQ(CZorCommon::getProductFolder(7, 0), u"");

    ::setenv("QELHOST_TEMP_DIR", (dir() / "出力 1" / "").c_str(), 1);
    EXPECT_EQ(engineer->getTempDirectory(), wpath("出力 1"));  // no trailing '/', made when missing
    EXPECT_TRUE(fs::is_directory(path("出力 1")));
}

TEST_F(TempFolderTest, ARelativeFolderIsTakenFromTheWorkingFolderWhenFirstRead) {
    // A relative folder would give relative output paths, which a program
    // started on them could take for options ("-x/toruca.trc").
    const fs::path before = fs::current_path();
    fs::create_directories(path("work/elsewhere"));
    fs::current_path(path("work"));
    ::setenv("QELHOST_TEMP_DIR", "./-x//out/", 1);
    const std::u16string first = CParamEngineer::getInstance()->getTempDirectory();
    fs::current_path(path("work/elsewhere"));
    const std::u16string second = CParamEngineer::getInstance()->getTempDirectory();
    fs::current_path(before);
    EXPECT_EQ(first, wpath("work/-x/out"));
    EXPECT_EQ(second, first) << "a later change of the working folder does not move it";
    EXPECT_TRUE(fs::is_directory(path("work/-x/out")));
}

TEST_F(TempFolderTest, DefaultFolderIsMadePrivate) {
    const fs::path expected = UseDefaultFolder();
    std::string err;
    EXPECT_EQ(TempDir(&err), qel::framework::PathFromNative(expected.string()));
    EXPECT_EQ(err, "");
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(expected)));
    EXPECT_EQ(ModeOf(expected), 0700u);
    EXPECT_EQ(CZorCommon::getProductFolder(8, 0), qel::framework::PathFromNative(expected.string()));
}

TEST_F(TempFolderTest, ExistingOwnFolderReadableByOthersIsTightened) {
    const fs::path folder = UseDefaultFolder();
    fs::create_directory(folder);
    ::chmod(folder.c_str(), 0755);
    std::string err;
    EXPECT_EQ(TempDir(&err), qel::framework::PathFromNative(folder.string()));
    EXPECT_EQ(ModeOf(folder), 0700u);
}

TEST_F(TempFolderTest, UnsafeDefaultFolderIsRefused) {
    fs::create_directory(path("elsewhere"));
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> make;
    };
    const Case cases[] = {
        {"link", [&](const fs::path& f) { fs::create_directory_symlink(path("elsewhere"), f); }},
        {"dangling", [&](const fs::path& f) { fs::create_directory_symlink(path("nowhere"), f); }},
        {"all-write", [&](const fs::path& f) { fs::create_directory(f), ::chmod(f.c_str(), 0777); }},
        {"group-write", [&](const fs::path& f) { fs::create_directory(f), ::chmod(f.c_str(), 0770); }},
        {"file", [&](const fs::path& f) { qel::test::WriteFileBytes(f, "x"); }},
    };
    for (const Case& c : cases) {
        const fs::path folder = UseDefaultFolder(c.what);
        c.make(folder);
        const auto before = fs::symlink_status(folder).permissions();
        std::string err;
        EXPECT_EQ(TempDir(&err), u"") << c.what;
        EXPECT_NE(err.find(folder.string()), std::string::npos) << c.what;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.what << ": " << err;
        EXPECT_EQ(fs::symlink_status(folder).permissions(), before) << c.what;  // left as found
        EXPECT_FALSE(fs::exists(path("nowhere"))) << c.what;
        EXPECT_TRUE(fs::is_empty(path("elsewhere"))) << c.what;
        EXPECT_EQ(QelTempFile::makeUniquePath2(u"toruca.tpj", CZorCommon::getProductFolder(8, 0), 0, u""), u"");
    }
}

TEST_F(TempFolderTest, DefaultFolderOfAnotherUserIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder away";
    const fs::path folder = UseDefaultFolder();
    fs::create_directory(folder);
    ::chmod(folder.c_str(), 0700);
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    std::string err;
    EXPECT_EQ(TempDir(&err), u"");
    EXPECT_NE(err.find("another user"), std::string::npos) << err;
}

class UniquePathTest : public qel::test::TempDirTest {
protected:
    std::u16string Unique(const std::u16string& name) { return QelTempFile::makeUniquePath2(name, wdir(), 0, u""); }
    // The name part of a result, after checking that it lies directly in the
    // folder, names nothing yet and can be created there.
    std::string CheckedName(const std::u16string& result) {
        const fs::path p(qel::framework::PathToNative(result));
        EXPECT_EQ(p.parent_path(), dir()) << p;
        struct stat st;
        EXPECT_NE(::lstat(p.c_str(), &st), 0) << p;
        const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
        EXPECT_GE(fd, 0) << p;
        if (fd >= 0) ::close(fd);
        return p.filename().string();
    }
};

TEST_F(UniquePathTest, FreeNameIsTakenAsItIs) {
    EXPECT_EQ(Unique(u"toruca.tpj"), wpath("toruca.tpj"));
    EXPECT_EQ(Unique(u"写真 1.jpg"), wpath("写真 1.jpg"));
    EXPECT_EQ(QelTempFile::makeUniquePath3(u"image.gif", wdir(), true, 0, u""), wpath("image.gif"));
    EXPECT_EQ(QelTempFile::makeUniquePath2(u"x.gif", wdir() + u"/", 0, u""), wpath("x.gif"));
}

TEST_F(UniquePathTest, TakenNamesGetTheSmallestFreeNumber) {
    WriteFile("toruca.tpj", "");
    EXPECT_EQ(CheckedName(Unique(u"toruca.tpj")), "toruca(1).tpj");
    EXPECT_EQ(CheckedName(Unique(u"toruca.tpj")), "toruca(2).tpj");
    // The search goes on where the last one for the name ended: a number
    // freed meanwhile is not used again, so many files of one name cost
    // linear time.
    fs::remove(path("toruca(1).tpj"));
    EXPECT_EQ(CheckedName(Unique(u"toruca.tpj")), "toruca(3).tpj");

    // Anything with the name takes it: a folder, a link, a dangling link.
    fs::create_directory(path("image1.gif"));
    fs::create_directory(path("image1(1).gif"));
    fs::create_symlink(path("image1.gif"), path("image1(2).gif"));
    fs::create_symlink(path("nowhere"), path("image1(3).gif"));
    EXPECT_EQ(CheckedName(Unique(u"image1.gif")), "image1(4).gif");
    EXPECT_FALSE(fs::exists(path("nowhere")));

    WriteFile("写真 1.jpg", "");
    EXPECT_EQ(CheckedName(Unique(u"写真 1.jpg")), "写真 1(1).jpg");
    WriteFile("README", "");
    EXPECT_EQ(CheckedName(Unique(u"README")), "README(1)");
    WriteFile("a.b.c", "");
    EXPECT_EQ(CheckedName(Unique(u"a.b.c")), "a.b(1).c");
    WriteFile(".hidden", "");
    EXPECT_EQ(CheckedName(Unique(u".hidden")), ".hidden(1)");
}

TEST_F(UniquePathTest, HostileNamesStayInsideTheFolder) {
    WriteFile("passwd", "");
    const struct {
        std::u16string name;
        const char* expected;
    } cases[] = {
        {u"../../x.gif", "x.gif"},
        {u"/etc/passwd", "passwd(1)"},
        {u"a/b.gif", "b.gif"},
        {u"..\\x.gif", "x(1).gif"},
        {u"C:\\Windows\\win.ini", "win.ini"},
        {u"", "file"},
        {u".", "file(1)"},
        {u"..", "file(2)"},
        {u"x/..", "file(3)"},
        {u"sub/", "file(4)"},
        {u"/", "file(5)"},
        {u"\x01..\x02", "file(6)"},
        {u"a\x01\x1f\x7f\u0085b.gif\n", "ab.gif"},
        {std::u16string(u"../a\0b.gif", 10), "ab(1).gif"},
        {u"a..b.gif", "a..b.gif"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckedName(Unique(c.name)), c.expected) << qel::framework::WideToUtf8(c.name);
    // Nothing was made anywhere but in the folder.
    EXPECT_FALSE(fs::exists(dir().parent_path() / "x.gif"));
}

TEST_F(UniquePathTest, OverlongNamesAreCutKeepingExtensionAndNumber) {
    std::u16string longName;
    for (int i = 0; i < 300; ++i) longName += u'あ';
    const std::string first = CheckedName(Unique(longName + u".jpg"));
    EXPECT_LE(first.size(), 255u);
    EXPECT_EQ(first.substr(first.size() - 4), ".jpg");
    const std::string second = CheckedName(Unique(longName + u".jpg"));
    EXPECT_LE(second.size(), 255u);
    EXPECT_EQ(second.substr(second.size() - 7), "(1).jpg");
    EXPECT_TRUE(qel::framework::IsValidUtf8(second));  // never cut inside a character
}

// --- New files that appear only when whole --------------------------------------------------

class NewFileTest : public qel::test::TempDirTest {
protected:
    // The names in the folder that anyone could take for a file of ours.
    std::vector<std::string> Visible() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir()))
            if (e.path().filename().string()[0] != '.') names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(NewFileTest, AppearsUnderAFreeNameOnlyWhenCommitted) {
    qel::test::WriteFileBytes(path("a.gif"), "old");
    QelNewFile file;
    ASSERT_TRUE(file.Create(wdir(), u"../a.gif"));
    file.Write("new", 3);
    EXPECT_EQ(Visible(), std::vector<std::string>{"a.gif"}) << "nothing under a name before the commit";
    EXPECT_EQ(file.Commit(false), wpath("a(1).gif"));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(qel::test::ReadFileBytes(path("a.gif")), "old");
    EXPECT_EQ(qel::test::ReadFileBytes(path("a(1).gif")), "new");

    // A name taken after the file was made, even by a dangling link, is
    // neither replaced nor followed: the next number is used.
    QelNewFile second;
    ASSERT_TRUE(second.Create(wdir() + u"/", u"b.gif"));
    second.Write("x", 1);
    fs::create_symlink(path("nowhere"), path("b.gif"));
    qel::test::WriteFileBytes(path("b(1).gif"), "someone else's");
    EXPECT_EQ(second.Commit(true), wpath("b(2).gif"));
    EXPECT_FALSE(fs::exists(path("nowhere")));
    EXPECT_EQ(qel::test::ReadFileBytes(path("b(1).gif")), "someone else's");
    EXPECT_EQ(qel::test::ReadFileBytes(path("b(2).gif")), "x");
    for (const auto& e : fs::directory_iterator(dir()))
        EXPECT_NE(e.path().filename().string()[0], '.') << "a hidden name left behind: " << e.path();
}

// The name another process takes at the last moment, just before the file
// is put in place under it; empty when none.
std::string g_takenMeanwhile;

void TakeMeanwhile(int dir, const char* name) {
    if (g_takenMeanwhile != name) return;
    g_takenMeanwhile.clear();
    const int fd = ::openat(dir, name, O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0) << name;
    EXPECT_EQ(::write(fd, "someone else's", 14), 14);
    ::close(fd);
}

// The system calls of a file system that lacks what the file is made with
// first, put back when it goes.
class FileSystemWithout {
public:
    FileSystemWithout(int tmpfileError, int noReplaceError) : m_saved(qel::host::NewFileSystemCalls()) {
        s_tmpfileError = tmpfileError;
        s_noReplaceError = noReplaceError;
        qel::host::NewFileCalls& calls = qel::host::NewFileSystemCalls();
        calls.openat = [](int dir, const char* name, int flags, mode_t mode) {
            if ((flags & O_TMPFILE) == O_TMPFILE) {
                errno = s_tmpfileError;
                return -1;
            }
            return ::openat(dir, name, flags, mode);
        };
        calls.linkat = [](int fromDir, const char* from, int toDir, const char* to, int flags) {
            TakeMeanwhile(toDir, to);
            return ::linkat(fromDir, from, toDir, to, flags);
        };
        calls.renameat2 = [](int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
            if ((flags & RENAME_NOREPLACE) != 0 && s_noReplaceError != 0) {
                errno = s_noReplaceError;
                return -1;
            }
            TakeMeanwhile(toDir, to);
            return ::renameat2(fromDir, from, toDir, to, flags);
        };
    }
    ~FileSystemWithout() {
        qel::host::NewFileSystemCalls() = m_saved;
        g_takenMeanwhile.clear();
    }
    FileSystemWithout(const FileSystemWithout&) = delete;
    FileSystemWithout& operator=(const FileSystemWithout&) = delete;

private:
    static inline int s_tmpfileError = 0, s_noReplaceError = 0;
    qel::host::NewFileCalls m_saved;
};

// Where the file system makes no unnamed files, the file is made under a
// hidden name and renamed or, without an exclusive rename, linked into
// place: neither ever replaces a name, not even one that another process
// takes between the search for a free name and the commit.
TEST_F(NewFileTest, WithoutUnnamedFilesAHiddenNameThatNeverReplaces) {
    const struct {
        const char* what;
        int tmpfileError, noReplaceError;
    } cases[] = {
        {"no O_TMPFILE", EOPNOTSUPP, 0},
        {"O_TMPFILE taken for an unknown flag", EINVAL, 0},
        {"no O_TMPFILE, no exclusive rename", EOPNOTSUPP, EINVAL},
        {"a kernel older than both", EISDIR, ENOSYS},
    };
    char stem = 'a';  // a name of its own for each: the process remembers the numbers it gave
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name(1, stem++);
        qel::test::WriteFileBytes(path(name + ".gif"), "old");
        const FileSystemWithout without(c.tmpfileError, c.noReplaceError);
        QelNewFile file;
        ASSERT_TRUE(file.Create(wdir(), qel::framework::Utf8ToWide(name + ".gif")));
        file.Write("new", 3);
        g_takenMeanwhile = name + "(1).gif";
        EXPECT_EQ(file.Commit(true), wpath(name + "(2).gif"));
        EXPECT_EQ(qel::test::ReadFileBytes(path(name + ".gif")), "old");
        EXPECT_EQ(qel::test::ReadFileBytes(path(name + "(1).gif")), "someone else's");
        EXPECT_EQ(qel::test::ReadFileBytes(path(name + "(2).gif")), "new");
    }
    for (const auto& e : fs::directory_iterator(dir()))
        EXPECT_NE(e.path().filename().string()[0], '.') << "a hidden name left behind: " << e.path();
}

TEST_F(NewFileTest, AFileNotCommittedLeavesNothing) {
    {
        QelNewFile file;
        ASSERT_TRUE(file.Create(wdir(), u"toruca.tpj"));
        file.Write("half a card", 11);
    }
    QelNewFile discarded;
    ASSERT_TRUE(discarded.Create(wdir(), u"toruca.tpj"));
    discarded.Discard();
    EXPECT_THROW(discarded.Commit(false), CFileException);
    EXPECT_TRUE(fs::is_empty(dir()));
}

TEST_F(NewFileTest, NoFolderNoFile) {
    QelNewFile file;
    CFileException error;
    EXPECT_FALSE(file.Create(u"", u"a.gif", &error));
    EXPECT_FALSE(file.Create(wpath("missing"), u"a.gif", &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(error.m_strFileName, wpath("missing/a.gif")) << "the error names the file as it was meant";
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(UniquePathTest, NoFolderNoPath) {
    EXPECT_EQ(QelTempFile::makeUniquePath2(u"toruca.tpj", u"", 0, u""), u"");
    EXPECT_EQ(QelTempFile::makeUniquePath3(u"toruca.tpj", u"", true, 0, u""), u"");
    EXPECT_EQ(QelTempFile::makeUniquePath2(u"toruca.tpj", std::u16string(u"/tmp\0x", 6), 0, u""), u"");
}

}  // namespace

class WriteNewFileTest : public qel::test::TempDirTest {};

TEST_F(WriteNewFileTest, WritesExactlyTheBytesUnderAFreeNameAndNeverOverwrites) {
    const std::string bytes = std::string("ToruCa\r\n\x83\x67\x83\x8B\x83\x4A\r\n", 14) + std::string(1, '\0') + "z";
    const std::u16string first = qel::host::WriteNewFile(wdir(), u"toruca.trc", bytes);
    EXPECT_EQ(first, wpath("toruca.trc"));
    EXPECT_EQ(qel::test::ReadFileBytes(path("toruca.trc")), bytes);  // no NUL added, none cut, no BOM

    const std::u16string second = qel::host::WriteNewFile(wdir(), u"toruca.trc", "other");
    EXPECT_EQ(second, wpath("toruca(1).trc"));
    EXPECT_EQ(qel::test::ReadFileBytes(path("toruca.trc")), bytes);
    EXPECT_EQ(qel::test::ReadFileBytes(path("toruca(1).trc")), "other");

    // A dangling link at the name is never followed.
    fs::create_symlink(path("elsewhere.txt"), path("toruca.tpj"));
    EXPECT_EQ(qel::host::WriteNewFile(wdir(), u"toruca.tpj", "p"), wpath("toruca(1).tpj"));
    EXPECT_FALSE(fs::exists(path("elsewhere.txt")));

    // An empty text is an empty file.
    EXPECT_EQ(qel::host::WriteNewFile(wdir(), u"empty.trc", ""), wpath("empty.trc"));
    EXPECT_EQ(fs::file_size(path("empty.trc")), 0u);
}

TEST_F(WriteNewFileTest, NoFolderOrAFolderThatRefusesGivesNoFile) {
    EXPECT_EQ(qel::host::WriteNewFile(u"", u"toruca.tpj", "x"), u"");
    EXPECT_EQ(qel::host::WriteNewFile(wpath("missing"), u"toruca.tpj", "x"), u"");
    if (::geteuid() != 0) {  // root writes anywhere
        fs::create_directory(path("ro"));
        fs::permissions(path("ro"), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(qel::host::WriteNewFile(wpath("ro"), u"toruca.tpj", "x"), u"");
    }
}

TEST_F(WriteNewFileTest, AFileThatCannotBeWrittenWholeIsRemoved) {
    // The file size limit makes the write fail after its first bytes, as a
    // full disk would.
    std::u16string written;
    {
        const qel::test::FileSizeLimit limit(1000);
        written = qel::host::WriteNewFile(wdir(), u"toruca_detail.trc", std::string(5000, 'A'));
    }
    EXPECT_EQ(written, u"");
    EXPECT_TRUE(fs::is_empty(dir())) << "a half-written card must not stay behind";
}

TEST_F(WriteNewFileTest, BytesMadeWhileWritingAndAFailureOfTheirOwn) {
    using qel::host::ByteWriter;
    const std::u16string written = qel::host::WriteNewFile(wdir(), u"toruca.trc", [](const ByteWriter& write) {
        write("To", 2);
        write("ruCa", 4);
    });
    EXPECT_EQ(written, wpath("toruca.trc"));
    EXPECT_EQ(qel::test::ReadFileBytes(path("toruca.trc")), "ToruCa");
    // An image that fails halfway is the caller's to report: it leaves the
    // call, and nothing of the file stays.
    EXPECT_THROW(qel::host::WriteNewFile(wdir(), u"toruca_detail.trc",
                                         [](const ByteWriter& write) {
                                             write("ToruCa", 6);
                                             throw CFileException(CFileException::endOfFile, 0, u"/img.gif",
                                                                  u"shrank while it was read");
                                         }),
                 CFileException);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir()), fs::directory_iterator()), 1);
}

TEST_F(WriteNewFileTest, WriteBehindKeepsTheOrderAndRaisesAFailureOnce) {
    const std::string a(300000, 'a'), b(300000, 'b');
    {
        CFile file;
        ASSERT_TRUE(file.Open(wpath("blocks"), CFile::modeCreate | CFile::modeWrite));
        qel::host::WriteBehind behind;
        behind.Start(file, a.data(), a.size());
        behind.Start(file, b.data(), b.size());
        behind.Wait();
        behind.Wait();  // nothing in flight: returns at once
    }
    EXPECT_EQ(qel::test::ReadFileBytes(path("blocks")), a + b);

    // A block that cannot be written raises from the next call, once.
    CFile file;
    ASSERT_TRUE(file.Open(wpath("full"), CFile::modeCreate | CFile::modeWrite));
    const qel::test::FileSizeLimit limit(1000);
    qel::host::WriteBehind behind;
    behind.Start(file, a.data(), a.size());
    EXPECT_THROW(behind.Start(file, b.data(), b.size()), CFileException);
    EXPECT_NO_THROW(behind.Wait());
    behind.Start(file, b.data(), b.size());
    EXPECT_THROW(behind.Wait(), CFileException);
    behind.Start(file, b.data(), b.size());
    behind.WaitQuietly();
    EXPECT_NO_THROW(behind.Wait());
}
