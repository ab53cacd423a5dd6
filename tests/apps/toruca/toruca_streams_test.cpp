// toruca at the edges of its input and output: ended by a signal while it
// holds a scratch folder, writing to a reader that went away or past the
// file size limit, standard input endless or arriving in small pieces, and
// an -o file that appears after toruca looked.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/apps/toruca/toruca_run.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using qel::test::RunToruca;
using qel::test::TorucaProcess;
using qel::test::TorucaRun;
using qel::test::TorucaStart;

namespace {

class TorucaStreamsTest : public qel::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        fs::create_directory(Scratch());
        const fs::path page = fs::path(QEL_SOURCE_DIR) / "examples" / "shop" / "index.html";
        const TorucaRun made = Run({"make", page.string(), "-o", "shop.trc"});
        ASSERT_EQ(made.exitCode, 0) << made.err;
    }

    // The system's temporary folder as toruca sees it (TMPDIR).
    fs::path Scratch() const { return path("tmp"); }

    TorucaStart Start() const {
        TorucaStart start;
        start.environment.emplace_back("TMPDIR", Scratch().string());
        return start;
    }

    TorucaRun Run(const std::vector<std::string>& args, const TorucaStart& start) const {
        return RunToruca(dir(), args, start);
    }
    TorucaRun Run(const std::vector<std::string>& args) const { return Run(args, Start()); }

    // Nothing of toruca's is left in the temporary folder.
    void ExpectNothingLeft() const {
        for (const auto& entry : fs::recursive_directory_iterator(Scratch())) ADD_FAILURE() << entry.path();
    }

    static void ExpectFailure(const TorucaRun& run, const std::string& part) {
        EXPECT_EQ(run.exitCode, 1) << run.err;
        ASSERT_EQ(run.ErrLines().size(), 1u) << run.err;
        EXPECT_NE(run.err.find(part), std::string::npos) << run.err;
    }

    // Waits until toruca's copy of standard input holds bytes.
    bool StandardInputArrived() const {
        for (int tries = 0; tries < 6000; ++tries) {
            for (const auto& entry : fs::recursive_directory_iterator(Scratch())) {
                std::error_code ec;
                if (entry.path().filename() == "stdin" && fs::file_size(entry.path(), ec) > 0) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

// Ctrl-C, a terminal closed, `kill`: each command ends by the signal, as it
// would have without a handler, and leaves nothing, whatever it holds.
TEST_F(TorucaStreamsTest, EndingSignalsEndEveryCommandAndLeaveNothing) {
    const std::string card = qel::test::ReadFileBytes(path("shop.trc"));
    const std::vector<std::pair<std::vector<std::string>, int>> cases{
        {{"info", "-"}, SIGINT},
        {{"check", "-"}, SIGTERM},
        {{"convert", "-", "-f", "project", "-o", "-"}, SIGHUP},
        {{"extract", "-", "-d", "out"}, SIGINT},
        {{"preview", "--page", "-", "-o", "-"}, SIGTERM},
    };
    for (const auto& [args, sig] : cases) {
        SCOPED_TRACE(args[0]);
        TorucaStart start = Start();
        start.held = true;
        TorucaProcess toruca(dir(), args, start);
        const std::size_t half = card.size() / 2;
        ASSERT_EQ(::write(toruca.input(), card.data(), half), static_cast<ssize_t>(half));
        ASSERT_TRUE(StandardInputArrived());
        ::kill(toruca.pid(), sig);
        const TorucaRun run = toruca.Wait();
        EXPECT_EQ(run.exitCode, 128 + sig) << run.err;
        ExpectNothingLeft();
        EXPECT_FALSE(fs::exists(path("out")));
    }
}

// A reader that went away and a file size limit are failures of the write,
// as for any tool (`gzip -c | head`): status 1, one line, nothing left.
TEST_F(TorucaStreamsTest, ClosedPipesAndFileSizeLimitsAreOrdinaryFailures) {
    struct Case {
        std::vector<std::string> args;
        bool outputClosed;
        long fileSizeLimit;
        std::string message;
    };
    const std::vector<Case> cases{
        {{"convert", "shop.trc", "-f", "project", "-o", "-"}, true, -1, "cannot write to standard output: Broken pipe"},
        {{"info", "shop.trc"}, true, -1, "cannot write to standard output: Broken pipe"},
        // The card's images (the largest 1,582 bytes) go to the scratch folder.
        {{"info", "shop.trc"}, false, 1000, "shop.trc: cannot be read"},
        {{"convert", "shop.trc", "-f", "project", "-o", "big.tpj"}, false, 1000, "cannot"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + std::to_string(c.fileSizeLimit));
        TorucaStart start = Start();
        start.outputClosed = c.outputClosed;
        start.fileSizeLimit = c.fileSizeLimit;
        ExpectFailure(Run(c.args, start), c.message);
        ExpectNothingLeft();
        EXPECT_FALSE(fs::exists(path("big.tpj")));
    }
}

// Standard input is read to its end, however its writer cuts it, and no
// further than the bound: an endless one fails at the bound.
TEST_F(TorucaStreamsTest, StandardInputIsReadWholeUpToItsBound) {
    // A card larger than a pipe holds (64 KiB), so that the reader drains
    // the pipe faster than the writer fills it.
    qel::test::WriteFileBytes(path("big.gif"), "GIF89a" + std::string(200000, 'g'));
    qel::test::WriteFileBytes(path("big.html"), "<html><body><img src=\"big.gif\"></body></html>");
    ASSERT_EQ(Run({"make", path("big.html").string(), "-o", "big.trc"}).exitCode, 0);
    TorucaStart start = Start();
    start.input = qel::test::ReadFileBytes(path("big.trc"));
    const TorucaRun whole = Run({"info", "-"}, start);
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    start.piece = 7;  // each write of the pipe's writer a read of its own, mostly
    const TorucaRun pieces = Run({"info", "-"}, start);
    EXPECT_EQ(pieces.exitCode, 0) << pieces.err;
    EXPECT_EQ(pieces.out, whole.out);

    start.input.clear();
    for (int i = 0; i < 4096; ++i) start.input += "y\n";
    start.piece = start.input.size();
    start.endless = true;  // yes | toruca info -
    ExpectFailure(Run({"info", "-"}, start), "toruca: -: standard input holds more than 64 MiB");
    ExpectNothingLeft();
}

// -o FILE without --force never replaces a file, not even one made after
// toruca looked whether it exists: the name is taken by a rename that
// refuses to replace.
TEST_F(TorucaStreamsTest, OutputFileMadeAfterTheCheckIsNotReplaced) {
    TorucaStart start = Start();
    start.environment.emplace_back("LD_PRELOAD", QEL_LATE_FILE_PRELOAD);
    start.environment.emplace_back("QEL_TEST_LATE_FILE", "late.tpj");
#if defined(__SANITIZE_ADDRESS__)
    // The preloaded library comes before the sanitizer's runtime.
    const char* options = std::getenv("ASAN_OPTIONS");
    start.environment.emplace_back("ASAN_OPTIONS", std::string(options ? options : "") + ":verify_asan_link_order=0");
#endif
    ExpectFailure(Run({"convert", "shop.trc", "-f", "project", "-o", "late.tpj"}, start),
                  "late.tpj: already exists; --force replaces it");
    EXPECT_EQ(qel::test::ReadFileBytes(path("late.tpj")), "late");
}

}  // namespace
