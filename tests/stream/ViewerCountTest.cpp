#include "http/stream/ViewerCount.h"

#include <gtest/gtest.h>

TEST(ViewerCountTest, CountsDistinctAddressesInTheWindow)
{
    ViewerCount count(10000);
    const struct {
        uint32_t address; // 0: only look, as an unknown address is never counted
        int64_t atMs;
        int expected;
    } steps[] = {
        {0x0a000001, 0, 1},
        {0x0a000001, 500, 1},     // the same viewer again
        {0x0a000002, 4000, 2},
        {0, 10499, 2},            // the first last seen at 500
        {0, 10500, 1},            // ... and now ten seconds ago
        {0, 14000, 0},
        {0x0a000002, 14001, 1},   // back after leaving
    };
    for (const auto& step : steps) {
        count.record(step.address, step.atMs);
        EXPECT_EQ(count.recent(step.atMs), step.expected) << step.address << " at " << step.atMs;
    }
}

TEST(ViewerCountTest, AFloodOfAddressesIsCapped)
{
    ViewerCount count(10000, 100);
    for (int i = 0; i < 1000; ++i)
        count.record(0x0a010000 + uint32_t(i), i);
    EXPECT_EQ(count.recent(1000), 100);
    // Once the old ones expire, new viewers are counted again.
    count.record(0xc0a80101, 20000);
    EXPECT_EQ(count.recent(20000), 1);
}
