// qelhost's command line: usage errors and modules that cannot be loaded end
// with status 2 and one line, --help and --create-project, and the lines a
// run prints about what it did.
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/qelhost_run.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using qel::test::QelhostOptions;
using qel::test::QelhostRun;
using qel::test::RunQelhost;

namespace {

class QelhostTest : public qel::test::TempDirTest {
protected:
    // A usage error: status 2, one line on standard error that names the
    // problem, nothing on standard output, nothing written.
    void ExpectUsageError(const std::vector<std::string>& args, const std::string& part) {
        std::vector<std::string> all{"--temp-dir", path("out").string()};
        all.insert(all.end(), args.begin(), args.end());
        const QelhostRun run = RunQelhost(all);
        EXPECT_EQ(run.exitCode, 2) << run.err;
        ASSERT_EQ(run.errLines.size(), 1u) << run.err;
        EXPECT_EQ(run.errLines[0].rfind("qelhost: ", 0), 0u) << run.err;
        EXPECT_NE(run.errLines[0].find(part), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(fs::exists(path("out")));
    }
    std::string Page() const {
        qel::test::WriteFileBytes(path("page.html"), "<html><body>hello</body></html>");
        return path("page.html").string();
    }
};

TEST_F(QelhostTest, UsageErrors) {
    ExpectUsageError({}, "no PATH given");
    ExpectUsageError({"--bogus", "x.html"}, "unknown option --bogus");
    ExpectUsageError({"-x", "x.html"}, "unknown option -x");
    ExpectUsageError({"a.html", "b.html"}, "only one PATH");
    ExpectUsageError({"--", "a.html", "b.html"}, "only one PATH");
    ExpectUsageError({"x.html", "--script"}, "--script needs a file");
    ExpectUsageError({"x.html", "--registry="}, "--registry needs a file");
    ExpectUsageError({"--form", "card", "x.html"}, "unknown form 'card'");
    ExpectUsageError({"--form", "Detail", "x.html"}, "unknown form");
    ExpectUsageError({"--dom=yes", "x.html"}, "--dom takes no value");
    ExpectUsageError({"--create-project", "x.html"}, "--create-project takes no PATH");
    ExpectUsageError({"--script", path("missing.script").string(), "x.html"}, "cannot read the script");
    ExpectUsageError({"--registry", path("missing.reg").string(), "x.html"}, "cannot read the registry file");
    fs::create_directory(path("folder.script"));
    ExpectUsageError({"--script", path("folder.script").string(), "x.html"}, "Is a directory");
    ASSERT_EQ(::mkfifo(path("pipe.script").c_str(), 0600), 0);
    ExpectUsageError({"--script", path("pipe.script").string(), "x.html"}, "not a regular file");
    ExpectUsageError({"--script", "/dev/zero", "x.html"}, "not a regular file");
}

TEST_F(QelhostTest, HelpNamesEveryOption) {
    for (const std::string opt : {"--help", "-h"}) {
        const QelhostRun run = RunQelhost({opt});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err, "");
        for (const char* o : {"--temp-dir", "--registry", "--script", "--form", "--desktop", "--dom", "--module",
                              "--create-project", "--help", "Exit status"})
            EXPECT_NE(run.out.find(o), std::string::npos) << o;
    }
}

TEST_F(QelhostTest, AModuleThatCannotBeLoadedIsExitTwo) {
    // Not a library at all.
    qel::test::WriteFileBytes(path("fake.so"), "not an ELF file");
    QelhostRun run = RunQelhost({"--module", path("fake.so").string(), Page()});
    EXPECT_EQ(run.exitCode, 2);
    ASSERT_EQ(run.errLines.size(), 1u) << run.err;
    EXPECT_EQ(run.errLines[0].rfind("qelhost: cannot load the module: ", 0), 0u) << run.err;
    // Missing.
    run = RunQelhost({"--module", path("none.so").string(), Page()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.errLines.size(), 1u) << run.err;
    // A library that is no ToruCa module: the framework library itself.
    const fs::path framework = fs::path(QEL_QELHOST_PATH).parent_path() / "libqelfw.so";
    run = RunQelhost({"--module", framework.string(), Page()});
    EXPECT_EQ(run.exitCode, 2);
    ASSERT_EQ(run.errLines.size(), 1u) << run.err;
    EXPECT_NE(run.errLines[0].find("exports no FSetFunctionAddress"), std::string::npos) << run.err;
}

TEST_F(QelhostTest, CreateProject) {
    const QelhostRun run = RunQelhost({"--create-project"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "qelhost: created a project record: type 1, version code 4\n");
}

TEST_F(QelhostTest, ARelativePathReachesTheModuleAsAFullPath) {
    // The file is kept as it is, and the line names it by its full path.
    qel::test::WriteFileBytes(path("card.trc"), qel::test::ReadFileBytes(qel::test::TestData("writer/snippet.trc")));
    qel::test::WriteFileBytes(path("ok.script"), "dialog 13651\nok\n");
    const fs::path here = fs::current_path();
    fs::current_path(dir());
    const QelhostRun run = RunQelhost({"--temp-dir", "out", "--script", "ok.script", "./card.trc"});
    fs::current_path(here);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "qelhost: nothing written: " + path("card.trc").string() +
                           " already has the chosen form and is what the editor is given\n");
}

// A named pipe (here without a writer) or a device never holds qelhost: as
// the input it gets the load message, as the registry it reads as missing,
// as the script named by the variable it is reported and gives no actions.
TEST_F(QelhostTest, PipesAreRefusedWithoutWaiting) {
    ASSERT_EQ(::mkfifo(path("pipe.trc").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(path("pipe.reg").c_str(), 0600), 0);
    QelhostOptions quick;
    quick.timeout = std::chrono::seconds(20);
    QelhostRun run = RunQelhost({"--temp-dir", path("out").string(), path("pipe.trc").string()}, quick);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.Messages(), std::vector<std::string>{"qelhost: message: tpjファイルの作成に失敗しました。"});

    qel::test::WriteFileBytes(path("card.trc"), qel::test::ReadFileBytes(qel::test::TestData("writer/snippet.trc")));
    qel::test::WriteFileBytes(path("ok.script"), "dialog 13651\nok\n");
    run = RunQelhost({"--temp-dir", path("out").string(), "--registry", path("pipe.reg").string(), "--script",
                      path("ok.script").string(), path("card.trc").string()},
                     quick);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind("qelhost: nothing written: ", 0), 0u) << run.out;

    quick.env = {{"QELHOST_SCRIPT", path("pipe.trc").string()}};
    run = RunQelhost({"--temp-dir", path("out").string(), Page()}, quick);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(
        run.HasErrLine("qelhost: script: cannot read " + path("pipe.trc").string() + ": Operation not supported"))
        << run.err;
    EXPECT_EQ(run.out, "qelhost: the output method dialog was cancelled; nothing written\n");
}

// A page that would keep the parser busy for minutes: the parse is stopped
// at its deadline, and the export fails with the reason, not by a signal.
TEST_F(QelhostTest, APageThatHoldsTheParserFailsAtTheDeadline) {
    std::string page;
    while (page.size() < 2'000'000) page += "<a><div></a>";
    qel::test::WriteFileBytes(path("hostile.html"), page);
    const QelhostRun run = RunQelhost({"--temp-dir", path("out").string(), path("hostile.html").string()});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(run.HasErrLine("qelhost: why: " + path("hostile.html").string() +
                               " cannot be loaded as a page: the page took longer than 2 s to parse"))
        << run.err;
}

#if defined(__SANITIZE_ADDRESS__)
#define QEL_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QEL_TEST_ASAN 1
#endif
#endif

#ifndef QEL_TEST_ASAN
// Under `ulimit -v 300000` a small page exports: the parse's memory grows
// with the page, and its child is held to the host's own limit.
TEST_F(QelhostTest, ASmallPageExportsUnderAnAddressSpaceLimit) {
    QelhostOptions limited;
    limited.addressSpaceLimit = 300000ULL * 1024;
    const QelhostRun run = RunQelhost({"--temp-dir", path("out").string(), "--form", "detail", Page()}, limited);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "qelhost: wrote " + (path("out") / "toruca_detail.trc").string() + "\n") << run.err;
}
#endif

TEST_F(QelhostTest, ScriptProblemsAreReportedAndCancelTheDialog) {
    qel::test::WriteFileBytes(path("bad.script"), "dialog 13651\nclick 29999\nok\n");
    QelhostRun run = RunQelhost({"--temp-dir", path("out").string(), "--script", path("bad.script").string(), Page()});
    EXPECT_EQ(run.exitCode, 0);  // a cancelled output method dialog
    EXPECT_TRUE(run.HasErrLine("qelhost: script: line 2: dialog 13651 has no control 29999; dialog 13651 cancelled"))
        << run.err;
    EXPECT_EQ(run.out, "qelhost: the output method dialog was cancelled; nothing written\n");

    qel::test::WriteFileBytes(path("empty.script"), "# nothing\n");
    run = RunQelhost({"--temp-dir", path("out").string(), "--script", path("empty.script").string(), Page()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.HasErrLine("qelhost: script: no actions for dialog 13651")) << run.err;
}

}  // namespace

// After a written export, one warning per handset limit the file exceeds,
// judged from the written file; a card within every limit gets none.
// A display is set and no script given, but the windows cannot be shown: a
// qelhost without the window back end (its libraries copied without it) and
// one whose back end cannot open the display both say why and end with
// status 2 before any dialog, writing nothing.
TEST_F(QelhostTest, WindowsThatCannotBeShownAreExitTwoAndWriteNothing) {
    const fs::path build = fs::path(QEL_QELHOST_PATH).parent_path();
    fs::create_directories(path("bare"));
    for (const char* file : {"qelhost", "libqeltoruca.so", "libqelfw.so", "libqelhostsvc.so"})
        fs::copy_file(build / file, path("bare") / file);
    struct Case {
        fs::path program;
        std::string line;
    };
    std::vector<Case> cases{{path("bare") / "qelhost",
                             "qelhost: this qelhost was built without windows: give --script, or build with the window "
                             "back end"}};
    if (fs::exists(build / "libqelfw_wx.so"))
        cases.push_back({build / "qelhost",
                         "qelhost: the display DISPLAY=:65001 cannot be opened: give --script, or unset DISPLAY "
                         "and WAYLAND_DISPLAY"});
    const std::string page = Page();
    for (const Case& c : cases) {
        QelhostOptions options;
        options.program = c.program;
        options.env = {{"DISPLAY", ":65001"}};
        const QelhostRun run = RunQelhost({"--temp-dir", path("out").string(), page}, options);
        EXPECT_EQ(run.exitCode, 2) << c.program << run.err;
        EXPECT_EQ(run.errLines, std::vector<std::string>{c.line}) << c.program;
        EXPECT_EQ(run.out, "") << c.program;
        EXPECT_TRUE(qel::test::ToruCaFiles(path("out")).empty()) << c.program;
    }
}

TEST_F(QelhostTest, WarnsOfEachHandsetLimitTheWrittenFileExceeds) {
    const std::string longUrl = "http://www.example.com/" + std::string(137, 'u');  // 160 bytes
    qel::test::WriteFileBytes(path("long.script"), "dialog 13650\ntext 20004 " + longUrl + "\nok\n");
    qel::test::WriteFileBytes(path("plain.script"), "dialog 13650\nok\n");

    QelhostRun run = RunQelhost(
        {"--temp-dir", path("out").string(), "--form", "snippet", "--script", path("plain.script").string(), Page()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("qelhost: warning:"), std::string::npos) << run.err;

    run = RunQelhost(
        {"--temp-dir", path("out").string(), "--form", "snippet", "--script", path("long.script").string(), Page()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> warnings;
    for (const std::string& line : run.errLines)
        if (line.rfind("qelhost: warning: ", 0) == 0) warnings.push_back(line);
    ASSERT_EQ(warnings.size(), 2u) << run.err;
    const std::string file = (path("out") / "toruca(1).trc").string();
    EXPECT_EQ(
        warnings[0].rfind("qelhost: warning: " + file + ": URL is 160 bytes, over the handset limit of 127 bytes", 0),
        0u)
        << warnings[0];
    // 160 + "data1", "data2", "data3" of the defaults.
    EXPECT_EQ(warnings[1].rfind("qelhost: warning: " + file + ": URL and Data1-3 together are 175 bytes, over", 0), 0u)
        << warnings[1];
}

// Without a registry file the editor is the desktop's default application
// for ToruCa projects, as mimeapps.list names it; a registry file wins; an
// entry whose command is more than the program and the file is not taken.
TEST_F(QelhostTest, TheDesktopsDefaultApplicationIsTheEditorUnlessARegistryFileNamesOne) {
    const fs::path desktopEditor = qel::test::WriteRecordingEditor(path("desktop-editor.sh"), path("desktop.rec"));
    const fs::path regEditor = qel::test::WriteRecordingEditor(path("reg-editor.sh"), path("reg.rec"));
    qel::test::WriteFileBytes(path("machine.reg"), qel::test::EditorRegistry(regEditor.string()));
    qel::test::WriteFileBytes(path("card.trc"), qel::test::ReadFileBytes(qel::test::TestData("writer/snippet.trc")));
    fs::create_directories(path("data/applications"));
    fs::create_directories(path("config"));
    qel::test::WriteFileBytes(path("config/mimeapps.list"),
                              "[Default Applications]\napplication/x-toruca-project=toruca-test-editor.desktop\n");
    struct Case {
        const char* what;
        std::string exec;  // the desktop entry's command
        bool registry;
        const char* started;  // the record of the editor started, or null
    };
    const Case cases[] = {
        {"desktop default", "\"" + desktopEditor.string() + "\" %f", false, "desktop.rec"},
        {"registry file wins", desktopEditor.string() + " %f", true, "reg.rec"},
        {"command with more arguments", desktopEditor.string() + " --new-window %f", false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(path("out"));
        qel::test::WriteFileBytes(path("data/applications/toruca-test-editor.desktop"),
                                  "[Desktop Entry]\nType=Application\nName=Test editor\nExec=" + c.exec +
                                      "\nMimeType=application/x-toruca-project;\n");
        QelhostOptions desktop;
        desktop.env = {{"XDG_DATA_HOME", path("data").string()}, {"XDG_CONFIG_HOME", path("config").string()}};
        std::vector<std::string> args{"--temp-dir", path("out").string(), "--form", "detail"};
        if (c.registry) args.insert(args.end(), {"--registry", path("machine.reg").string()});
        args.push_back(path("card.trc").string());
        const QelhostRun run = RunQelhost(args, desktop);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const fs::path written = path("out") / "toruca_detail.trc";
        if (c.started) {
            ASSERT_TRUE(qel::test::WaitForFile(path(c.started)));
            EXPECT_EQ(qel::test::ReadFileBytes(path(c.started)), "1\n" + written.string() + "\n");
            fs::remove(path(c.started));
        }
        EXPECT_FALSE(fs::exists(path("desktop.rec")));
        EXPECT_FALSE(fs::exists(path("reg.rec")));
    }
}

// A desktop lookup that never ends (mimeapps.list is a FIFO nobody writes):
// past its deadline the export goes on without an editor, with a warning,
// and the lookup's child leaves nothing else on standard error.
TEST_F(QelhostTest, ADesktopLookupThatHangsEndsAtItsDeadline) {
    qel::test::WriteFileBytes(path("card.trc"), qel::test::ReadFileBytes(qel::test::TestData("writer/snippet.trc")));
    fs::create_directories(path("config"));
    ASSERT_EQ(::mkfifo(path("config/mimeapps.list").c_str(), 0600), 0);
    QelhostOptions desktop;
    desktop.env = {{"XDG_CONFIG_HOME", path("config").string()}};
    const QelhostRun run =
        RunQelhost({"--temp-dir", path("out").string(), "--form", "detail", path("card.trc").string()}, desktop);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "qelhost: wrote " + (path("out") / "toruca_detail.trc").string() + "\n") << run.err;
    EXPECT_EQ(run.err, "qelhost: warning: no desktop default found in time\n");
}

// --desktop writes into ~/ToruCa, made when missing, unless the temporary
// folder is named by --temp-dir or QELHOST_TEMP_DIR.
TEST_F(QelhostTest, StartedFromTheDesktopTheOutputGoesToToruCaInTheHomeFolder) {
    qel::test::WriteFileBytes(path("card.trc"), qel::test::ReadFileBytes(qel::test::TestData("writer/snippet.trc")));
    struct Case {
        std::vector<std::string> args;
        std::vector<std::pair<std::string, std::string>> env;
        fs::path folder;
    };
    const std::pair<std::string, std::string> home{"HOME", path("home").string()};
    const Case cases[] = {
        {{"--desktop"}, {home}, path("home/ToruCa")},
        {{"--desktop", "--temp-dir", path("given").string()}, {home}, path("given")},
        {{"--desktop"}, {home, {"QELHOST_TEMP_DIR", path("variable").string()}}, path("variable")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder.string());
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--form", "detail", path("card.trc").string()});
        QelhostOptions options;
        options.env = c.env;
        const QelhostRun run = RunQelhost(args, options);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "qelhost: wrote " + (c.folder / "toruca_detail.trc").string() + "\n");
    }
}
