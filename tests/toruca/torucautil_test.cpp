// Labels of Color-ID and Dist, and date stamps in several time zones.
#include "toruca/torucautil.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

TEST(TorucaUtilLabels, ColorLabelsEndAfterTen) {
    CQelTorucaUtil util;
    const char16_t* expected[] = {u"赤", u"橙", u"黄", u"緑", u"水", u"青", u"紫", u"桃", u"茶", u"黒"};
    unsigned count = 0;
    while (!util.GetColorLabel(count).empty()) {
        ASSERT_LT(count, 10u);
        EXPECT_EQ(util.GetColorLabel(count), expected[count]);
        ++count;
    }
    EXPECT_EQ(count, 10u);
    EXPECT_EQ(util.GetColorLabel(UINT32_MAX), u"");
}

TEST(TorucaUtilLabels, DistLabelsAreOneToFour) {
    CQelTorucaUtil util;
    EXPECT_EQ(util.GetDistLabel(0), u"");
    EXPECT_EQ(util.GetDistLabel(1), u"再配布不可かつ更新不可");
    EXPECT_EQ(util.GetDistLabel(2), u"再配布不可かつ更新可");
    EXPECT_EQ(util.GetDistLabel(3), u"再配布可かつ更新不可");
    EXPECT_EQ(util.GetDistLabel(4), u"再配布可かつ更新可");
    EXPECT_EQ(util.GetDistLabel(5), u"");
    EXPECT_EQ(util.GetDistLabel(UINT32_MAX), u"");
}

// Runs each test in a chosen time zone and restores the process's zone.
class TorucaUtilDateStamp : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) {
            m_hadTz = true;
            m_savedTz = tz;
        }
    }
    void TearDown() override {
        if (m_hadTz) ::setenv("TZ", m_savedTz.c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }
    std::u16string StampIn(const char* zone, std::int64_t time) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        return CQelTorucaUtil().GetDateStamp(time);
    }

private:
    bool m_hadTz = false;
    std::string m_savedTz;
};

constexpr std::int64_t k20080807T100430Z = 1218103470;  // 19:04:30 in Tokyo

TEST_F(TorucaUtilDateStamp, LocalTimeWithoutSeconds) {
    EXPECT_EQ(StampIn("Asia/Tokyo", k20080807T100430Z), u"0808071904");
    EXPECT_EQ(StampIn("JST-9", k20080807T100430Z), u"0808071904");
    EXPECT_EQ(StampIn("UTC0", k20080807T100430Z), u"0808071004");
    EXPECT_EQ(StampIn("UTC0", 0), u"7001010000");
}

TEST_F(TorucaUtilDateStamp, DaylightSavingIsApplied) {
    constexpr std::int64_t summer = 1218128670;  // 2008-08-07 17:04:30 UTC
    constexpr std::int64_t winter = 1199729070;  // 2008-01-07 18:04:30 UTC
    for (const char* zone : {"Europe/Berlin", "CET-1CEST,M3.5.0,M10.5.0/3"}) {
        SCOPED_TRACE(zone);
        EXPECT_EQ(StampIn(zone, summer), u"0808071904");  // UTC+2
        EXPECT_EQ(StampIn(zone, winter), u"0801071904");  // UTC+1
    }
}

TEST_F(TorucaUtilDateStamp, YearIsTakenModuloHundred) {
    constexpr std::int64_t march2100 = 4107585600;  // 2100-03-01 12:00:00 UTC
    EXPECT_EQ(StampIn("UTC0", march2100), u"0003011200");
    EXPECT_EQ(StampIn("JST-9", march2100), u"0003012100");
}

TEST_F(TorucaUtilDateStamp, TimeTheConversionRejectsGivesEmptyStamp) {
    EXPECT_EQ(StampIn("UTC0", INT64_MAX), u"");
    EXPECT_EQ(StampIn("UTC0", INT64_MIN), u"");
}

}  // namespace
