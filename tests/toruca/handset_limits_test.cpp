// The measure qelhost takes of a written card from its header lines.
#include "toruca/limits/handset_limits.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

using qel::format::CardForm;
using qel::toruca::CardMeasure;
using qel::toruca::MeasureFile;

class HandsetLimitsMeasure : public qel::test::TempDirTest {
protected:
    CardMeasure Measure(const std::string& bytes) {
        qel::test::WriteFileBytes(path("card.trc"), bytes);
        CardMeasure card;
        card.url = 999;  // whatever the caller held is replaced
        EXPECT_TRUE(MeasureFile(path("card.trc").string(), card));
        return card;
    }
};

// As the reader takes it: a Type line wins over the first line, keys and
// values in any case, and the headers of the MIME body are none of the card's.
TEST_F(HandsetLimitsMeasure, TheTypeLineDecidesTheForm) {
    const struct {
        const char* header;
        const CardForm* form;
    } cases[] = {
        {"TORUCA_PROJECT_V2\r\nVersion: 2.1\r\n", &qel::format::kProjectForm},
        {"toruca_project_v2\r\nType: SNIP\r\n", &qel::format::kSnippetForm},
        {"ToruCa\r\ntype:  card \r\n", &qel::format::kDetailForm},
        {"ToruCa\r\nType: OTHER\r\n", nullptr},
        {"Type: SNIP\nVersion: 2.1\n", nullptr},  // the first line is no header line
        {"ToruCa\r\n\r\n--b\r\nType: SNIP\r\n", nullptr},
    };
    for (const auto& c : cases) EXPECT_EQ(Measure(c.header).form, c.form) << c.header;
}

TEST_F(HandsetLimitsMeasure, TextsCountTheirBytesAndTheFileItsSize) {
    const std::string card =
        "ToruCa\r\n"
        "URL: http://a/b \r\n"
        "DATA1: QUJD\r\n"
        "Data2: QUI=\r\n"
        "\r\n"
        "--b\r\n"
        "Data3: QUJDRA==\r\n";
    const CardMeasure m = Measure(card);
    EXPECT_EQ(m.url, 10u);
    EXPECT_EQ(m.data1, 3u);
    EXPECT_EQ(m.data2, 2u);
    EXPECT_EQ(m.data3, 0u);
    EXPECT_EQ(m.fileBytes, card.size());
}

TEST_F(HandsetLimitsMeasure, AMissingFileIsNoMeasure) {
    CardMeasure card;
    EXPECT_FALSE(MeasureFile(path("gone.trc").string(), card));
}

}  // namespace
