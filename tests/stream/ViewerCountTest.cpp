#include "http/stream/ViewerCount.h"

#include <gtest/gtest.h>

TEST(ViewerCountTest, CountsDistinctAddressesInTheWindow)
{
    ViewerCount count(10000);
    const struct {
        const char* address; // empty: only look
        int64_t atMs;
        int expected;
    } steps[] = {
        {"10.0.0.1", 0, 1},
        {"10.0.0.1", 500, 1},     // the same viewer again
        {"10.0.0.2", 4000, 2},
        {"", 10499, 2},           // 10.0.0.1 last seen at 500
        {"", 10500, 1},           // ... and now ten seconds ago
        {"", 14000, 0},
        {"10.0.0.2", 14001, 1},   // back after leaving
    };
    for (const auto& step : steps) {
        if (*step.address)
            count.record(QString::fromLatin1(step.address), step.atMs);
        EXPECT_EQ(count.recent(step.atMs), step.expected) << step.address << " at " << step.atMs;
    }
}

TEST(ViewerCountTest, AFloodOfAddressesIsCapped)
{
    ViewerCount count(10000, 100);
    for (int i = 0; i < 1000; ++i)
        count.record(QStringLiteral("10.1.%1.%2").arg(i / 256).arg(i % 256), i);
    EXPECT_EQ(count.recent(1000), 100);
    // Once the old ones expire, new viewers are counted again.
    count.record(QStringLiteral("192.168.1.1"), 20000);
    EXPECT_EQ(count.recent(20000), 1);
}
