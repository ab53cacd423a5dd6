// The lookup of the registered editor: the forms of the open command, and
// reading it through registry files.
#include "toruca/editor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "model/tpjfile.h"
#include "tests/support/test_support.h"

namespace {

struct CommandCase {
    const char* what;
    std::u16string command;
    bool reduced;
    std::u16string path;
};

TEST(TorucaEditor, ExtractsThePathFromBothForms) {
    const CommandCase cases[] = {
        {"quoted path, quoted %1", u"\"C:\\Program Files\\Ed\\ed.exe\" \"%1\"", true, u"C:\\Program Files\\Ed\\ed.exe"},
        {"quoted path, switches", u"\"/opt/ed\" -n -x \"%1\"", true, u"/opt/ed"},
        {"quoted path alone", u"\"/opt/ed\"", true, u"/opt/ed"},
        {"two double quotes", u"\"\"", true, u""},
        {"two double quotes and more", u"\"\" \"%1\"", true, u""},
        {"single double quote", u"\"", false, u"\""},
        {"quote closed before %1", u"\"/opt/ed \"%1", true, u"/opt/ed "},
        {"unquoted path, quoted %1", u"/opt/ed \"%1\"", true, u"/opt/ed"},
        {"unquoted path with blanks", u"C:\\My Ed\\ed.exe \"%1\"", true, u"C:\\My Ed\\ed.exe"},
        {"placeholder alone", u" \"%1\"", true, u""},
        {"placeholder then more", u"/opt/ed \"%1\" -x", false, u"/opt/ed \"%1\" -x"},
        {"placeholder twice", u"/opt/ed \"%1\" \"%1\"", false, u"/opt/ed \"%1\" \"%1\""},
        {"placeholder without blank", u"/opt/ed\"%1\"", false, u"/opt/ed\"%1\""},
        {"unquoted %1", u"/opt/ed %1", false, u"/opt/ed %1"},
        {"bare path", u"/opt/ed", false, u"/opt/ed"},
        {"empty", u"", false, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::u16string command = c.command;
        EXPECT_EQ(CQelToruca().ExtractExecutablePath(command), c.reduced);
        EXPECT_EQ(command, c.path);
    }
}

// Reads the editor from the registry file a test writes with UseRegistry.
class TorucaEditorRegistry : public qel::test::TempDirTest {
protected:
    static std::string Entry(const std::string& key, const std::string& valueLine) {
        return "Windows Registry Editor Version 5.00\r\n\r\n[" + key + "]\r\n" + valueLine + "\r\n";
    }
};

const std::string kEditorKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\ToruCaEditor.tpj\\shell\\Open\\command";

TEST_F(TorucaEditorRegistry, ReadsTheRegisteredEditor) {
    const std::pair<const char*, std::string> files[] = {
        {"quoted", Entry(kEditorKey, "@=\"\\\"/opt/toruca/editor\\\" \\\"%1\\\"\"")},
        {"key in other case", Entry("hkey_local_machine\\software\\classes\\torucaeditor.TPJ\\Shell\\open\\Command",
                                    "@=\"\\\"/opt/toruca/editor\\\"\"")},
        {"UTF-8 BOM", "\xEF\xBB\xBF" + Entry(kEditorKey, "@=\"/opt/toruca/editor \\\"%1\\\"\"")},
    };
    for (const auto& [what, bytes] : files) {
        SCOPED_TRACE(what);
        UseRegistry(bytes);
        EXPECT_EQ(CQelToruca().ReadEditorPath(), u"/opt/toruca/editor");
    }
}

TEST_F(TorucaEditorRegistry, UnicodePathFromUtf16File) {
    const std::u16string text =
        u"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\ToruCaEditor.tpj\\shell\\Open\\command]"
        u"\r\n@=\"\\\"C:\\\\トルカ\\\\編集.exe\\\" \\\"%1\\\"\"\r\n";
    std::string bytes = "\xFF\xFE";
    for (const char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    UseRegistry(bytes);
    CQelTpjFile record(TYPE_PROJECT);
    EXPECT_EQ(qel::toruca::GetEditorCommand(record), u"C:\\トルカ\\編集.exe");
}

TEST_F(TorucaEditorRegistry, CommandOfNeitherFormComesBackWhole) {
    UseRegistry(Entry(kEditorKey, "@=\"/opt/toruca/editor %1\""));
    EXPECT_EQ(CQelToruca().ReadEditorPath(), u"/opt/toruca/editor %1");
}

TEST_F(TorucaEditorRegistry, NothingRegisteredGivesEmpty) {
    const std::pair<const char*, std::string> files[] = {
        {"empty value", Entry(kEditorKey, "@=\"\"")},
        {"other key", Entry(kEditorKey + "\\sub", "@=\"/opt/toruca/editor\"")},
        {"malformed file", "\xFF\xFE[\x00"},
    };
    for (const auto& [what, bytes] : files) {
        SCOPED_TRACE(what);
        UseRegistry(bytes);
        EXPECT_EQ(CQelToruca().ReadEditorPath(), u"");
    }
    ::unsetenv("QELHOST_REGISTRY");
    EXPECT_EQ(qel::toruca::GetEditorCommand(CQelTpjFile(TYPE_PROJECT)), u"");
}

}  // namespace
