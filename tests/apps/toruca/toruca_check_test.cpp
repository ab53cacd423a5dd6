// toruca check: a good card passes, and each problem of a bad one is
// named, with the warnings of what a handset would show wrong.
#include "tests/apps/toruca/toruca_testing.h"

namespace {

using namespace qel::test::toruca_cli;

TEST_F(TorucaTest, CheckPassesAGoodCardAndNamesEachProblemOfABadOne) {
    const fs::path good = MakeShop();
    TorucaRun run = Run({"check", good.string()});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out, "");

    // One of each problem that the header and the body can have. The URL's
    // 53 kana are two Shift_JIS bytes each: 128 bytes in all.
    std::string kana;
    for (int i = 0; i < 53; ++i) kana += "\x83\x50";  // ケ
    const std::string bad =
        "ToruCa\r\nVersion: 2.1\r\nType: CARD\r\n\r\nURL: ftp://www.example.com/" + kana +
        "\r\n"
        "Data1: YWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWE=\r\nData2: \r\nData3: \r\nCat: 0108\r\n"
        "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed;boundary=\"0000000000\"\r\n\r\n"
        "--0000000000\r\nContent-Type: text/html;charset=Shift_JIS\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
        "<html><body><img src=\"cid:image1\"><img src=\"cid:image9\">\r\n"
        "--0000000000\r\n"  // line 19, inside the page
        "<p>rest of the page</p></body></html>\r\n\r\n"
        "--0000000000\r\nContent-Type: image/gif;name=\"a.gif\";\r\nContent-Transfer-Encoding: base64\r\n"
        "Content-ID: <image1>\r\n\r\nR0lGODlhAQABAAAAACw=\r\n"
        "--0000000000\r\nContent-Type: image/gif;name=\"b.gif\";\r\nContent-Transfer-Encoding: base64\r\n"
        "Content-ID: <image2>\r\n\r\nR0lGODlhAQABAAAAACw=\r\n--0000000000--\r\n";
    qel::test::WriteFileBytes(path("bad.trc"), bad);
    // A card cut before its closing delimiter.
    std::string cut = qel::test::ReadFileBytes(good);
    cut.resize(cut.rfind("--0000000000--"));
    qel::test::WriteFileBytes(path("cut.trc"), cut);

    run = Run({"check", good.string(), "bad.trc", "cut.trc"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> expected{
        "bad.trc: error: the page refers to \"cid:image9\", but the card has no part with that content id",
        "bad.trc: warning: the part \"b.gif\" (content id \"image2\") is not used by the page",
        "bad.trc: error: Cat 0108 is not in the category table",
        "bad.trc: error: URL \"ftp://www.example.com/ケケ",
        "bad.trc: error: URL is 128 bytes, over the handset limit of 127 bytes",
        "bad.trc: error: Data1 is 41 bytes, over the handset limit of 40 bytes",
        "bad.trc: error: the page holds the boundary \"--0000000000\" on line 19: a reader ends the page there",
        // The cut takes the last image with it.
        "cut.trc: error: the page refers to \"cid:image6\", but the card has no part with that content id",
        "cut.trc: error: unterminated part: the part that starts on line",
    };
    const std::vector<std::string> lines = run.OutLines();
    ASSERT_EQ(lines.size(), expected.size()) << run.out;
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind(expected[i], 0), 0u) << lines[i];

    // The file size limit is the detail form's: the same page fits as a snippet.
    qel::test::WriteFileBytes(path("big.gif"), "GIF89a" + std::string(80000, 'x'));
    qel::test::WriteFileBytes(path("big.html"), "<html><body><img src=\"big.gif\"></body></html>");
    for (const char* form : {"detail", "snippet"}) {
        std::vector<std::string> args{"make", "big.html", "-f",
                                      form,   "-o",       form == std::string("detail") ? "big.trc" : "small.trc"};
        const std::vector<std::string> values = OwnValues({});
        args.insert(args.end(), values.begin(), values.end());
        ASSERT_EQ(Run(args).exitCode, 0);
    }
    run = Run({"check", "big.trc", "small.trc"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out.rfind("big.trc: error: the file is " + std::to_string(fs::file_size(path("big.trc"))) +
                                " bytes, over the handset limit of 100000 bytes for a detail file",
                            0),
              0u)
        << run.out;
    EXPECT_EQ(run.OutLines().size(), 1u) << run.out;

    // A file that cannot be read is bad input: its line goes to standard error.
    run = Run({"check", good.string(), "missing.trc"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "toruca: missing.trc: No such file or directory\n");
}

// The local date `days` days before today as Expires writes it (YYMMDD).
std::string ExpiresDaysAgo(int days) {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    ::localtime_r(&now, &t);
    t.tm_mday -= days;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    std::mktime(&t);
    char text[16];
    std::strftime(text, sizeof text, "%y%m%d", &t);
    return text;
}

// "YYMMDD" as check shows it: "20YY-MM-DD".
std::string Shown(const std::string& expires) {
    return "20" + expires.substr(0, 2) + "-" + expires.substr(2, 2) + "-" + expires.substr(4, 2);
}

// Each check warning on the example card with one thing changed that a
// handset would show wrong; the card itself checks clean.
TEST_F(TorucaTest, CheckWarnsOfWhatAHandsetWouldShowWrong) {
    const std::string good =
        qel::test::ReadFileBytes(MakeShop("detail", {"--lm", "now", "--icon", Icon().string(), "ロゴ"}));
    const auto withHeader = [&](const std::string& key, const std::string& value) {
        const std::size_t at = good.find("\r\n" + key + ": ") + 2;
        return good.substr(0, at) + key + ": " + value + good.substr(good.find("\r\n", at));
    };
    // The icon's part holding other bytes ("textxx", a Flash movie), the
    // star's part without its type line.
    const auto iconHolding = [&](const std::string& first8) {
        std::string bytes = good;
        bytes.replace(bytes.find("R0lGODlh", bytes.find("application/x-ticon")), 8, first8);
        return bytes;
    };
    std::string untyped = good;
    const std::size_t star = untyped.find("Content-Type: image/png;");
    untyped.erase(star, std::string("Content-Type: image/png;").size());
    const std::string starLine =
        std::to_string(std::count(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(star), '\n'));
    const std::string yesterday = ExpiresDaysAgo(1);

    struct Case {
        const char* name;
        std::string bytes, kind, warning;
    };
    const std::vector<Case> cases{
        {"url", withHeader("URL", "http://www.example.com/toruca_detail.trc"), "placeholder",
         "URL \"http://www.example.com/toruca_detail.trc\" is the placeholder of a new card"},
        {"data2", withHeader("Data2", "ZGF0YTI="), "placeholder", "Data2 \"data2\" is the placeholder of a new card"},
        {"data3", withHeader("Data3", "ZGF0YTM="), "placeholder", "Data3 \"data3\" is the placeholder of a new card"},
        {"expired", withHeader("Expires", "111231"), "expired",
         "Expires 111231 is past (2011-12-31): a handset takes the card for expired"},
        {"ip-id", withHeader("IP-ID", "9999"), "placeholder", "IP-ID \"9999\" is the placeholder of a new card"},
        {"sort-id", withHeader("Sort-ID", "\x83\x8F\x83\x93" /* ワン */), "placeholder",
         "Sort-ID \"ワン\" is the placeholder of a new card"},
        {"lm", withHeader("LM", "0808071904"), "placeholder", "LM \"0808071904\" is the placeholder of a new card"},
        {"yesterday", withHeader("Expires", yesterday), "expired",
         "Expires " + yesterday + " is past (" + Shown(yesterday) + "): a handset takes the card for expired"},
        {"leap400", withHeader("Expires", "000229"), "expired",
         "Expires 000229 is past (2000-02-29): a handset takes the card for expired"},
        {"nodate", withHeader("Expires", "990229"), "date", "Expires \"990229\" is no date (YYMMDD)"},
        {"future", withHeader("LM", "9912312359"), "future-lm", "LM 9912312359 is in the future (2099-12-31 23:59)"},
        {"notime", withHeader("LM", "2"), "date", "LM \"2\" is no date and time (YYMMDDhhmm)"},
        {"hex", withHeader("Cat", "00FC"), "cat-not-decimal",
         "Cat \"00FC\" is not a decimal code of the category table"},
        {"icon", iconHolding("dGV4dHh4"), "icon", "the unique icon \"icon.gif\" is no image (GIF, JPEG or PNG)"},
        {"flash", iconHolding("RldTBnh4"), "icon", "the unique icon \"icon.gif\" is no image (GIF, JPEG or PNG)"},
        {"untyped", untyped, "untyped-part",
         "the part that starts on line " + starLine + " has no Content-Type: a handset cannot tell what it holds"},
    };
    qel::test::WriteFileBytes(path("good.trc"), good);
    std::vector<std::string> all{"check", "--json", "good.trc"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = std::string(c.name) + ".trc";
        qel::test::WriteFileBytes(path(file), c.bytes);
        const TorucaRun run = Run({"check", file});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, file + ": warning: " + c.warning + "\n");
        all.push_back(file);
    }

    // The last day of a card is today: not past. Should the day change
    // during the check, it runs again on the new day.
    for (std::string today = ExpiresDaysAgo(0);; today = ExpiresDaysAgo(0)) {
        qel::test::WriteFileBytes(path("today.trc"), withHeader("Expires", today));
        const TorucaRun run = Run({"check", "today.trc"});
        if (ExpiresDaysAgo(0) != today) continue;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.exitCode, 0);
        break;
    }

    const TorucaRun run = Run(all);
    EXPECT_EQ(run.exitCode, 1);
    const nlohmann::json j = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_EQ(j["files"].size(), cases.size() + 1) << run.out;
    EXPECT_EQ(j["ok"], false);
    EXPECT_EQ(j["files"][0]["ok"], true);
    EXPECT_TRUE(j["files"][0]["problems"].empty());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const nlohmann::json& file = j["files"][i + 1];
        EXPECT_EQ(file["file"], std::string(cases[i].name) + ".trc");
        EXPECT_EQ(file["ok"], false);
        ASSERT_EQ(file["problems"].size(), 1u) << file;
        EXPECT_EQ(file["problems"][0]["severity"], "warning");
        EXPECT_EQ(file["problems"][0]["kind"], cases[i].kind);
    }
}

}  // namespace
