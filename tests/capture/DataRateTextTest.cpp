#include "capture/DataRateText.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct RateCase {
    int64_t bytes;
    int16_t rate;
    const char* expected; // nullptr: the product overflows, nothing to show
};

class DataRateTextCases : public ::testing::TestWithParam<RateCase> {};

TEST_P(DataRateTextCases, FormatsLikeTheStatusBar)
{
    const RateCase c = GetParam();
    const std::optional<QString> text = dataRateText(c.bytes, c.rate, QLocale::c());
    if (!c.expected) {
        EXPECT_FALSE(text.has_value()) << text.value_or(QString()).toStdString();
        return;
    }
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->toStdString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DataRateTextCases,
    ::testing::Values(RateCase{15000, 2, "29.3KB/s"}, RateCase{20480, 5, "100KB/s"}, RateCase{1024, 1, "1KB/s"},
                      RateCase{1000, 3, "2.93KB/s"}, RateCase{0, 5, "0KB/s"}, RateCase{1, 1, "0KB/s"},
                      // 0.125 and 0.375 exactly: halves go to the even neighbour
                      RateCase{128, 1, "0.12KB/s"}, RateCase{384, 1, "0.38KB/s"},
                      RateCase{5, 1, "0KB/s"}, RateCase{6, 1, "0.01KB/s"},
                      RateCase{std::numeric_limits<int32_t>::max(), 1, "2097152KB/s"},
                      RateCase{1073741824, 1, "1048576KB/s"},
                      // the 32-bit product overflows: the label keeps its text
                      RateCase{1073741824, 2, nullptr}, RateCase{500000000, 5, nullptr},
                      RateCase{int64_t(std::numeric_limits<int32_t>::max()) + 1, 1, nullptr}));

TEST(DataRateText, UsesTheLocaleDecimalSeparator)
{
    EXPECT_EQ(dataRateText(15000, 2, QLocale(QLocale::German))->toStdString(), "29,3KB/s");
    EXPECT_EQ(dataRateText(1000, 3, QLocale(QLocale::French))->toStdString(), "2,93KB/s");
    EXPECT_EQ(dataRateText(20480, 5, QLocale(QLocale::German))->toStdString(), "100KB/s");
}

} // namespace
