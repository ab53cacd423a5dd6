// What qelhost leaves and reaches on the disk: every path given to it in a
// folder whose name is not UTF-8 (Latin-1, Shift_JIS), and a temporary
// folder that holds only the cards written after loads of cards whose parts
// share a name.
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/qelhost_run.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using qel::test::QelhostRun;
using qel::test::RunQelhost;

namespace {

// A one-pixel GIF and its Base64, as a card's part holds it.
const std::string kGif(
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00,"
    "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02"
    "D\x01\x00;",
    43);
const char kGifBase64[] = "R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==";

class QelhostPaths : public qel::test::TempDirTest {
protected:
    // Everything in the temporary folder, by path relative to it.
    std::set<std::string> Entries(const fs::path& folder) const {
        std::set<std::string> entries;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            entries.insert(e.path().lexically_relative(folder).string());
        return entries;
    }
};

// The page, its image, the temporary folder and the registry file in a
// folder named in Latin-1 or Shift_JIS: the page exports with its image, the
// editor gets the written card's path byte for byte, the card loads again,
// and the lines for the user show the name's bytes escaped.
TEST_F(QelhostPaths, EveryPathInAFolderWhoseNameIsNotUtf8) {
    struct Case {
        const char* label;
        std::string name, shown;
    } const cases[] = {{"Latin-1", "caf\xE9", "caf\\xE9"},
                       {"Shift_JIS", "\x83\x65\x83\x58\x83\x67", "\\x83e\\x83X\\x83g"}};
    const fs::path record = path("editor-args");
    const fs::path editor = qel::test::WriteRecordingEditor(path("editor.sh"), record);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const fs::path folder = path(c.name);
        fs::create_directories(folder / "img");
        // A Shift_JIS page, whose URL escapes its folder's bytes, which the
        // page's own encoding would read otherwise.
        qel::test::WriteFileBytes(folder / "index.html",
                                  "<html><head><meta charset=\"Shift_JIS\"></head><body>\x83\x50\x81\x5B\x83\x4C"
                                  "<img src=\"img/star.gif\"></body></html>");
        qel::test::WriteFileBytes(folder / "img" / "star.gif", kGif);
        qel::test::WriteFileBytes(folder / "editor.reg", qel::test::EditorRegistry(editor.string()));
        const fs::path temp = folder / "temp";
        fs::remove(record);

        const QelhostRun exported =
            RunQelhost({"--temp-dir", temp.string(), "--registry", (folder / "editor.reg").string(), "--form", "detail",
                        (folder / "index.html").string()});
        ASSERT_EQ(exported.exitCode, 0) << exported.err;
        const fs::path card = temp / "toruca_detail.trc";
        EXPECT_EQ(exported.out, "qelhost: wrote " + (path(c.shown) / "temp" / "toruca_detail.trc").string() + "\n");
        EXPECT_NE(qel::test::ReadFileBytes(card).find(kGifBase64), std::string::npos);
        ASSERT_TRUE(qel::test::WaitForFile(record));
        EXPECT_EQ(qel::test::ReadFileBytes(record), "1\n" + card.string() + "\n");

        // The card loads from there and is written as a project.
        const QelhostRun loaded = RunQelhost({"--temp-dir", temp.string(), "--form", "project", card.string()});
        ASSERT_EQ(loaded.exitCode, 0) << loaded.err;
        EXPECT_NE(qel::test::ReadFileBytes(temp / "toruca.tpj").find(kGifBase64), std::string::npos);

        // A card that cannot be read names its folder escaped.
        const QelhostRun missing = RunQelhost({"--temp-dir", temp.string(), (folder / "none.trc").string()});
        EXPECT_EQ(missing.exitCode, 1);
        EXPECT_NE(missing.err.find(path(c.shown).string() + "/none.trc"), std::string::npos) << missing.err;
    }
}

// Loads put each part into the temporary folder, a part whose name is taken
// into a qel-part- folder of its own; once the export is over, they are
// gone, whether a card was written or the input was the editor's already.
TEST_F(QelhostPaths, LoadsLeaveOnlyTheWrittenCardsInTheTemporaryFolder) {
    std::string card =
        "ToruCa\r\nVersion: 2.1\r\nType: CARD\r\n\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed;boundary=\"B\"\r\n\r\n--B\r\n"
        "Content-Transfer-Encoding: 8bit\r\n\r\n<p>\r\n";
    for (int i = 1; i <= 3; ++i)
        card +=
            "--B\r\nContent-Type: image/gif;name=\"star.gif\"\r\nContent-Transfer-Encoding: base64\r\n"
            "Content-ID: <image" +
            std::to_string(i) + ">\r\n\r\n" + kGifBase64 + "\r\n";
    card += "--B--\r\n";
    qel::test::WriteFileBytes(path("in.trc"), card);
    const fs::path temp = path("temp");
    for (int i = 0; i < 3; ++i) {
        const QelhostRun run = RunQelhost({"--temp-dir", temp.string(), "--form", "project", path("in.trc").string()});
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }
    const QelhostRun same = RunQelhost({"--temp-dir", temp.string(), "--form", "detail", path("in.trc").string()});
    ASSERT_EQ(same.exitCode, 0) << same.err;
    EXPECT_EQ(Entries(temp), (std::set<std::string>{"toruca.tpj", "toruca(1).tpj", "toruca(2).tpj"}));
    // What was removed is in the cards: each holds the three parts.
    const std::string written = qel::test::ReadFileBytes(temp / "toruca(2).tpj");
    std::size_t parts = 0;
    for (std::size_t at = written.find(kGifBase64); at != std::string::npos; at = written.find(kGifBase64, at + 1))
        ++parts;
    EXPECT_EQ(parts, 3u);
}

}  // namespace
