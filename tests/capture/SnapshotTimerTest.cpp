#include "capture/SnapshotTimer.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct TimerCase {
    int16_t rate;
    int interval;
    bool running;
};

class SnapshotTimer : public ::testing::TestWithParam<TimerCase> {};

// A zero interval would make the timer fire on every pass of the event loop:
// the timer runs only while its interval is above 0, whether it ran before or not.
TEST_P(SnapshotTimer, RunsOnlyWithANonZeroInterval)
{
    for (const bool runningBefore : {false, true}) {
        QTimer time;
        if (runningBefore)
            time.start(500);
        setSnapshotTimer(time, GetParam().rate);
        EXPECT_EQ(time.interval(), GetParam().interval);
        EXPECT_EQ(time.isActive(), GetParam().running) << "running before: " << runningBefore;
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, SnapshotTimer,
                         ::testing::Values(TimerCase{1, 1000, true}, TimerCase{3, 333, true},
                                           TimerCase{1999, 1, true}, TimerCase{2000, 0, false},
                                           TimerCase{32767, 0, false}));

} // namespace
