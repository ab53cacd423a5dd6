// The programs' own messages follow the user's language: English without
// one (or under C), Japanese under a Japanese locale, from the catalogue the
// build made beside them. The Japanese locale is made for the test in a
// folder of its own (LOCPATH), as few machines have it generated.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/apps/toruca/toruca_run.h"
#include "tests/support/qelhost_run.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

class ProgramMessages : public qel::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        const std::string command =
            "localedef -i ja_JP -f UTF-8 '" + path("locales/ja_JP.UTF-8").string() + "' > /dev/null 2>&1";
        fs::create_directories(path("locales"));
        if (std::system(command.c_str()) != 0 || !fs::exists(path("locales/ja_JP.UTF-8")))
            GTEST_SKIP() << "localedef cannot make the ja_JP.UTF-8 locale";
    }

    std::vector<std::pair<std::string, std::string>> Language(const std::string& locale) const {
        return {{"LC_ALL", locale}, {"LOCPATH", path("locales").string()}};
    }
};

// One message of each program in each language: the usage error of an
// unknown option, and toruca's refusal of a URL, which under C used to be
// the settings dialog's Japanese text.
TEST_F(ProgramMessages, EnglishByDefaultJapaneseUnderAJapaneseLocale) {
    struct Case {
        std::string locale;
        std::string torucaOption, torucaUrl, qelhostOption;
    };
    const std::vector<Case> cases{
        {"C", "toruca: unknown option '--bogus' (see toruca --help)\n",
         "toruca: --url ftp://x/: a URL is half-width letters, digits and symbols starting with http://\n",
         "qelhost: unknown option --bogus (see qelhost --help)"},
        {"ja_JP.UTF-8", "toruca: 不明なオプション '--bogus' (toruca --help を参照してください)\n",
         "toruca: --url ftp://x/: URLは「http://」で始まる半角英数字記号です。\n",
         "qelhost: 不明なオプション --bogus (qelhost --help を参照してください)"},
    };
    const std::string page = (fs::path(QEL_SOURCE_DIR) / "examples" / "shop" / "index.html").string();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        EXPECT_EQ(qel::test::RunToruca(dir(), {"--bogus"}, {}, Language(c.locale)).err, c.torucaOption);
        EXPECT_EQ(qel::test::RunToruca(dir(), {"make", page, "--url", "ftp://x/"}, {}, Language(c.locale)).err,
                  c.torucaUrl);
        qel::test::QelhostOptions options;
        options.env = Language(c.locale);
        const qel::test::QelhostRun run = qel::test::RunQelhost({"--bogus", page}, options);
        EXPECT_EQ(run.errLines, std::vector<std::string>{c.qelhostOption});
    }
}

}  // namespace
