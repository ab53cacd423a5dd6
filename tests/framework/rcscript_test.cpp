// The resource-script loader: statements and their default styles, the
// preprocessor lines it knows (a header of ids included), errors with their
// line numbers, every truncation of a valid script, and the search through
// registered modules.
#include "framework/rcscript.h"

#include <gtest/gtest.h>

#include "framework/codepage.h"
#include "tests/support/dialog_testing.h"

namespace {

const char kHeader[] =
    "// ids\n"
    "#pragma once\n"
    "#define IDD_SAMPLE 200\n"
    "/* the edit */ #define IDC_EDIT 0x12DL\n";
const QelResourceFile kIncludes[] = {{"resource.h", kHeader}};

QelResourceScript Parse(const std::string& text) {
    QelResourceScript script;
    QelRcError error;
    EXPECT_TRUE(qel::framework::ParseResourceScript(text, script, error, kIncludes))
        << "line " << error.line << ": " << error.message;
    return script;
}

QelRcError ParseError(const std::string& text, std::span<const QelResourceFile> includes = kIncludes) {
    QelResourceScript script;
    QelRcError error;
    EXPECT_FALSE(qel::framework::ParseResourceScript(text, script, error, includes)) << text;
    EXPECT_TRUE(script.dialogs.empty());
    return error;
}

const char kSample[] =
    "\xEF\xBB\xBF// sample\n"
    "#pragma code_page(65001)\n"
    "#include \"resource.h\"  // ids\n"
    "#define IDC_LIST 303\n"
    "LANGUAGE LANG_JAPANESE, SUBLANG_DEFAULT\n"
    "IDD_SAMPLE DIALOGEX 1, 2, 120, 80\n"
    "CAPTION \"Say \"\"hi\"\"\\t\"\n"
    "FONT 9, \"ＭＳ Ｐゴシック\", 700, 1, 0x80\n"
    "{\n"
    "    LTEXT \"&Label\", -1, 1, 2, 3, 4\n"
    "    EDITTEXT IDC_EDIT, 5, 6, 7, 8, ES_AUTOHSCROLL | NOT WS_TABSTOP\n"
    "    COMBOBOX 302, 0, 0, 10, 10, CBS_DROPDOWNLIST | WS_VSCROLL\n"
    "    LISTBOX IDC_LIST, 0, 0, 10, 10\n"
    "    CONTROL \"x\", 304, \"button\", BS_AUTORADIOBUTTON | WS_GROUP, 0, 0, 10, 10, WS_EX_STATICEDGE\n"
    "    CONTROL 101, 305, STATIC, SS_ICON, 0, 0, 10, 10\n"
    "    DEFPUSHBUTTON L\"OK\", IDOK, 0, 0, 10, 10, WS_DISABLED\n"
    "}\n"
    "201 DIALOG 0, 0, 10, 10\n"
    "BEGIN\n"
    "END\n";

TEST(RcScript, StatementsGetTheResourceCompilersDefaults) {
    const QelResourceScript s = Parse(kSample);
    ASSERT_EQ(s.dialogs.size(), 2u);
    const CDialogTemplate& d = s.dialogs[0];
    EXPECT_EQ(d.id, 200);
    EXPECT_TRUE(d.extended);
    EXPECT_EQ(d.caption, u"Say \"hi\"\t");
    EXPECT_EQ((CRect{d.x, d.y, d.cx, d.cy}), (CRect{1, 2, 120, 80}));
    // No STYLE: popup, border, system menu; CAPTION adds the caption, FONT set-font.
    EXPECT_EQ(d.style, WS_POPUP | WS_BORDER | WS_SYSMENU | WS_CAPTION | DS_SETFONT);
    EXPECT_EQ(qel::framework::WideToUtf8(d.font.face), "ＭＳ Ｐゴシック");
    EXPECT_EQ(d.font.weight, 700);
    EXPECT_TRUE(d.font.italic);
    EXPECT_EQ(d.font.charset, 128);
    EXPECT_EQ(d.language, 0x0411);
    ASSERT_EQ(d.items.size(), 7u);

    const DWORD child = WS_CHILD | WS_VISIBLE;
    EXPECT_EQ(d.items[0].style, child | SS_LEFT | WS_GROUP);
    EXPECT_EQ(d.items[0].id, -1);
    EXPECT_EQ(d.items[0].text, u"&Label");
    EXPECT_EQ(d.items[1].id, 301);
    EXPECT_EQ(d.items[1].style, child | WS_BORDER | ES_AUTOHSCROLL);  // NOT took the default tab stop away
    EXPECT_EQ(d.items[1].line, 11);
    EXPECT_EQ(d.items[2].style, child | WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL);
    EXPECT_EQ(d.items[3].style, child | LBS_NOTIFY | WS_BORDER);
    EXPECT_EQ(d.items[3].kind, QelControlKind::listBox);
    EXPECT_EQ(d.items[4].className, u"button");
    EXPECT_EQ(d.items[4].kind, QelControlKind::autoRadioButton);
    EXPECT_EQ(d.items[4].style, child | BS_AUTORADIOBUTTON | WS_GROUP);
    EXPECT_EQ(d.items[4].exStyle, WS_EX_STATICEDGE);
    EXPECT_EQ(d.items[5].text, u"#101");
    EXPECT_EQ(d.items[5].kind, QelControlKind::iconStatic);
    EXPECT_EQ(d.items[6].kind, QelControlKind::defPushButton);
    EXPECT_EQ(d.items[6].style, child | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_DISABLED);

    EXPECT_FALSE(s.dialogs[1].extended);
    EXPECT_TRUE(s.dialogs[1].items.empty());
    EXPECT_EQ(s.FindDialog(201), &s.dialogs[1]);
    EXPECT_EQ(s.FindDialog(202), nullptr);
}

TEST(RcScript, ExpressionsEvaluateLeftToRight) {
    const QelResourceScript s = Parse(
        "1 DIALOGEX 0, 0, 10 + 5 - 3, (2 | 1) & 1\n"
        "STYLE 0x10L | 010 | ~0xFFFFFFF0\n"
        "BEGIN\n"
        "END\n");
    EXPECT_EQ(s.dialogs[0].cx, 12);
    EXPECT_EQ(s.dialogs[0].cy, 1);
    EXPECT_EQ(s.dialogs[0].style, 0x10u | 10u | 0xFu);
}

// Each bad script names the line where it goes wrong.
TEST(RcScript, ErrorsCarryTheirLineNumbers) {
    struct Case {
        const char* script;
        int line;
        const char* message;
    } cases[] = {
        {"1 DIALOGEX 0, 0, 10, 10\nBEGIN\n  LTEXT \"a\", IDC_NOPE, 0, 0, 1, 1\nEND\n", 3, "unknown name 'IDC_NOPE'"},
        {"1 DIALOGEX 0, 0, 10, 10\nCAPTION \"open\nBEGIN\nEND\n", 2, "string without its closing quote"},
        {"1 DIALOGEX 0, 0, 10, 10\nBEGIN\n  PUSHBUTTON \"a\", 1, 0, 0, 1, 1\n", 1, "dialog 1 without END"},
        {"\n\n1 MENU\nBEGIN\nEND\n", 3, "unsupported resource type MENU"},
        {"1 DIALOGEX 0, 0, 10, 10\nBEGIN\n  SLIDER 5, 0, 0, 1, 1\nEND\n", 3, "unknown control statement SLIDER"},
        {"1 DIALOGEX 0, 0, 10, 10\nBEGIN\nEND\n1 DIALOG 0, 0, 1, 1\nBEGIN\nEND\n", 4, "dialog 1 defined twice"},
        {"1 DIALOGEX 0, 0, 99999, 10\nBEGIN\nEND\n", 1, "width out of range: 99999"},
        {"1 DIALOGEX 0, 0, 4294967296, 10\n", 1, "number too large"},
        {"\n#if 1\n1 DIALOGEX 0, 0, 1, 1 BEGIN END\n", 2, "unsupported preprocessor line #if"},
        {"#define X\n", 1, "#define X needs a number"},
        {"#define X (1 + 2)\n", 1, "#define X needs a number"},
        {"\n#include resource.h\n", 2, "#include needs a file name in quotes"},
        {"\n\n#include \"other.h\"\n", 3, "#include \"other.h\": no such file among the module's resources"},
        {"\n1 STRINGTABLE\nBEGIN\nEND\n", 2, "unsupported resource type STRINGTABLE"},
        {"/* open\n\ncomment", 1, "comment without its end (*/)"},
        {"/* two\nlines */ // and\n1 DIALOGEX 0, 0, 1, 1 @\n", 3, "unexpected character '@'"},
        {"1 DIALOGEX 0, 0, 1, 1\nSTYLE WS_CHILD | NOT\nBEGIN\nEND\n", 3, "unknown name 'BEGIN'"},
        {"1 DIALOGEX 0, 0, 1, 1\nBEGIN\n  EDITTEXT 5, 0, 0, 1\nEND\n", 4, "',' expected, found 'END'"},
        {"IDD_X DIALOGEX 0, 0, 1, 1\n", 1, "resource name 'IDD_X' is not a number or a defined name"},
        {"1 DIALOGEX 0, 0, 1, 1\nCAPTION \"\\xFF\"\n", 2, "\\x escape above 0x7F; write the character itself"},
        {"1 DIALOGEX 0, 0, 1, 1\nCAPTION \"\\xg\"\n", 2, "\\x without hexadecimal digits"},
        {"1 DIALOGEX 0, 0, 1, 1\nCAPTION \"a\\\nb\"\n", 2, "string without its closing quote"},
        {"1 DIALOGEX 0, 0, 1, 1\nCAPTION \"\xC3\x28\"\n", 2, "string is not valid UTF-8"},
        {"1 DIALOGEX 0, 0, 1, 1 @\n", 1, "unexpected character '@'"},
    };
    for (const Case& c : cases) {
        const QelRcError e = ParseError(c.script);
        EXPECT_EQ(e.line, c.line) << c.script;
        EXPECT_EQ(e.message, c.message) << c.script;
    }
}

// A header is read for its #define lines only; what else it holds is an
// error reported on the script's #include line, with the header's own line.
TEST(RcScript, AnIncludedHeaderHoldsDefinesOnly) {
    const QelResourceFile declarations[] = {{"resource.h", "#define IDD_A 1\n\nint x;\n"}};
    QelRcError e = ParseError("\n#include \"resource.h\"\n", declarations);
    EXPECT_EQ(e.line, 2);
    EXPECT_EQ(e.message, "resource.h, line 3: only #define lines are read in an included header");
    const QelResourceFile nested[] = {{"resource.h", "#include \"resource.h\"\n"}};
    e = ParseError("#include \"resource.h\"\n", nested);
    EXPECT_EQ(e.message, "resource.h, line 1: unsupported preprocessor line #include");
    // Without the header its names are unknown.
    EXPECT_EQ(ParseError("IDD_SAMPLE DIALOGEX 0, 0, 1, 1\n", {}).message,
              "resource name 'IDD_SAMPLE' is not a number or a defined name");
}

TEST(RcScript, DeepNestingIsRefusedNotRecursedInto) {
    const std::string deep = "1 DIALOGEX 0, 0, " + std::string(10000, '(') + "1" + std::string(10000, ')') + ", 1\n";
    EXPECT_EQ(ParseError(deep).message, "expression nested too deeply");
    const std::string negations = "1 DIALOGEX 0, 0, " + std::string(10000, '-') + "1, 1\n";
    EXPECT_EQ(ParseError(negations).message, "expression nested too deeply");
}

// Every prefix of a valid script is either read or refused with a line
// number inside the text; none crashes.
TEST(RcScript, EveryTruncationIsReadOrRefusedCleanly) {
    const std::string text = kSample;
    int lines = 1;
    for (char c : text) lines += c == '\n';
    for (std::size_t n = 0; n <= text.size(); ++n) {
        QelResourceScript s;
        QelRcError e;
        if (!qel::framework::ParseResourceScript(std::string_view(text).substr(0, n), s, e, kIncludes)) {
            EXPECT_GE(e.line, 1) << n;
            EXPECT_LE(e.line, lines) << n;
            EXPECT_FALSE(e.message.empty()) << n;
        }
    }
}

TEST(RcScript, TemplatesAreFoundInTheMostRecentModuleFirst) {
    qel::test::DialogDriverScope scope;  // collects the diagnostics
    qel::test::ScopedResourceScript older("older",
                                          "7 DIALOGEX 0, 0, 1, 1\nCAPTION \"older\"\nBEGIN\nEND\n"
                                          "8 DIALOGEX 0, 0, 1, 1\nCAPTION \"only older\"\nBEGIN\nEND\n");
    {
        qel::test::ScopedResourceScript newer("newer", "7 DIALOGEX 0, 0, 1, 1\nCAPTION \"newer\"\nBEGIN\nEND\n");
        qel::test::ScopedResourceScript broken("broken", "7 DIALOGEX 0, 0, 1, 1\nBEGIN\n  BOGUS\nEND\n");
        auto seven = AfxFindDialogTemplate(7);
        ASSERT_TRUE(seven);
        EXPECT_EQ(seven->caption, u"newer");
        EXPECT_EQ(AfxFindDialogTemplate(8)->caption, u"only older");
        EXPECT_EQ(AfxFindDialogTemplate(9), nullptr);
        // The broken module is reported once, however often it is searched.
        ASSERT_EQ(scope.Diagnostics().size(), 1u);
        EXPECT_EQ(scope.Diagnostics()[0],
                  "qelfw: resource script of module broken, line 3: unknown control statement BOGUS");
    }
    EXPECT_EQ(AfxFindDialogTemplate(7)->caption, u"older");
}

TEST(RcScript, ATemplateOutlivesItsModulesRegistration) {
    std::shared_ptr<const CDialogTemplate> kept;
    {
        qel::test::ScopedResourceScript rc("gone", "7 DIALOGEX 0, 0, 1, 1\nCAPTION \"kept\"\nBEGIN\nEND\n");
        kept = AfxFindDialogTemplate(7);
    }
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->caption, u"kept");
    EXPECT_EQ(AfxFindDialogTemplate(7), nullptr);
}

}  // namespace
