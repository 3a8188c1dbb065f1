#include "core/StartValues.h"

#include <gtest/gtest.h>

namespace {

TEST(SnapshotInterval, RoundsHalvesToEven)
{
    const std::pair<int16_t, int> cases[] = {{1, 1000}, {2, 500}, {3, 333}, {4, 250}, {5, 200},
                                             {6, 167}, {7, 143}, {16, 62}, {80, 12}, {400, 2}};
    for (auto [rate, interval] : cases)
        EXPECT_EQ(snapshotInterval(rate), interval) << "rate " << rate;
}

TEST(ClockPort, TakesTheFirstThreeCharactersOfTheClock)
{
    const std::pair<float, int16_t> cases[] = {
        {49510.0f, 8495}, {100.0f, 8100}, {5.25f, 8005}, {86399.5f, 8863}, {0.0f, 8000},
        {0.5f, 8000},     {1.5f, 8002},   {9.99f, 8010}, {12.75f, 8012},  {999.0f, 8999},
        {1e-5f, 8001},
    };
    for (auto [clock, port] : cases)
        EXPECT_EQ(clockPort(clock), port) << "clock " << clock;
}

TEST(UsableSettings, ZeroOrNegativeFallsBackOtherwiseKept)
{
    EXPECT_EQ(usableQuality(0), 75);
    EXPECT_EQ(usableQuality(-3), 75);
    EXPECT_EQ(usableQuality(88), 88);
    EXPECT_EQ(usableQuality(200), 200);
    EXPECT_EQ(usableRate(0), 2);
    EXPECT_EQ(usableRate(7), 7);
}

}  // namespace
