// The registry export file behind CHKLMRegistryBase: encodings, headers,
// escapes, case, lines of other forms, repeated keys and malformed files.
#include "host/registry.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "framework/codepage.h"
#include "tests/support/test_support.h"

namespace {

const char kKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Qel\\Test";
const std::u16string kSubKey = u"SOFTWARE\\Qel\\Test";

std::string Utf16Le(const std::string& utf8) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t c : qel::framework::Utf8ToWide(utf8)) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

// Reads values from the registry file a test writes with UseRegistry.
class RegistryFile : public qel::test::TempDirTest {
protected:
    // The value `name` of kSubKey, or "<default>".
    std::u16string Read(const std::u16string& name = u"", const std::u16string& key = kSubKey) {
        CHKLMRegistryBase reg(key, 0);
        return reg.GetValueString(name, u"<default>", 0);
    }
};

TEST_F(RegistryFile, WithoutVariableOrFileEveryKeyIsMissing) {
    ::unsetenv("QELHOST_REGISTRY");
    EXPECT_EQ(Read(), u"<default>");
    ::setenv("QELHOST_REGISTRY", "", 1);
    EXPECT_EQ(Read(), u"<default>");
    ::setenv("QELHOST_REGISTRY", path("absent.reg").c_str(), 1);
    EXPECT_EQ(Read(), u"<default>");
    ::setenv("QELHOST_REGISTRY", dir().c_str(), 1);  // a folder
    EXPECT_EQ(Read(), u"<default>");
    // A pipe without a writer and an endless device are refused at once.
    ASSERT_EQ(::mkfifo(path("pipe.reg").c_str(), 0600), 0);
    ::setenv("QELHOST_REGISTRY", path("pipe.reg").c_str(), 1);
    EXPECT_EQ(Read(), u"<default>");
    ::setenv("QELHOST_REGISTRY", "/dev/zero", 1);
    EXPECT_EQ(Read(), u"<default>");
}

TEST_F(RegistryFile, ReadsEveryEncodingAndHeader) {
    const std::string body = std::string("[") + kKey + "]\r\n@=\"/opt/エディタ\"\r\n\"Name\"=\"値\"\r\n";
    const std::pair<const char*, std::string> files[] = {
        {"UTF-8", "Windows Registry Editor Version 5.00\r\n\r\n" + body},
        {"UTF-8 with BOM", "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n" + body},
        {"UTF-16LE", Utf16Le("Windows Registry Editor Version 5.00\r\n\r\n" + body)},
        {"REGEDIT4", "REGEDIT4\n\n" + body},
        {"no header, LF only, no final line end", std::string("[") + kKey + "]\n@=\"/opt/エディタ\"\n\"Name\"=\"値\""},
    };
    for (const auto& [what, bytes] : files) {
        SCOPED_TRACE(what);
        UseRegistry(bytes);
        EXPECT_EQ(Read(), u"/opt/エディタ");
        EXPECT_EQ(Read(u"Name"), u"値");
        EXPECT_EQ(Read(u"nAME"), u"値");  // value names ignore case too
        EXPECT_EQ(Read(u"Other"), u"<default>");
    }
}

TEST_F(RegistryFile, UnescapesQuotesAndBackslashes) {
    UseRegistry(std::string("[") + kKey +
                "]\n"
                "@=\"\\\"C:\\\\Program Files\\\\Editor.exe\\\" \\\"%1\\\"\"\n"
                "\"Dir\"=\"C:\\\\dir\\\\\"\n"
                "\"Empty\"=\"\"\n"
                "\"Spaced\" = \"x\"  \n"
                "\"a\\\"b\"=\"quoted name\"\n");
    EXPECT_EQ(Read(), u"\"C:\\Program Files\\Editor.exe\" \"%1\"");
    EXPECT_EQ(Read(u"Dir"), u"C:\\dir\\");
    EXPECT_EQ(Read(u"Empty"), u"");
    EXPECT_EQ(Read(u"Spaced"), u"x");
    EXPECT_EQ(Read(u"a\"b"), u"quoted name");
}

TEST_F(RegistryFile, KeysMatchWholeAndWithoutCase) {
    UseRegistry(
        "[hkey_local_machine\\software\\QEL\\test]\n@=\"lower\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qel\\Test\\Sub]\n\"Deep\"=\"sub\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qel]\n\"Up\"=\"parent\"\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Qel\\Test]\n\"User\"=\"user\"\n");
    EXPECT_EQ(Read(), u"lower");
    EXPECT_EQ(Read(u"Deep"), u"<default>");
    EXPECT_EQ(Read(u"Up"), u"<default>");
    EXPECT_EQ(Read(u"User"), u"<default>");
    EXPECT_EQ(Read(u"Deep", kSubKey + u"\\Sub"), u"sub");
    EXPECT_EQ(Read(u"", u"SOFTWARE\\Qel\\Tes"), u"<default>");
}

TEST_F(RegistryFile, LinesOfOtherFormsAreSkipped) {
    UseRegistry(std::string("@=\"before any key\"\n") + "[" + kKey +
                "]\n"
                "; a comment\n"
                "\"Dword\"=dword:00000001\n"
                "@=hex(2):41,00,\\\n  42,00\n"
                "\"Escape\"=\"a\\nb\"\n"
                "\"Trailing\"=\"a\" b\n"
                "\"Open\"=\"abc\n"
                "Bare=\"x\"\n"
                "\"Dword\"=\"string after all\"\n");
    EXPECT_EQ(Read(), u"<default>");
    EXPECT_EQ(Read(u"Dword"), u"string after all");
    for (const char16_t* name : {u"Escape", u"Trailing", u"Open", u"Bare"}) EXPECT_EQ(Read(name), u"<default>");
}

TEST_F(RegistryFile, LaterValuesWinAndRepeatedKeysMerge) {
    UseRegistry(std::string("[") + kKey +
                "]\n@=\"first\"\n\"Kept\"=\"kept\"\n"
                "[HKEY_LOCAL_MACHINE\\Other]\n@=\"other\"\n"
                "[" +
                kKey + "]\n@=\"second\"\n");
    EXPECT_EQ(Read(), u"second");
    EXPECT_EQ(Read(u"Kept"), u"kept");
}

TEST_F(RegistryFile, BracketLineThatIsNoKeyEndsTheKey) {
    UseRegistry(std::string("[") + kKey +
                "]\n\"A\"=\"a\"\n"
                "[-HKEY_LOCAL_MACHINE\\Gone]\n\"B\"=\"b\"\n"
                "[" +
                kKey + "]\n[" + kKey + "\n\"C\"=\"c\"\n");
    EXPECT_EQ(Read(u"A"), u"a");
    EXPECT_EQ(Read(u"B"), u"<default>");
    EXPECT_EQ(Read(u"C"), u"<default>");
}

TEST_F(RegistryFile, MalformedFilesReadAsMissing) {
    const std::string good = std::string("[") + kKey + "]\n@=\"value\"\n";
    const std::pair<const char*, std::string> files[] = {
        {"empty", ""},
        {"UTF-16LE with an odd byte", Utf16Le(good) + "x"},
        {"UTF-16BE", "\xFE\xFF" + Utf16Le(good).substr(2)},
        {"UTF-16LE without BOM", Utf16Le(good).substr(2)},
        {"invalid UTF-8", good + "\"Bad\"=\"\xC0\xAF\"\n"},
        {"binary", std::string("\0\x01\xFF[\n\"\\", 7)},
        {"only a bracket", "["},
    };
    for (const auto& [what, bytes] : files) {
        SCOPED_TRACE(what);
        UseRegistry(bytes);
        EXPECT_EQ(Read(), u"<default>");
    }
    UseRegistry(good);
    EXPECT_EQ(Read(), u"value");  // the same, well formed
}

// A full export of a machine's registry is tens of megabytes: the file is
// read whatever its size, and a value at its very end counts.
TEST_F(RegistryFile, LargeFilesAreReadToTheEnd) {
    std::string filler;
    for (int i = 0; filler.size() < (17u << 20); ++i)
        filler += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Filler\\" + std::to_string(i) + "]\n\"v\"=\"text\"\n";
    UseRegistry(std::string("[") + kKey + "]\n@=\"early\"\n" + filler + "[" + kKey + "]\n\"Late\"=\"late\"");
    EXPECT_EQ(Read(), u"early");
    EXPECT_EQ(Read(u"Late"), u"late");
    UseRegistry(Utf16Le(std::string("[") + kKey + "]\r\n@=\"early\"\r\n" + filler.substr(0, filler.find("[", 300000)) +
                        "[" + kKey + "]\r\n\"Late\"=\"値\"\r\n"));
    EXPECT_EQ(Read(), u"early");
    EXPECT_EQ(Read(u"Late"), u"値");
}

// A line longer than any real one (1 MiB) is skipped, not held, and ends
// the key it is in: it may have been a key line.
TEST_F(RegistryFile, OverlongLineIsSkippedAndEndsTheKey) {
    const std::string key = std::string("[") + kKey + "]\n";
    UseRegistry(key + "\"A\"=\"a\"\n\"Long\"=\"" + std::string(3u << 20, 'x') + "\"\n\"B\"=\"b\"\n" + key +
                "\"C\"=\"c\"\n");
    EXPECT_EQ(Read(u"A"), u"a");
    EXPECT_EQ(Read(u"Long"), u"<default>");
    EXPECT_EQ(Read(u"B"), u"<default>");
    EXPECT_EQ(Read(u"C"), u"c");
}

}  // namespace
