#include "FakeVideoDeviceFixture.h"

namespace {

// The rate asked at each open: the fastest offered up to 30 a second, the
// slowest above it when nothing slower is offered, 30 when the driver lists
// nothing, none when the device has no rate.
struct FrameRateCase {
    const char* name;
    QList<v4l2_fract> discrete;
    v4l2_fract rangeMin;  // fastest interval of a continuous range
    v4l2_fract rangeMax;
    bool timePerFrame;
    double expectedRate;
};

void PrintTo(const FrameRateCase& row, std::ostream* out)
{
    *out << row.name;
}

class V4l2FrameRateTest : public V4l2CameraTest, public ::testing::WithParamInterface<FrameRateCase> {};

TEST_P(V4l2FrameRateTest, AsksForTheHighestRateUpToThirty)
{
    const FrameRateCase& row = GetParam();
    FakeCamera& camera = fake.camera();
    camera.intervals = row.discrete;
    camera.intervalMin = row.rangeMin;
    camera.intervalMax = row.rangeMax;
    camera.timePerFrame = row.timePerFrame;
    camera.interval = {1, 2};  // what an earlier program left behind
    ASSERT_TRUE(openSource());
    EXPECT_NEAR(source->frameRate(), row.expectedRate, 0.001);
    ASSERT_TRUE(deliver({1}));
}

const v4l2_fract kNone{0, 0};

INSTANTIATE_TEST_SUITE_P(
    Rates, V4l2FrameRateTest,
    ::testing::Values(
        FrameRateCase{"BelowThirtyTakesTheFastest", {{1, 1}, {1, 5}, {1, 25}, {2, 25}}, kNone, kNone, true, 25},
        FrameRateCase{"ThirtyAmongFasterOnes", {{1, 60}, {1, 30}, {1, 15}, {1, 50}}, kNone, kNone, true, 30},
        FrameRateCase{"NtscThirty", {{1001, 30000}, {1, 15}}, kNone, kNone, true, 30000.0 / 1001},
        FrameRateCase{"OnlyFasterTakesTheSlowest", {{1, 90}, {1, 60}}, kNone, kNone, true, 60},
        FrameRateCase{"RangeAroundThirty", {}, {1, 120}, {1, 1}, true, 30},
        FrameRateCase{"RangeUpToFifteen", {}, {1, 15}, {1, 1}, true, 15},
        FrameRateCase{"RangeFromSixty", {}, {1, 120}, {1, 60}, true, 60},
        FrameRateCase{"NothingListed", {}, kNone, kNone, true, 30},
        FrameRateCase{"NoRateToSet", {{1, 30}}, kNone, kNone, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(V4l2CameraTest, FrameRateIsAskedAgainAtTheNewSize)
{
    fake.camera().intervals = {{1, 5}, {1, 30}};
    ASSERT_TRUE(openSource());
    fake.camera().interval = {1, 5};
    ASSERT_TRUE(source->setFrameSize(QSize(320, 240)));
    EXPECT_EQ(fake.camera().interval.denominator, 30u);
    EXPECT_NEAR(source->frameRate(), 30, 0.001);
}

} // namespace
