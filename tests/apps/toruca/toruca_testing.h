// What the toruca program's tests share: the example page, values of an
// author's own for every field, and a fixture that runs toruca in the
// test's folder and makes cards of the example.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "framework/codepage.h"
#include "toruca/limits/handset_limits.h"
#include "tests/apps/toruca/toruca_run.h"
#include "tests/support/qelhost_run.h"
#include "tests/support/test_support.h"

namespace qel::test::toruca_cli {

namespace fs = std::filesystem;
using qel::test::Picture;
using qel::test::ReadPicture;
using qel::test::RunToruca;
using qel::test::TorucaRun;

inline const fs::path kShop = fs::path(QEL_SOURCE_DIR) / "examples" / "shop";

// Values of an author's own for every field that check would otherwise name
// as left at a new card's default.
inline std::vector<std::string> OwnValues(const std::vector<std::string>& extra) {
    const std::vector<std::pair<std::string, std::string>> own{
        {"--url", "http://www.example.com/toruca/shop_detail.trc"},
        {"--data1", "ケーキのお店"},
        {"--data2", "週末は半額"},
        {"--data3", "火曜定休"},
        {"--ip-id", "1234"},
        {"--sort-id", "ケーキ"},
        {"--expires", "991231"},
        {"--lm", "2001011200"}};
    std::vector<std::string> args;
    for (const auto& [option, value] : own)
        if (std::find(extra.begin(), extra.end(), option) == extra.end()) args.insert(args.end(), {option, value});
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

class TorucaTest : public qel::test::TempDirTest {
protected:
    TorucaRun Run(const std::vector<std::string>& args, const std::string& input = {}) const {
        return RunToruca(dir(), args, input);
    }

    // The example page as a card of `form`, written into the test's folder.
    fs::path MakeShop(const std::string& form = "detail", const std::vector<std::string>& extra = {}) const {
        std::vector<std::string> args{"make", (kShop / "index.html").string(), "-f", form};
        const std::vector<std::string> values = OwnValues(extra);
        args.insert(args.end(), values.begin(), values.end());
        const TorucaRun run = Run(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        return fs::path(run.out.substr(0, run.out.find('\n')));
    }

    // A failure of bad input: status 1, one line "toruca: ..." holding
    // `part`, nothing on standard output.
    static void ExpectFailure(const TorucaRun& run, const std::string& part) {
        EXPECT_EQ(run.exitCode, 1) << run.err;
        ASSERT_EQ(run.ErrLines().size(), 1u) << run.err;
        EXPECT_EQ(run.err.rfind("toruca: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(part), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }

    // A unique icon of its own name (a GIF of the example page).
    fs::path Icon() const {
        const fs::path icon = path("icon.gif");
        if (!fs::exists(icon)) fs::copy_file(kShop / "images" / "logo.gif", icon);
        return icon;
    }

    nlohmann::json Info(const fs::path& file) const {
        const TorucaRun run = Run({"info", file.string(), "--json"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return nlohmann::json::parse(run.out, nullptr, false);
    }
};

}  // namespace qel::test::toruca_cli
