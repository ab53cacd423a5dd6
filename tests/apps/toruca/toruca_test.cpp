// The toruca program, run as a user runs it on the example page and on the
// files it writes: each command's output and exit status, bad input for each
// command, and the round trip page -> card -> project -> folder.
#include "tests/apps/toruca/toruca_testing.h"

namespace {

using namespace qel::test::toruca_cli;

TEST_F(TorucaTest, MakeWritesTheChosenFormUnderAFreeNameAndPrintsIt) {
    const fs::path first = MakeShop();
    EXPECT_EQ(first, dir() / "toruca_detail.trc");
    const std::string bytes = qel::test::ReadFileBytes(first);
    EXPECT_EQ(bytes.rfind("ToruCa\r\nVersion: 2.1\r\nType: CARD\r\n\r\n", 0), 0u);

    // The name is taken: the next free one, the first file untouched.
    EXPECT_EQ(MakeShop(), dir() / "toruca_detail(1).trc");
    EXPECT_EQ(qel::test::ReadFileBytes(first), bytes);

    const fs::path snippet = MakeShop("snippet", {"-o", "out"});
    EXPECT_EQ(snippet, dir() / "out");
    EXPECT_EQ(qel::test::ReadFileBytes(snippet).rfind("ToruCa\r\nVersion: 2.1\r\nType: SNIP\r\n", 0), 0u);
    fs::create_directory(path("cards"));
    EXPECT_EQ(MakeShop("project", {"-o", "cards"}), dir() / "cards" / "toruca.tpj");

    // An image the page names but the disk lacks: the card is written with
    // an empty part, and a warning says so.
    qel::test::WriteFileBytes(path("page.html"), "<html><body><img src=\"gone.gif\"></body></html>");
    const TorucaRun run = Run({"make", "page.html", "-o", "gone.trc"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "toruca: warning: page.html: the image " + path("gone.gif").string() +
                           " is missing; its part is empty\n");
    EXPECT_TRUE(fs::exists(path("gone.trc")));

    // The same page gives the same card: inline images of one run are not
    // in the way of the next.
    qel::test::WriteFileBytes(path("inline.html"), "<img src=\"data:image/gif;base64,R0lGODlh\">");
    ASSERT_EQ(Run({"make", "inline.html", "-o", "inline1.trc"}).exitCode, 0);
    ASSERT_EQ(Run({"make", "inline.html", "-o", "inline2.trc"}).exitCode, 0);
    EXPECT_EQ(qel::test::ReadFileBytes(path("inline2.trc")), qel::test::ReadFileBytes(path("inline1.trc")));
}

// make warns of each handset limit the card exceeds, as qelhost does, and
// writes the card all the same; a value at the limit passes silently.
TEST_F(TorucaTest, MakeWarnsOfEachHandsetLimitTheCardExceeds) {
    struct Case {
        std::size_t data1Bytes;
        std::string warning;  // empty: none
    };
    const std::vector<Case> cases{
        {40, ""},
        {41, ": Data1 is 41 bytes, over the handset limit of 40 bytes"},
    };
    for (const Case& c : cases) {
        const std::string name = "data1-" + std::to_string(c.data1Bytes) + ".trc";
        std::vector<std::string> args{"make", (kShop / "index.html").string()};
        const std::vector<std::string> values = OwnValues({"--data1", std::string(c.data1Bytes, 'd'), "-o", name});
        args.insert(args.end(), values.begin(), values.end());
        const TorucaRun run = Run(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, path(name).string() + "\n");
        if (c.warning.empty()) {
            EXPECT_EQ(run.err, "") << c.data1Bytes;
        } else {
            ASSERT_EQ(run.ErrLines().size(), 1u) << run.err;
            EXPECT_EQ(run.err.rfind("toruca: warning: " + path(name).string() + c.warning, 0), 0u) << run.err;
        }
    }
}

TEST_F(TorucaTest, MakeStoresTheValuesGivenAndInfoShowsThem) {
    const fs::path card = MakeShop("detail", {"--data2", "週末は\n半額",  "--data3",    "火曜定休",       "--cat",
                                              "251",     "--color",       "3",          "--dist",         "2",
                                              "--ip-id", "1234",          "--sort-id",  "ケーキ",         "--expires",
                                              "301231",  "--lm",          "2612071030", "--card-version", "2.0",
                                              "--icon",  Icon().string(), "ロゴ"});
    const nlohmann::json j = Info(card);
    EXPECT_EQ(j["form"], "detail");
    EXPECT_EQ(j["version"], "2.0");
    EXPECT_EQ(j["url"], "http://www.example.com/toruca/shop_detail.trc");
    EXPECT_EQ(j["data1"], "ケーキのお店");
    EXPECT_EQ(j["data2"], "週末は\r\n半額");  // the dialog's line break
    EXPECT_EQ(j["data3"], "火曜定休");
    EXPECT_EQ(j["cat"]["code"], 251);
    EXPECT_EQ(j["cat"]["genre"], "グルメ");
    EXPECT_EQ(j["colorId"]["label"], "緑");
    EXPECT_EQ(j["dist"]["label"], "再配布不可かつ更新可");
    EXPECT_EQ(j["ipId"], "1234");
    EXPECT_EQ(j["sortId"], "ケーキ");
    EXPECT_EQ(j["expires"], "301231");
    EXPECT_EQ(j["uniqueIcon"]["title"], "ロゴ");
    EXPECT_EQ(j["uniqueIcon"]["name"], "icon.gif");
    EXPECT_EQ(j["uniqueIcon"]["bytes"], fs::file_size(Icon()));
    // Version 2.0 writes no LM line.
    EXPECT_EQ(qel::test::ReadFileBytes(card).find("\r\nLM: "), std::string::npos);

    ASSERT_EQ(j["parts"].size(), 6u);
    EXPECT_EQ(j["parts"][1]["contentId"], "image2");
    EXPECT_EQ(j["parts"][1]["name"], "logo.gif");
    EXPECT_EQ(j["parts"][1]["kind"], "image/gif");
    EXPECT_EQ(j["parts"][5]["kind"], "application/x-shockwave-flash");
    EXPECT_EQ(j["size"], fs::file_size(card));
    ASSERT_EQ(j["limits"].size(), 6u);  // the snippet's size row does not apply
    EXPECT_EQ(j["limits"][2]["key"], "data1");
    EXPECT_EQ(j["limits"][2]["value"], 12);  // six characters of two Shift_JIS bytes
    EXPECT_EQ(j["limits"][2]["ok"], true);

    const TorucaRun text = Run({"info", card.string()});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_NE(text.out.find("  Cat: 0251 (グルメ)\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("  Data2: 週末は\n         半額\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("preview: toruca preview " + card.string() + " -o card.png\n"), std::string::npos)
        << text.out;
    // A name the shell would split or take apart is quoted, so the hint
    // pastes into a shell as it stands.
    fs::copy_file(card, path("it's (1).trc"));
    EXPECT_NE(Run({"info", "it's (1).trc"}).out.find("preview: toruca preview 'it'\\''s (1).trc' -o card.png\n"),
              std::string::npos);
    // The parts' columns line up on a terminal: a kana takes two columns.
    EXPECT_NE(text.out.find(" logo.gif                 image/gif "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find(" ケーキ セット.jpg        image/jpeg "), std::string::npos) << text.out;
}

// What the tools report: the fields a version 1.0 card does not hold are
// absent; a page that cannot be parsed (nested too deeply) still has its
// cid: references mapped by extract, which writes it as index.html even
// next to a part of that name, and check finds them used.
TEST_F(TorucaTest, ToolsReportWhatTheCardHolds) {
    const fs::path old = MakeShop("detail", {"--card-version", "1.0"});
    const nlohmann::json j = Info(old);
    for (const char* key : {"ipId", "sortId", "dist", "colorId", "expires", "lm"}) EXPECT_TRUE(j[key].is_null()) << key;
    EXPECT_FALSE(Info(MakeShop())["lm"].is_null());
    const TorucaRun text = Run({"info", old.string()});
    EXPECT_NE(text.out.find("  IP-ID: (absent)\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("  Color-ID: (absent)\n"), std::string::npos) << text.out;

    std::string deep = "<img src=\"cid:image1\">";
    for (int i = 0; i < 5000; ++i) deep += "<div>";
    qel::test::WriteFileBytes(
        path("deep.trc"),
        "ToruCa\r\nVersion: 2.1\r\nType: CARD\r\n\r\nURL: \r\n\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed;boundary=\"B\"\r\n\r\n--B\r\n"
        "Content-Transfer-Encoding: 8bit\r\n\r\n" +
            deep +
            "\r\n--B\r\nContent-Type: image/gif;name=\"index.html\";\r\n"
            "Content-Transfer-Encoding: base64\r\nContent-ID: <image1>\r\n\r\nR0lGODlh\r\n--B--\r\n");
    const TorucaRun extract = Run({"extract", path("deep.trc").string(), "-d", "deep"});
    ASSERT_EQ(extract.exitCode, 0) << extract.err;
    EXPECT_EQ(extract.out, (dir() / "deep" / "index.html").string() + "\n");
    const std::string page = qel::test::ReadFileBytes(dir() / "deep" / "index.html");
    EXPECT_EQ(page.find("cid:"), std::string::npos);
    EXPECT_EQ(page.substr(0, 10), "<img src=\"");
    const std::string part = page.substr(10, page.find('"', 10) - 10);
    EXPECT_NE(part, "index.html");
    std::vector<std::string> others;
    for (const auto& entry : fs::directory_iterator(dir() / "deep"))
        if (entry.path().filename() != "index.html") others.push_back(qel::test::ReadFileBytes(entry.path()));
    EXPECT_EQ(others, std::vector<std::string>{"GIF89a"}) << part;
    const TorucaRun check = Run({"check", path("deep.trc").string()});
    EXPECT_EQ(check.out.find("not used"), std::string::npos) << check.out;
}

TEST_F(TorucaTest, MakeRefusesValuesTheDialogRefusesOrShiftJisCannotHold) {
    const std::string page = (kShop / "index.html").string();
    ExpectFailure(
        Run({"make", page, "--url", "https://www.example.com/"}),
        "--url https://www.example.com/: a URL is half-width letters, digits and symbols starting with http://");
    ExpectFailure(Run({"make", page, "--data1", "ケーキ😀"}),
                  "--data1: the character U+1F600 '😀' cannot be written in Shift_JIS");
    ExpectFailure(Run({"make", page, "--sort-id", "\xE2\x82\xAC"}), "U+20AC");
    ExpectFailure(Run({"make", page, "--data2", "\xFF"}), "--data2: the text is not valid UTF-8");
    EXPECT_TRUE(qel::test::ToruCaFiles(dir()).empty());
    EXPECT_EQ(Run({"make", page, "--lm", "2"}).err, "toruca: --lm 2: not a date and time YYMMDDhhmm (or now)\n");
    EXPECT_EQ(Run({"frobnicate", page}).err, "toruca: unknown command 'frobnicate' (see toruca --help)\n");

    // Usage errors: status 2, "toruca: " on standard error.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"make"},
                                                 {"make", page, "--color", "10"},
                                                 {"make", page, "--dist", "0"},
                                                 {"make", page, "-f", "card"},
                                                 {"make", page, "--version", "3.0"},
                                                 {"make", page, "--icon", "x"},
                                                 {"make", page, "--cat", "x"},
                                                 {"make", page, "--cat", "9999"},
                                                 {"make", page, "--cat", "108"},
                                                 // A line break would end the value's header line.
                                                 {"make", page, "--url", "http://a/\r\nData1: eA=="},
                                                 {"make", page, "--sort-id", "a\nDist: 1"},
                                                 {"make", page, "--ip-id", "1\r"},
                                                 {"make", page, "--expires", "101231\n"},
                                                 {"make", page, "--lm", "\n0808071904"},
                                                 {"make", page, "--icon", Icon().string(), "Sh\nop"},
                                                 {"make", page, "--expires", "991399"},
                                                 {"make", page, "--expires", "1012310"},
                                                 {"make", page, "--lm", "2"},
                                                 {"make", page, "--lm", "2612072460"},
                                                 {"make", page, "--icon", page, "not an image"},
                                                 {"convert", page},
                                                 {},
                                                 {"frobnicate"},
                                                 {"info", page, "--jsn"}}) {
        const TorucaRun run = Run(args);
        EXPECT_EQ(run.exitCode, 2) << args.size() << " " << run.err;
        EXPECT_EQ(run.err.rfind("toruca: ", 0), 0u) << run.err;
    }
}

TEST_F(TorucaTest, BadInputIsOneLineAndStatusOne) {
    qel::test::WriteFileBytes(path("damaged.trc"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    fs::create_directory(path("folder.trc"));
    qel::test::WriteFileBytes(path("plain"), "a file, not a folder");
    const fs::path card = MakeShop();

    const std::vector<std::vector<std::string>> commands{
        {"info"}, {"check"}, {"convert", "-f", "project"}, {"extract"}, {"preview"}};
    for (const auto& command : commands) {
        SCOPED_TRACE(command[0]);
        const auto with = [&](const std::string& file, std::vector<std::string> more = {}) {
            std::vector<std::string> args = command;
            args.insert(args.begin() + 1, file);
            args.insert(args.end(), more.begin(), more.end());
            return Run(args);
        };
        ExpectFailure(with("missing.trc"), "missing.trc: No such file or directory");
        ExpectFailure(with("folder.trc"), "folder.trc: is a folder, not a file");
        ExpectFailure(with("damaged.trc"), "damaged.trc: not a ToruCa file");
    }
    ASSERT_EQ(::mkfifo(path("pipe.html").c_str(), 0600), 0);
    ExpectFailure(Run({"make", "pipe.html"}), "pipe.html: not a regular file");
    ExpectFailure(Run({"info", "pipe.html"}), "pipe.html: not a regular file");
    ExpectFailure(Run({"make", "missing.html"}), "missing.html: No such file or directory");
    ExpectFailure(Run({"make", "folder.trc"}), "folder.trc: is a folder, not a file");
    ExpectFailure(Run({"make", (kShop / "index.html").string(), "-o", "plain/card.trc"}), "plain: not a folder");
    ExpectFailure(Run({"convert", card.string(), "-f", "snippet", "-o", "nowhere/x.trc"}), "No such file or directory");
    ExpectFailure(Run({"preview", card.string(), "-o", "plain/card.png"}), "plain: not a folder");
    ExpectFailure(Run({"extract", card.string(), "-d", "plain/sub"}), "cannot make the folder");
    // A failed extraction leaves no folder behind.
    ExpectFailure(Run({"extract", "damaged.trc", "-d", "unpacked"}), "not a ToruCa file");
    EXPECT_FALSE(fs::exists(path("unpacked")));
}

TEST_F(TorucaTest, MakeConvertExtractGivesBackThePageImagesByteForByte) {
    const fs::path detail = MakeShop();
    TorucaRun run = Run({"convert", detail.string(), "-f", "project"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const fs::path project = dir() / "toruca.tpj";
    EXPECT_EQ(run.out, project.string() + "\n");
    EXPECT_EQ(qel::test::ReadFileBytes(project).rfind("TORUCA_PROJECT_V2\r\n", 0), 0u);

    run = Run({"extract", project.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const fs::path folder = dir() / "toruca";
    EXPECT_EQ(run.out, (folder / "index.html").string() + "\n");
    for (const auto& entry : fs::directory_iterator(kShop / "images")) {
        SCOPED_TRACE(entry.path().filename().string());
        const fs::path copy = folder / entry.path().filename();
        ASSERT_TRUE(fs::exists(copy));
        EXPECT_EQ(qel::test::ReadFileBytes(copy), qel::test::ReadFileBytes(entry.path()));
    }
    // The page refers to the files beside it, the web server's banner stays.
    const std::string page = qel::test::ReadFileBytes(folder / "index.html");
    for (const char* reference : {"background=\"bg.gif\"", "src=\"logo.gif\"", "src=\"star.png\"",
                                  "src=\"%E3%82%B1%E3%83%BC%E3%82%AD%20%E3%82%BB%E3%83%83%E3%83%88.jpg\"",
                                  "data=\"coupon.swf\"", "src=\"http://www.example.com/toruca/banner.gif\""})
        EXPECT_NE(page.find(reference), std::string::npos) << reference;
    EXPECT_EQ(page.find("cid:"), std::string::npos);

    // Never into an existing folder.
    ExpectFailure(Run({"extract", project.string()}), "already exists; extract writes into a new folder only");
    ExpectFailure(Run({"extract", project.string(), "-d", dir().string()}), "already exists");
}

// convert says which values it wrote that the card did not hold (a new
// card's), and names a value that holds a line break.
TEST_F(TorucaTest, ConvertNamesTheValuesItFillsInAndAValueWithALineBreak) {
    const std::string own =
        "ToruCa\r\nVersion: 2.1\r\nType: SNIP\r\n\r\nURL: http://a/\r\nData1: YQ==\r\n"
        "Data2: Yg==\r\nData3: Yw==\r\nCat: 0001\r\n";
    qel::test::WriteFileBytes(path("bare.trc"), own);
    TorucaRun run = Run({"convert", "bare.trc", "-f", "detail"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto filled = [](const std::string& key, const std::string& value) {
        return "toruca: warning: bare.trc: the card holds no " + key + "; wrote \"" + value + "\", a new card's value";
    };
    EXPECT_EQ(run.ErrLines(),
              (std::vector<std::string>{filled("IP-ID", "9999"), filled("Sort-ID", "ワン"), filled("Dist", "4"),
                                        filled("Expires", "101231"), filled("LM", "0808071904")}));
    // Converted back, the card holds every line: nothing to say.
    run = Run({"convert", "toruca_detail.trc", "-f", "snippet"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");

    qel::test::WriteFileBytes(path("cr.trc"), own + "Sort-ID: a\rb\r\n");
    ExpectFailure(Run({"convert", "cr.trc", "-f", "detail"}),
                  "cr.trc: Sort-ID holds a line break, which no header line of a card can hold");
}

// A page with its image and the cards made of it in a folder named in
// Latin-1 or Shift_JIS: made, converted and extracted there, the written
// paths printed as they are and a message naming the folder with its bytes
// escaped.
TEST_F(TorucaTest, EveryPathInAFolderWhoseNameIsNotUtf8) {
    const std::string gif = qel::test::ReadFileBytes(kShop / "images" / "logo.gif");
    for (const auto& [name, shown] : {std::pair<std::string, std::string>{"caf\xE9", "caf\\xE9"},
                                      {"\x83\x65\x83\x58\x83\x67", "\\x83e\\x83X\\x83g"}}) {
        SCOPED_TRACE(shown);
        const fs::path folder = path(name);
        fs::create_directories(folder / "img");
        qel::test::WriteFileBytes(folder / "index.html",
                                  "<html><head><meta charset=\"Shift_JIS\"></head><body>"
                                  "<img src=\"img/logo.gif\"></body></html>");
        qel::test::WriteFileBytes(folder / "img" / "logo.gif", gif);
        TorucaRun run = Run({"make", (folder / "index.html").string(), "-o", folder.string()});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const fs::path card = folder / "toruca_detail.trc";
        EXPECT_EQ(run.out, card.string() + "\n");
        run = Run({"convert", card.string(), "-f", "project", "-o", folder.string()});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        run = Run({"extract", (folder / "toruca.tpj").string(), "-d", (folder / name).string()});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(qel::test::ReadFileBytes(folder / name / "logo.gif"), gif);
        ExpectFailure(Run({"info", (folder / "none.trc").string()}), path(shown).string() + "/none.trc");
    }
}

// Other tools' MIME readers (Python's email package, and GMime 3 when it is
// there) read the cards made from the example page: the page, the icon and
// every image with its bytes and its name, in raw Shift_JIS as handsets
// expect it.
TEST_F(TorucaTest, OtherMimeReadersReadTheExampleCardsWhole) {
    const std::string cake = "ケーキ セット.jpg";
    // The images in page order: body background, img elements, the object.
    const std::vector<std::string> images = {"bg.gif", "logo.gif", cake, "star.png", "star.png", "coupon.swf"};
    for (const char* form : {"detail", "project"}) {
        const fs::path card = MakeShop(form, {"--icon", Icon().string(), "Shop", "-o", std::string(form) + ".trc"});
        for (const std::string& reader : qel::test::MimeReaders()) {
            SCOPED_TRACE(std::string(form) + " read by " + reader);
            std::string boundary;
            const std::vector<qel::test::MimePartSeen> parts = qel::test::ReadMimeWith(reader, card, boundary);
            ASSERT_EQ(parts.size(), images.size() + 2);
            EXPECT_EQ(parts[0].type, "text/html");
            EXPECT_NE(parts[0].body.find("src=\"cid:image2\""), std::string::npos);
            EXPECT_EQ(parts[1].type, "application/x-ticon");
            EXPECT_EQ(parts[1].body, qel::test::ReadFileBytes(Icon()));
            for (std::size_t i = 0; i < images.size(); ++i) {
                const qel::test::MimePartSeen& part = parts[i + 2];
                EXPECT_EQ(part.id, "<image" + std::to_string(i + 1) + ">");
                EXPECT_EQ(part.defects, "");
                EXPECT_EQ(part.body, qel::test::ReadFileBytes(kShop / "images" / images[i])) << images[i];
                // Python gives a name's bytes as the file holds them.
                const std::string name =
                    images[i] == cake ? qel::framework::WideToCp932(qel::framework::Utf8ToWide(cake)) : images[i];
                if (reader.find("python3") == 0 || images[i] != cake) {
                    EXPECT_EQ(part.params, "name=" + name);
                }
            }
        }
    }
}

TEST_F(TorucaTest, PreviewDrawsAPngUnderAFreeName) {
    const fs::path card = MakeShop("detail", {"--icon", Icon().string(), "ロゴ"});
    qel::test::WriteFileBytes(path("card.png"), "keep");
    const TorucaRun run = Run({"preview", card.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, (dir() / "card(1).png").string() + "\n");
    EXPECT_EQ(qel::test::ReadFileBytes(path("card.png")), "keep");
    const std::string png = qel::test::ReadFileBytes(path("card(1).png"));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x01\xe0\0\0\0\xd8", 8));  // 480 x 216
}

TEST_F(TorucaTest, PreviewPageDrawsThePageAsAHandsetShowsIt) {
    const fs::path shop = MakeShop();
    // The narrowest screen taken is 16 pixels: 15 is a usage error.
    EXPECT_EQ(Run({"preview", "--page", shop.string(), "--width", "15"}).exitCode, 2);
    for (const auto& [width, args] : std::vector<std::pair<int, std::vector<std::string>>>{
             {240, {}}, {320, {"--width", "320"}}, {16, {"--width", "16"}}}) {
        std::vector<std::string> command{"preview", "--page", shop.string(), "-o",
                                         "shop" + std::to_string(width) + ".png"};
        command.insert(command.end(), args.begin(), args.end());
        const TorucaRun run = Run(command);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const Picture shopPicture = ReadPicture(path("shop" + std::to_string(width) + ".png"));
        EXPECT_EQ(shopPicture.width, width);
        EXPECT_GE(shopPicture.height, width == 16 ? 1 : 240) << width;
    }

    const std::string kana = "あいうえおかきくけこさしすせそたちつてと";  // 20 full-width characters
    const std::map<std::string, std::string> bodies{
        {"short", "<body><p>あいうえお</p></body>"},
        {"kana", "<body><p>" + kana + kana + kana + kana + "</p></body>"},
        // Pictogram F987 by its Shift_JIS code and by its code point, and
        // the first pictogram, F89F (U+E63E).
        {"sjis", "<body><p>&#63879;</p></body>"},
        {"pua", "<body><p>&#xE6E2;</p></body>"},
        {"sjisFirst", "<body><p>&#63647;</p></body>"},
        {"puaFirst", "<body><p>&#xE63E;</p></body>"},
        // Cut at 16384 pixels, and it says so.
        {"long", "<body><div style=\"height: 20000px\">x</div></body>"},
        {"colours", "<body bgcolor=\"#ff0000\"><p>x</p></body>"},
    };
    std::map<std::string, Picture> drawn;
    for (const auto& [name, body] : bodies) {
        qel::test::WriteFileBytes(path(name + ".html"),
                                  "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                                  "charset=UTF-8\"></head>" +
                                      body + "</html>");
        ASSERT_EQ(Run({"make", path(name + ".html").string(), "-o", name + ".trc"}).exitCode, 0) << name;
        const TorucaRun run = Run({"preview", "--page", name + ".trc", "-o", name + ".png"});
        ASSERT_EQ(run.exitCode, 0) << name << run.err;
        if (name == "long") {
            EXPECT_EQ(run.err.rfind("toruca: warning: long.trc: the page is 200", 0), 0u) << run.err;
            EXPECT_NE(run.err.find(" pixels long; the picture is cut at 16384\n"), std::string::npos) << run.err;
        } else {
            EXPECT_EQ(run.err, "") << name;
        }
        drawn[name] = ReadPicture(path(name + ".png"));
        EXPECT_EQ(drawn[name].width, 240) << name;
    }
    // Kana alone breaks into lines: 80 characters of 12 pixels take four.
    EXPECT_GE(drawn["kana"].height, drawn["short"].height + 3 * 12);
    // A pictogram is a mark, the same whichever way the page writes it.
    EXPECT_GT(drawn["sjis"].ink, 20);
    EXPECT_TRUE(qel::test::ReadFileBytes(path("sjis.png")) == qel::test::ReadFileBytes(path("pua.png")))
        << "&#63879; is not drawn as the pictogram F987";
    EXPECT_TRUE(qel::test::ReadFileBytes(path("sjisFirst.png")) == qel::test::ReadFileBytes(path("puaFirst.png")))
        << "&#63647; is not drawn as the pictogram F89F";
    EXPECT_EQ(drawn["long"].height, 16384);
    EXPECT_EQ(drawn["colours"].corner, 0xFF0000u);

    // Tables in tables cost the layout a multiple of its time for each
    // level: a page nesting them deeper than 8 is refused; elements nested
    // deeper than 512 levels, before the layout starts.
    const auto nested = [](const std::string& open, const std::string& close, int levels) {
        std::string page;
        for (int level = 0; level < levels; ++level) page = open + page + "x" + close;
        return "<html><body>" + page + "</body></html>";
    };
    const std::vector<std::tuple<std::string, std::string, std::string>> deep{
        {"tables8", nested("<table><tr><td>", "</td></tr></table>", 8), ""},
        {"tables9", nested("<table><tr><td>", "</td></tr></table>", 9), "the page nests tables more than 8 deep"},
        {"divs512", nested("<div>", "</div>", 512), ""},
        {"divs513", nested("<div>", "</div>", 513), "the page nests its elements more than 512 levels deep"},
    };
    for (const auto& [name, page, refusal] : deep) {
        qel::test::WriteFileBytes(path(name + ".html"), page);
        ASSERT_EQ(Run({"make", path(name + ".html").string(), "-o", name + ".trc"}).exitCode, 0) << name;
        const TorucaRun run = Run({"preview", "--page", name + ".trc", "-o", name + ".png"});
        if (refusal.empty()) {
            EXPECT_EQ(run.exitCode, 0) << name << run.err;
        } else {
            ExpectFailure(run, name + ".trc: " + refusal);
            EXPECT_FALSE(fs::exists(path(name + ".png")));
        }
    }
}

TEST_F(TorucaTest, HelpAndVersion) {
    // Both programs answer -V and --version alike: "NAME (qeltoruca) VERSION".
    const std::string version = Run({"--version"}).out.substr(std::string("toruca (qeltoruca) ").size());
    for (const char* option : {"-V", "--version"}) {
        EXPECT_EQ(Run({option}).out, std::string("toruca (qeltoruca) ") + version) << option;
        const qel::test::QelhostRun host = qel::test::RunQelhost({option});
        EXPECT_EQ(host.exitCode, 0);
        EXPECT_EQ(host.out, std::string("qelhost (qeltoruca) ") + version) << option;
    }
    // An option toruca does not take is named, before a command or without one.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--bogus"}, {"--bogus", "info", "x.trc"}}) {
        const TorucaRun bogus = Run(args);
        EXPECT_EQ(bogus.exitCode, 2);
        EXPECT_EQ(bogus.err, "toruca: unknown option '--bogus' (see toruca --help)\n");
    }
    // make's --version, the card's version before it was --card-version, is
    // still taken, with a note.
    TorucaRun run = Run({"make", (kShop / "index.html").string(), "--version", "1.0", "-o", "old.trc"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "toruca: note: make --version is now --card-version\n");
    EXPECT_EQ(Info(path("old.trc"))["version"], "1.0");
    for (const char* command : {"make", "info", "check", "convert", "extract", "preview"}) {
        run = Run({command, "--help"});
        EXPECT_EQ(run.exitCode, 0) << command;
        EXPECT_NE(run.out.find("Usage: "), std::string::npos) << command;
        run = Run({"--help"});
        EXPECT_NE(run.out.find(std::string("  ") + command + " "), std::string::npos) << command;
    }
}

// -o names the file: an existing one stays unless --force replaces it;
// "-o -" is standard output. The same for every command that writes.
TEST_F(TorucaTest, OutputGoesWhereOAndForceSay) {
    const fs::path card = MakeShop();
    struct Case {
        std::vector<std::string> command;
        std::string magic;  // what the output starts with
    };
    const std::vector<Case> cases{
        {{"make", (kShop / "index.html").string()}, "ToruCa\r\nVersion: 2.1\r\nType: CARD\r\n"},
        {{"convert", card.string(), "-f", "project"}, "TORUCA_PROJECT_V2\r\n"},
        {{"preview", card.string()}, "\x89PNG\r\n"},
    };
    const auto entries = [&] {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir())) names.insert(entry.path().filename().string());
        return names;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command[0]);
        const auto run = [&](std::vector<std::string> more) {
            std::vector<std::string> args = c.command;
            args.insert(args.end(), more.begin(), more.end());
            return Run(args);
        };
        qel::test::WriteFileBytes(path("taken"), "keep");
        const std::set<std::string> before = entries();
        ExpectFailure(run({"-o", "taken"}), "taken: already exists; --force replaces it");
        EXPECT_EQ(qel::test::ReadFileBytes(path("taken")), "keep");

        // A private file stays private when it is replaced.
        fs::permissions(path("taken"), fs::perms::owner_read | fs::perms::owner_write);
        TorucaRun r = run({"-o", "taken", "--force"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, path("taken").string() + "\n");
        EXPECT_EQ(fs::status(path("taken")).permissions(), fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(qel::test::ReadFileBytes(path("taken")).rfind(c.magic, 0), 0u);
        EXPECT_EQ(entries(), before);  // nothing beside it left behind

        r = run({"-o", "-"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.rfind(c.magic, 0), 0u);
        EXPECT_EQ(entries(), before);
    }
}

// "-" reads the card from standard input, for every command that reads one.
TEST_F(TorucaTest, DashReadsTheCardFromStandardInput) {
    const std::string card = qel::test::ReadFileBytes(MakeShop());
    struct Case {
        std::vector<std::string> args;
        std::string out;  // what standard output starts with
    };
    const std::vector<Case> cases{
        {{"info", "-"}, "-: ToruCa detail file, version 2.1\n  URL: http://www.example.com/toruca/shop_detail.trc\n"},
        {{"check", "-"}, ""},
        {{"convert", "-", "-f", "project", "-o", "-"}, "TORUCA_PROJECT_V2\r\n"},
        {{"preview", "-", "-o", "-"}, "\x89PNG\r\n"},
        {{"extract", "-"}, (dir() / "toruca" / "index.html").string() + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const TorucaRun run = Run(c.args, card);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.rfind(c.out, 0), 0u) << run.out.substr(0, 200);
        if (c.out.empty()) {
            EXPECT_EQ(run.out, "");
        }
    }
    ExpectFailure(Run({"info", "-"}, "no card"), "-: not a ToruCa file");
    EXPECT_EQ(Run({"check", "-", "-"}, card).exitCode, 2);
}

// The table holds the published figures, each with its source.
TEST(HandsetLimits, TableHoldsThePublishedFigures) {
    std::vector<std::pair<std::string, std::uint64_t>> rows;
    for (const qel::toruca::HandsetLimit& row : qel::toruca::Limits()) {
        rows.emplace_back(row.key, row.max);
        EXPECT_GT(std::string(row.source).size(), 10u) << row.key;
    }
    const std::vector<std::pair<std::string, std::uint64_t>> expected{
        {"detail-size", 100000}, {"snippet-size", 1024}, {"url", 127},       {"data1", 40},
        {"data2", 100},          {"data3", 20},          {"text-total", 173}};
    EXPECT_EQ(rows, expected);
}

}  // namespace
