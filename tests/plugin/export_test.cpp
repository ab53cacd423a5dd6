// The export command (plugin/export.cpp): its pieces on their own, Export
// in process with the tests' dialog driver, and whole exports through the
// built qelhost with dialog scripts, the registry file and a recording
// editor, the way a user runs them.
#include "plugin/export.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialogs/resource.h"
#include "format/base64.h"
#include "format/tpj_reader.h"
#include "format/tpj_writer.h"
#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "host/shell.h"
#include "model/tpjfile.h"
#include "plugin/device.h"
#include "dialogs/module_resources.h"
#include "tests/support/dialog_testing.h"
#include "tests/support/qelhost_run.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using qel::test::QelhostRun;
using qel::test::ReadFileBytes;
using qel::test::RunQelhost;
using qel::test::ToruCaFiles;
using qel::test::WriteFileBytes;

namespace {

constexpr int kOutputDlg = IDD_TORUCA_OUTPUT;
constexpr int kSettingsDlg = IDD_TORUCA_SETTINGS;
constexpr int kRadioProject = IDC_OUTPUT_PROJECT, kRadioDetail = IDC_OUTPUT_CARD, kRadioSnip = IDC_OUTPUT_SNIP;

const std::string kLoadFailedLine = "qelhost: message: tpjファイルの作成に失敗しました。";
std::string WriteFailedLine(const std::string& name) {
    return "qelhost: message: ファイル(" + name + ")の作成に失敗しました。";
}

// ---------------------------------------------------------------------------
// The pieces

TEST(ExportPieces, RecordTypesAndDialogValuesTranslateBothWays) {
    EXPECT_EQ(qel::plugin::DialogValueOfType(TYPE_PROJECT), 1);
    EXPECT_EQ(qel::plugin::DialogValueOfType(TYPE_SNIP), 4);
    EXPECT_EQ(qel::plugin::DialogValueOfType(TYPE_CARD), 2);
    for (int other : {0, 3, 5, -1, 8}) EXPECT_EQ(qel::plugin::DialogValueOfType(other), 1) << other;

    const struct {
        int value, type;
        std::u16string name;
    } forms[] = {{1, TYPE_PROJECT, u"toruca.tpj"}, {2, TYPE_CARD, u"toruca_detail.trc"}, {4, TYPE_SNIP, u"toruca.trc"}};
    for (const auto& f : forms) {
        const qel::plugin::OutputForm form = qel::plugin::FormOfDialogValue(f.value, 7);
        EXPECT_EQ(form.type, f.type);
        EXPECT_EQ(std::u16string(form.defaultName), f.name);
        // There and back again.
        EXPECT_EQ(qel::plugin::DialogValueOfType(form.type), f.value);
    }
    for (int other : {0, 3, 5, -2}) {
        const qel::plugin::OutputForm form = qel::plugin::FormOfDialogValue(other, 7);
        EXPECT_EQ(form.type, 7) << "a value the dialog never yields keeps the type";
        EXPECT_EQ(std::u16string(form.defaultName), u"");
    }
}

TEST(ExportPieces, TheEditorReceivesThePathAsOneUnchangedArgument) {
    // A path as the host's folders have them is simply put between quotes.
    EXPECT_EQ(qel::plugin::QuoteArgument(u"/tmp/qelhost-0/toruca.tpj"), u"\"/tmp/qelhost-0/toruca.tpj\"");
    EXPECT_EQ(qel::plugin::QuoteArgument(u"/tmp/a b/トルカ(1).trc"), u"\"/tmp/a b/トルカ(1).trc\"");
    // Quotes and backslashes that a Linux name may hold reach the editor as
    // they are, not as a broken or split argument.
    for (const std::u16string path : {u"/tmp/say \"hi\".trc", u"/tmp/back\\slash.tpj", u"/tmp/ends\\",
                                      u"/tmp/x\\\"y\\\\\".trc", u"", u"\\\\server\\share\\a.tpj"}) {
        const auto args = CZorShellSv::SplitArguments(qel::plugin::QuoteArgument(path));
        ASSERT_EQ(args.size(), 1u) << qel::framework::WideToUtf8(path);
        EXPECT_EQ(args[0], path);
    }
}

// ---------------------------------------------------------------------------
// Export in process, with the tests' dialog driver

class ExportTest : public qel::test::DialogTest {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(qel::dialogs::RegisterModuleResources()); }
    static void TearDownTestSuite() { qel::dialogs::UnregisterModuleResources(); }

    // A folder for inputs, beside the temporary folder (dir()) that takes
    // the outputs.
    void SetUp() override {
        DialogTest::SetUp();
        m_in = dir().string() + ".in";
        fs::create_directories(m_in);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_in, ec);
        DialogTest::TearDown();
    }
    std::u16string Input(const std::string& name, const std::string& bytes) const {
        WriteFileBytes(m_in / name, bytes);
        return qel::framework::PathFromNative((m_in / name).string());
    }
    static std::string Golden(const std::string& name) { return ReadFileBytes(qel::test::TestData("writer/" + name)); }

    // Expects the output method dialog with `checked` ticked; then `then`.
    static void ExpectOutputDialog(int checked, std::function<void(qel::test::DialogUser&)> then) {
        qel::test::ExpectDialog(kOutputDlg, [checked, then](qel::test::DialogUser& u) {
            for (int id : {kRadioProject, kRadioDetail, kRadioSnip})
                EXPECT_EQ(u.Checked(id), id == checked) << "radio " << id;
            then(u);
        });
    }
    static void Choose(qel::test::DialogUser& u, int radio) {
        u.Click(radio);
        u.Ok();
    }

    CQelDeviceIFImpl m_device;
    fs::path m_in;
};

TEST_F(ExportTest, ToruCaFilesAreKnownByTheirExtensionInAnyCase) {
    const std::string snippet = Golden("snippet.trc");
    for (const std::string name : {"a.trc", "B.TRC", "c.Trc", "d.tPj"}) {
        ExpectOutputDialog(kRadioSnip, [](qel::test::DialogUser& u) { u.Cancel(); });
        EXPECT_TRUE(m_device.Export(Input(name, snippet), nullptr)) << name;
    }
    // The same text under any other name is a page: a page record starts as
    // a project.
    for (const std::string name : {"page", "page.html", "page.trc.html", "trc", "page.tpjx"}) {
        ExpectOutputDialog(kRadioProject, [](qel::test::DialogUser& u) { u.Cancel(); });
        EXPECT_TRUE(m_device.Export(Input(name, snippet), nullptr)) << name;
    }
    ExpectOutputDialog(kRadioDetail, [](qel::test::DialogUser& u) { u.Cancel(); });
    EXPECT_TRUE(m_device.Export(Input("detail.trc", Golden("detail.trc")), nullptr));

    // Cancelling the output method dialog is a success that writes nothing
    // and says nothing.
    EXPECT_TRUE(ToruCaFiles(dir()).empty());
    EXPECT_TRUE(qel::test::MessageBoxes().empty());
}

TEST_F(ExportTest, WhatCannotBeLoadedEndsInOneMessageBox) {
    for (const std::string name : {"missing.trc", "missing.TPJ", "missing.html", "missing"}) {
        qel::test::ExpectMessageBox(u"tpjファイルの作成に失敗しました。", MB_OK | MB_ICONSTOP);
        EXPECT_FALSE(m_device.Export(qel::framework::PathFromNative((m_in / name).string()), nullptr)) << name;
    }
    // Folders are no files, whatever their names.
    for (const std::string name : {"folder.html", "folder.trc"}) {
        fs::create_directory(m_in / name);
        qel::test::ExpectMessageBox(u"tpjファイルの作成に失敗しました。", 0x10);
        EXPECT_FALSE(m_device.Export(qel::framework::PathFromNative((m_in / name).string()), nullptr)) << name;
    }
    EXPECT_TRUE(fs::is_empty(dir()));
}

// A page's inline images are decoded before the export is decided: a
// cancelled export takes them back and leaves the temporary folder as it was.
TEST_F(ExportTest, ACancelledExportLeavesNoInlineImage) {
    const std::u16string page = Input("page.html", "<img src=\"data:image/gif;base64,R0lGODlhAQABAA==\">");
    ExpectOutputDialog(kRadioProject, [](qel::test::DialogUser& u) { u.Cancel(); });
    EXPECT_TRUE(m_device.Export(page, nullptr));
    EXPECT_TRUE(fs::is_empty(dir()));
}

TEST_F(ExportTest, AFileAlreadyInTheChosenFormIsKeptAsItIs) {
    const std::u16string input = Input("card.trc", Golden("snippet.trc"));
    ExpectOutputDialog(kRadioSnip, [](qel::test::DialogUser& u) { u.Ok(); });
    EXPECT_TRUE(m_device.Export(input, nullptr));  // no settings dialog either
    EXPECT_TRUE(ToruCaFiles(dir()).empty());
    EXPECT_EQ(ReadFileBytes(m_in / "card.trc"), Golden("snippet.trc"));
    EXPECT_TRUE(qel::test::MessageBoxes().empty());
}

TEST_F(ExportTest, AFileInAnotherFormIsWrittenAnewWithoutTheSettingsDialog) {
    const std::u16string input = Input("card.trc", Golden("snippet.trc"));
    WriteFileBytes(path("toruca.tpj"), "someone else's");
    ExpectOutputDialog(kRadioSnip, [](qel::test::DialogUser& u) { Choose(u, kRadioProject); });
    EXPECT_TRUE(m_device.Export(input, nullptr));
    EXPECT_EQ(ReadFileBytes(path("toruca.tpj")), "someone else's");

    // The file holds exactly the record's text in code page 932: nothing
    // before it, nothing after it.
    std::unique_ptr<CQelTpjFile> expected(new CQelTpjFile(TYPE_PROJECT));
    ASSERT_TRUE(qel::format::LoadFile(*expected, input));
    expected->SetType(TYPE_PROJECT);
    EXPECT_EQ(ReadFileBytes(path("toruca(1).tpj")), qel::framework::WideToCp932(qel::format::GetFileText(*expected)));
    EXPECT_TRUE(qel::test::MessageBoxes().empty());
}

TEST_F(ExportTest, AnImageThatIsThereButCannotBeReadEndsWithTheFileMessage) {
    ASSERT_EQ(::mkfifo((m_in / "photo.gif").c_str(), 0600), 0);  // a FIFO where the image should be
    const std::u16string page = Input("page.html", "<html><body><img src=\"photo.gif\"></body></html>");
    ExpectOutputDialog(kRadioProject, [](qel::test::DialogUser& u) { u.Ok(); });
    qel::test::ExpectDialog(kSettingsDlg, [](qel::test::DialogUser& u) { u.Ok(); });
    qel::test::ExpectMessageBox(u"ファイル(toruca.tpj)の作成に失敗しました。", 0x10);
    EXPECT_FALSE(m_device.Export(page, nullptr));
    EXPECT_TRUE(ToruCaFiles(dir()).empty());

    // A snippet carries no images, so the same page makes one.
    ExpectOutputDialog(kRadioProject, [](qel::test::DialogUser& u) { Choose(u, kRadioSnip); });
    qel::test::ExpectDialog(kSettingsDlg, [](qel::test::DialogUser& u) { u.Ok(); });
    EXPECT_TRUE(m_device.Export(page, nullptr));
    EXPECT_EQ(ToruCaFiles(dir()), std::vector<std::string>{"toruca.trc"});
}

// ---------------------------------------------------------------------------
// Whole exports through qelhost

// A written card: its header lines by key, and its lines.
struct Card {
    std::vector<std::string> lines;
    std::map<std::string, std::string> header;  // from the magic line to the first empty line after Type

    explicit Card(const std::string& bytes) {
        std::size_t start = 0;
        while (start < bytes.size()) {
            std::size_t end = bytes.find("\r\n", start);
            if (end == std::string::npos) end = bytes.size();
            lines.push_back(bytes.substr(start, end - start));
            start = end + 2;
        }
        int blanks = 0;
        for (std::size_t i = 1; i < lines.size() && blanks < 2; ++i) {
            if (lines[i].empty()) {
                ++blanks;
                continue;
            }
            const auto colon = lines[i].find(": ");
            if (colon != std::string::npos) header[lines[i].substr(0, colon)] = lines[i].substr(colon + 2);
        }
    }
    // A header value; "<missing>" when the line is not there.
    std::string Get(const std::string& key) const {
        const auto it = header.find(key);
        return it == header.end() ? "<missing>" : it->second;
    }
    // A data line's bytes (code page 932), decoded from its Base64.
    std::string Data(const std::string& key) const {
        const auto it = header.find(key);
        if (it == header.end()) return "<missing>";
        std::string out(it->second.size() + 1, '\0');
        std::size_t n = out.size();
        if (!DecodeBase64(it->second.data(), it->second.size(), reinterpret_cast<unsigned char*>(out.data()), &n))
            return "<bad base64>";
        out.resize(n);
        return out;
    }
    bool Has(const std::string& line) const {
        for (const std::string& l : lines)
            if (l == line) return true;
        return false;
    }
};

std::string Cp932(const char16_t* text) { return qel::framework::WideToCp932(text); }

class QelhostExportTest : public qel::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        fs::create_directories(path("out"));
        fs::create_directories(path("in"));
    }
    fs::path Out() const { return path("out"); }
    std::string Script(const std::string& text) const {
        WriteFileBytes(path("dialogs.script"), text);
        return path("dialogs.script").string();
    }
    // The example page, copied so that nothing of the source tree is touched.
    std::string ShopPage() const {
        fs::copy(fs::path(QEL_SOURCE_DIR) / "examples/shop", path("in/shop"), fs::copy_options::recursive);
        return path("in/shop/index.html").string();
    }
    std::string Golden(const std::string& name, const std::string& as) const {
        fs::copy_file(qel::test::TestData("writer/" + name), path("in/" + as));
        return path("in/" + as).string();
    }
    QelhostRun Run(std::vector<std::string> args) const {
        std::vector<std::string> all{"--temp-dir", Out().string()};
        all.insert(all.end(), args.begin(), args.end());
        return RunQelhost(all);
    }
    // The settings typed in every page test.
    static std::string SettingsBlock() {
        return "dialog 13650\n"
               "text 20004 http://www.example.com/shop/card.trc\n"
               "text 20005 ケーキ半額\n"
               "text 20006 週末は\\n全品10%オフ\n"
               "text 20007 営業 10:00-19:00\n"
               "text 20008 1234\n"
               "ok\n";
    }
    void ExpectTypedValues(const Card& card) const {
        EXPECT_EQ(card.Get("URL"), "http://www.example.com/shop/card.trc");
        EXPECT_EQ(card.Data("Data1"), Cp932(u"ケーキ半額"));
        EXPECT_EQ(card.Data("Data2"), Cp932(u"週末は\r\n全品10%オフ"));
        EXPECT_EQ(card.Data("Data3"), Cp932(u"営業 10:00-19:00"));
        EXPECT_EQ(card.Get("IP-ID"), "1234");
    }
};

TEST_F(QelhostExportTest, APageToEachFormCarriesTheTypedValues) {
    const std::string page = ShopPage();
    const struct {
        int radio;
        std::string file, magic, type;
        bool mime;
    } forms[] = {
        {kRadioProject, "toruca.tpj", "TORUCA_PROJECT_V2", "PROJECT", true},
        {kRadioDetail, "toruca_detail.trc", "ToruCa", "CARD", true},
        {kRadioSnip, "toruca.trc", "ToruCa", "SNIP", false},
    };
    for (const auto& f : forms) {
        SCOPED_TRACE(f.file);
        const std::string script = "dialog 13651\nclick " + std::to_string(f.radio) + "\nok\n" + SettingsBlock();
        const QelhostRun run = Run({"--script", Script(script), page});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(run.Messages().empty()) << run.err;
        const fs::path written = Out() / f.file;
        EXPECT_NE(run.out.find("qelhost: wrote " + written.string() + "\n"), std::string::npos) << run.out;
        const Card card(ReadFileBytes(written));
        ASSERT_FALSE(card.lines.empty());
        EXPECT_EQ(card.lines[0], f.magic);
        EXPECT_EQ(card.Get("Type"), f.type);
        EXPECT_EQ(card.Get("Version"), "2.1");
        ExpectTypedValues(card);
        EXPECT_EQ(card.Has("MIME-Version: 1.0"), f.mime);
        // The page's five local images and its Flash movie go with it.
        int parts = 0;
        for (const std::string& l : card.lines) parts += l.rfind("Content-ID: <image", 0) == 0;
        EXPECT_EQ(parts, f.mime ? 6 : 0);
    }
    EXPECT_EQ(ToruCaFiles(Out()), (std::vector<std::string>{"toruca.tpj", "toruca.trc", "toruca_detail.trc"}));
}

TEST_F(QelhostExportTest, TheHostsOwnDocumentGivesTheSameFile) {
    const std::string page = ShopPage();
    const std::string script = "dialog 13651\nclick 20001\nok\n" + SettingsBlock();
    const QelhostRun own = Run({"--script", Script(script), page});
    const QelhostRun dom = Run({"--script", Script(script), "--dom", page});
    EXPECT_EQ(own.exitCode, 0) << own.err;
    EXPECT_EQ(dom.exitCode, 0) << dom.err;
    ASSERT_EQ(ToruCaFiles(Out()), (std::vector<std::string>{"toruca_detail(1).trc", "toruca_detail.trc"}));
    EXPECT_EQ(ReadFileBytes(Out() / "toruca_detail.trc"), ReadFileBytes(Out() / "toruca_detail(1).trc"));
}

TEST_F(QelhostExportTest, AToruCaFileAsItselfAsAProjectAndAsASnippet) {
    const std::string detail = Golden("detail.trc", "card.trc");
    fs::path record = path("editor-args.txt");
    const fs::path editor = qel::test::WriteRecordingEditor(path("editor.sh"), record);
    WriteFileBytes(path("machine.reg"), qel::test::EditorRegistry(editor.string()));
    const std::string reg = path("machine.reg").string();

    // As itself: nothing written, the editor opens the input file.
    QelhostRun run = Run({"--registry", reg, "--script", Script("dialog 13651\nok\n"), detail});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("nothing written"), std::string::npos) << run.out;
    EXPECT_TRUE(ToruCaFiles(Out()).empty());
    ASSERT_TRUE(qel::test::WaitForFile(record));
    EXPECT_EQ(ReadFileBytes(record), "1\n" + detail + "\n");
    fs::remove(record);

    // As a project: written without the settings dialog (a settings dialog
    // would find no block and be cancelled, failing the export).
    run = Run({"--registry", reg, "--script", Script("dialog 13651\nclick 20000\nok\n"), detail});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.Messages().empty());
    const Card project(ReadFileBytes(Out() / "toruca.tpj"));
    ASSERT_FALSE(project.lines.empty());
    EXPECT_EQ(project.lines[0], "TORUCA_PROJECT_V2");
    EXPECT_EQ(project.Get("Type"), "PROJECT");
    EXPECT_EQ(project.Data("Data1"), "data1");
    // The icon goes with it under its own name, from the copy that loading
    // the file extracted (though the first run's copy holds that name).
    EXPECT_TRUE(project.Has("Content-Type: application/x-ticon;name=\"icon.gif\";title=\"Shop\""));
    ASSERT_TRUE(qel::test::WaitForFile(record));
    EXPECT_EQ(ReadFileBytes(record), "1\n" + (Out() / "toruca.tpj").string() + "\n");
    fs::remove(record);

    // As a snippet.
    run = Run({"--registry", reg, "--script", Script("dialog 13651\nclick 20002\nok\n"), detail});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const Card snippet(ReadFileBytes(Out() / "toruca.trc"));
    EXPECT_EQ(snippet.Get("Type"), "SNIP");
    EXPECT_FALSE(snippet.Has("MIME-Version: 1.0"));
    EXPECT_EQ(ReadFileBytes(Out() / "toruca.trc"), ReadFileBytes(qel::test::TestData("writer/snippet.trc")));
    ASSERT_TRUE(qel::test::WaitForFile(record));
}

TEST_F(QelhostExportTest, CancellingEachDialog) {
    const std::string page = ShopPage();
    // The output method dialog: a success that writes nothing.
    QelhostRun run = Run({"--script", Script("dialog 13651\ncancel\n"), page});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.Messages().empty());
    EXPECT_NE(run.out.find("output method dialog was cancelled"), std::string::npos) << run.out;
    // The settings dialog: a failure that writes nothing and says nothing.
    run = Run({"--script", Script("dialog 13651\nclick 20001\nok\ndialog 13650\ntext 20005 x\ncancel\n"), page});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(run.Messages().empty()) << run.err;
    EXPECT_NE(run.out.find("settings dialog was cancelled"), std::string::npos) << run.out;
    // A script that runs out cancels too.
    run = Run({"--script", Script("dialog 13651\nclick 20002\nok\n"), page});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.HasErrLine("qelhost: script: no actions for dialog 13650")) << run.err;
    EXPECT_TRUE(fs::is_empty(Out()));
}

TEST_F(QelhostExportTest, APageThatCannotBeLoaded) {
    for (const std::string& missing : {path("in/missing.html").string(), path("in/missing.TRC").string()}) {
        const QelhostRun run = Run({"--script", Script("dialog 13651\nok\n"), missing});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.Messages(), std::vector<std::string>{kLoadFailedLine}) << run.err;
        EXPECT_NE(run.out.find("the export failed; nothing written"), std::string::npos) << run.out;
    }
    // The same through the host's own loader.
    const QelhostRun run = Run({"--dom", "--script", Script("dialog 13651\nok\n"), path("in/missing.html").string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.Messages(), std::vector<std::string>{kLoadFailedLine}) << run.err;
}

TEST_F(QelhostExportTest, ATemporaryFolderThatCannotBeUsedIsNamedByTheDefaultFileName) {
    const std::string card = Golden("snippet.trc", "card.trc");
    WriteFileBytes(path("plain-file"), "x");
    const QelhostRun run = RunQelhost(
        {"--temp-dir", path("plain-file/sub").string(), "--script", Script("dialog 13651\nclick 20000\nok\n"), card});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.Messages(), std::vector<std::string>{WriteFailedLine("toruca.tpj")}) << run.err;
}

TEST_F(QelhostExportTest, TheEditorIsStartedOnlyWhenItIsThere) {
    const std::string card = Golden("snippet.trc", "card.trc");
    const std::string script = Script("dialog 13651\nclick 20001\nok\n");
    // No editor registered: the file is written all the same.
    QelhostRun run = Run({"--script", script, card});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::exists(Out() / "toruca_detail.trc"));
    // A registered editor that is not there: written, nothing started, no word.
    WriteFileBytes(path("gone.reg"), qel::test::EditorRegistry(path("no-such-editor").string()));
    run = Run({"--registry", path("gone.reg").string(), "--script", script, card});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.Messages().empty());
    EXPECT_TRUE(fs::exists(Out() / "toruca_detail(1).trc"));

    // One that is there gets the path as one argument, even with a blank in
    // the folder's name.
    const fs::path record = path("editor-args.txt");
    const fs::path editor = qel::test::WriteRecordingEditor(path("editor.sh"), record);
    WriteFileBytes(path("here.reg"), qel::test::EditorRegistry(editor.string()));
    const fs::path spaced = path("out folder");
    run =
        RunQelhost({"--temp-dir", spaced.string(), "--registry", path("here.reg").string(), "--script", script, card});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ASSERT_TRUE(qel::test::WaitForFile(record));
    EXPECT_EQ(ReadFileBytes(record), "1\n" + (spaced / "toruca_detail.trc").string() + "\n");
    EXPECT_NE(run.out.find("qelhost: wrote " + (spaced / "toruca_detail.trc").string()), std::string::npos);
}

TEST_F(QelhostExportTest, AFifoInPlaceOfAnImageLeavesNoFile) {
    const std::string page = ShopPage();
    const std::string script = "dialog 13651\nclick 20001\nok\ndialog 13650\nok\n";
    // A FIFO where an image file should be: refused, never waited for.
    fs::remove(path("in/shop/images/logo.gif"));
    ASSERT_EQ(::mkfifo(path("in/shop/images/logo.gif").c_str(), 0600), 0);
    const QelhostRun run = Run({"--script", Script(script), page});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.Messages(), std::vector<std::string>{WriteFailedLine("toruca_detail.trc")}) << run.err;
    EXPECT_TRUE(fs::is_empty(Out()));
}

TEST_F(QelhostExportTest, AnImageWithoutReadPermissionLeavesNoFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads files without permission";
    const std::string page = ShopPage();
    const std::string script = "dialog 13651\nclick 20001\nok\ndialog 13650\nok\n";
    fs::permissions(path("in/shop/images/logo.gif"), fs::perms::none);
    const QelhostRun run = Run({"--script", Script(script), page});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.Messages(), std::vector<std::string>{WriteFailedLine("toruca_detail.trc")}) << run.err;
    EXPECT_TRUE(fs::is_empty(Out()));
}

TEST_F(QelhostExportTest, AWriteThatFailsHalfwayLeavesNoFile) {
    const std::string page = ShopPage();
    qel::test::QelhostOptions options;
    options.fileSizeLimit = 4096;  // the detail file with its images is larger
    const QelhostRun run = RunQelhost(
        {"--temp-dir", Out().string(), "--script", Script("dialog 13651\nclick 20001\nok\ndialog 13650\nok\n"), page},
        options);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.Messages(), std::vector<std::string>{WriteFailedLine("toruca_detail.trc")}) << run.err;
    EXPECT_TRUE(run.HasErrLine("qelhost: why: output " + (Out() / "toruca_detail.trc").string() +
                               " cannot be written: File too large"))
        << run.err;
    EXPECT_TRUE(fs::is_empty(Out()));
}

TEST_F(QelhostExportTest, AFailureSaysWhyAfterTheModulesOwnMessage) {
    // An image too large for the card, made in an instant as a sparse file.
    const std::string page = ShopPage();
    fs::resize_file(path("in/shop/images/logo.gif"), std::uintmax_t{600} << 20);
    QelhostRun run = Run({"--form", "detail", page});
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(run.Messages(), std::vector<std::string>{WriteFailedLine("toruca_detail.trc")}) << run.err;
    EXPECT_EQ(run.errLines.back(),
              "qelhost: why: image " + path("in/shop/images/logo.gif").string() + " is larger than 512 MiB");

    // A ToruCa file that is not there.
    run = Run({"--form", "project", path("in/gone.trc").string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.Messages(), std::vector<std::string>{kLoadFailedLine}) << run.err;
    EXPECT_EQ(run.errLines.back(),
              "qelhost: why: " + path("in/gone.trc").string() + " cannot be opened: No such file or directory");
    EXPECT_TRUE(fs::is_empty(Out()));

    // Each cause in words: a page that cannot be read or is nested too
    // deeply, an image that is no regular file, a card's overlong line.
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "<div>";
    WriteFileBytes(path("in/deep.html"), deep);
    WriteFileBytes(path("in/long.trc"), "ToruCa\r\nURL: " + std::string((1 << 20) + 1, 'a') + "\r\n");
    const std::string logo = path("in/shop/images/logo.gif").string();
    fs::remove(logo);
    ASSERT_EQ(::mkfifo(logo.c_str(), 0600), 0);
    const std::vector<std::pair<std::string, std::string>> causes = {
        // the file exported, why
        {path("in/none.html").string(),
         path("in/none.html").string() + " cannot be loaded as a page: No such file or directory"},
        {path("in").string(), path("in").string() + " cannot be loaded as a page: is a folder"},
        {path("in/deep.html").string(),
         path("in/deep.html").string() +
             " cannot be loaded as a page: the page nests its elements more than 4096 deep"},
        {path("in/long.trc").string(),
         path("in/long.trc").string() + " cannot be read: a header line longer than 1 MiB"},
        {page, "image " + logo + " cannot be read: not a regular file"},
    };
    for (const auto& [file, why] : causes) {
        run = Run({"--form", "detail", file});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.HasErrLine("qelhost: why: " + why)) << run.err;
    }
    EXPECT_TRUE(fs::is_empty(Out()));
}

TEST_F(QelhostExportTest, TheWrittenFileIsTheOneTheExportReports) {
    // A card whose attachment is named like an output: extracting it makes
    // a new "toruca.tpj" in the folder, which is not what the export wrote.
    const std::string card = path("in/card.trc").string();
    WriteFileBytes(card,
                   "ToruCa\r\nVersion: 2.1\r\nType: CARD\r\n\r\nURL: http://u/\r\n\r\nMIME-Version: 1.0\r\n"
                   "Content-Type: multipart/mixed;boundary=\"B\"\r\n\r\n--B\r\n"
                   "Content-Transfer-Encoding: 8bit\r\n\r\n<img src=\"cid:i\">\r\n--B\r\n"
                   "Content-Type: image/gif;name=\"toruca.tpj\";\r\nContent-Transfer-Encoding: base64\r\n"
                   "Content-ID: <i>\r\n\r\nR0lGODlh\r\n--B--\r\n");
    QelhostRun run = Run({"--form", "project", card});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "qelhost: wrote " + (Out() / "toruca(1).tpj").string() + "\n");
    // The attachment is in the written card; qelhost removed its file.
    EXPECT_FALSE(fs::exists(Out() / "toruca.tpj"));

    // Cancelled in the output method dialog: the attachment was made, but
    // nothing was written.
    run = Run({"--script", Script("dialog 13651\ncancel\n"), card});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "qelhost: the output method dialog was cancelled; nothing written\n");
}

TEST_F(QelhostExportTest, TheEditorStartedIsTheFileThatWasChecked) {
    // The registry names a bare program name. It is looked for in the
    // working folder, so that is the one to start, not a namesake on PATH.
    const std::string card = Golden("snippet.trc", "card.trc");
    fs::create_directories(path("work"));
    fs::create_directories(path("bin"));
    qel::test::WriteRecordingEditor(path("work/toruca-editor"), path("from-work.txt"));
    qel::test::WriteRecordingEditor(path("bin/toruca-editor"), path("from-path.txt"));
    WriteFileBytes(path("bare.reg"), qel::test::EditorRegistry("toruca-editor"));
    qel::test::QelhostOptions options;
    options.workingFolder = path("work");
    options.env = {{"PATH", path("bin").string() + ":/usr/bin:/bin"}};
    const QelhostRun run = RunQelhost(
        {"--temp-dir", Out().string(), "--registry", path("bare.reg").string(), "--form", "detail", card}, options);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ASSERT_TRUE(qel::test::WaitForFile(path("from-work.txt")));
    EXPECT_EQ(ReadFileBytes(path("from-work.txt")), "1\n" + (Out() / "toruca_detail.trc").string() + "\n");
    EXPECT_FALSE(fs::exists(path("from-path.txt")));
}

TEST_F(QelhostExportTest, WithoutAScriptOrADisplayEveryDialogTakesItsInitialValues) {
    const std::string page = ShopPage();
    QelhostRun run = Run({page});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.HasErrLine("qelhost: no display: dialog 13651 not shown; its initial values were taken"))
        << run.err;
    EXPECT_TRUE(run.HasErrLine("qelhost: no display: dialog 13650 not shown; its initial values were taken"))
        << run.err;
    const Card project(ReadFileBytes(Out() / "toruca.tpj"));
    EXPECT_EQ(project.Get("Type"), "PROJECT");
    EXPECT_EQ(project.Data("Data1"), "data1");

    // --form answers the output method dialog; the settings dialog takes
    // its initial values.
    run = Run({"--form", "snippet", page});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(run.HasErrLine("qelhost: no display: dialog 13651 not shown; its initial values were taken"))
        << run.err;
    EXPECT_TRUE(run.HasErrLine("qelhost: no display: dialog 13650 not shown; its initial values were taken"))
        << run.err;
    EXPECT_EQ(Card(ReadFileBytes(Out() / "toruca.trc")).Get("Type"), "SNIP");
}

TEST_F(QelhostExportTest, FormWithAScriptThatHoldsTheSettingsOnly) {
    const std::string page = ShopPage();
    const QelhostRun run = Run({"--form=detail", "--script", Script(SettingsBlock()), page});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const Card card(ReadFileBytes(Out() / "toruca_detail.trc"));
    EXPECT_EQ(card.Get("Type"), "CARD");
    ExpectTypedValues(card);
}

TEST_F(QelhostExportTest, TheExampleScriptMakesADetailFile) {
    // scripts/run-example.sh depends on it.
    const std::string page = ShopPage();
    const QelhostRun run = Run({"--script", (fs::path(QEL_SOURCE_DIR) / "examples/shop/detail.script").string(), page});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const Card card(ReadFileBytes(Out() / "toruca_detail.trc"));
    EXPECT_EQ(card.Get("Type"), "CARD");
    EXPECT_EQ(card.Data("Data1"), Cp932(u"ケーキのお店 ワン"));
    EXPECT_EQ(card.Data("Data2"), Cp932(u"週末はケーキセット半額\r\n星マークが目印です"));
    EXPECT_EQ(card.Get("IP-ID"), "1234");
}

}  // namespace
