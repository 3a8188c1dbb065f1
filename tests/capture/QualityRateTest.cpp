#include "capture/QualityRateControl.h"

#include <QLabel>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class QualityRate : public ::testing::Test {
protected:
    QualityRate()
    {
        state.quality = 75;
        state.rate = 2;
        time.start(500);
    }
    void hold(const char* name, bool up, int ticks)
    {
        control.press(name, up);
        for (int i = 0; i < ticks; ++i)
            control.tick();
        control.release();
    }

    MainState state;
    QTimer time;
    QTimer sliTimer;
    QLabel lblQuality{"Video Quality"};
    QLabel lblRate{"Frames Rate"};
    QualityRateControl control{state, time, sliTimer, lblQuality, lblRate};
};

TEST_F(QualityRate, OnlyTicksWhileHeldStep)
{
    control.tick(); // before any press
    EXPECT_EQ(lblQuality.text(), "Video Quality");
    control.press("quality", true);
    EXPECT_TRUE(sliTimer.isActive());
    EXPECT_EQ(state.quality, 75);
    control.release();
    EXPECT_FALSE(sliTimer.isActive());
    EXPECT_EQ(state.quality, 75);
}

struct StepCase {
    const char* name;
    int16_t start;
    bool up;
    int ticks;
    int16_t expected;
};

class Stepping : public QualityRate, public ::testing::WithParamInterface<StepCase> {};

TEST_P(Stepping, StopsAtTheLimitsAndKeepsRemainders)
{
    const StepCase& c = GetParam();
    int16_t& field = QString(c.name) == "quality" ? state.quality : state.rate;
    field = c.start;
    hold(c.name, c.up, c.ticks);
    EXPECT_EQ(field, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Limits, Stepping,
    ::testing::Values(StepCase{"quality", 75, true, 10, 90}, StepCase{"quality", 75, false, 20, 10},
                      StepCase{"quality", 88, true, 3, 93}, StepCase{"quality", 13, false, 3, 8},
                      StepCase{"quality", 200, true, 1, 200}, StepCase{"rate", 1, true, 4, 5},
                      StepCase{"rate", 1, true, 9, 5}, StepCase{"rate", 5, false, 9, 1},
                      StepCase{"rate", 7, true, 2, 7}, StepCase{"rate", 7, false, 1, 6}));

TEST_F(QualityRate, EveryStepRewritesCaptionAndTimer)
{
    state.rate = 5;
    hold("rate", true, 1);  // held at the limit
    EXPECT_EQ(lblRate.text(), "Frames Rate 5/s");
    EXPECT_EQ(time.interval(), 200);
    EXPECT_TRUE(time.isActive());

    hold("rate", false, 2);
    EXPECT_EQ(lblRate.text(), "Frames Rate 3/s");
    EXPECT_EQ(time.interval(), 333);

    hold("quality", false, 1);
    EXPECT_EQ(lblQuality.text(), "Video Quality 70%");
}

}  // namespace
