#include "FakeVideoDeviceFixture.h"

#include <chrono>
#include <thread>

namespace {

const QString kNoFrame = QStringLiteral("No frame from video device");

// When a still may wait for the camera: only the source's first still, for
// the first frame, until 3 s after the open; otherwise the newest frame
// that arrived in the last 2 s, or failure at once. The camera sends seed 9
// a while after the still begins: a still that waits gets it.
struct StillTimingCase {
    const char* name;
    bool frameBefore;   // a frame (seed 3) arrived right after the open
    qint64 elapsedMs;   // time between that and the still
    bool earlierStill;  // a still was asked before
    int laterFrameMs;   // when seed 9 comes, after the still begins
    int expectedSeed;   // -1: the still fails
};

void PrintTo(const StillTimingCase& row, std::ostream* out)
{
    *out << row.name;
}

class V4l2StillTimingTest : public V4l2CameraTest, public ::testing::WithParamInterface<StillTimingCase> {};

TEST_P(V4l2StillTimingTest, TakesTheNewestFrameAndWaitsOnlyForTheFirst)
{
    const StillTimingCase& row = GetParam();
    ASSERT_TRUE(openSource());
    if (row.frameBefore) {
        ASSERT_TRUE(deliver({3}));
    }
    fake.advance(row.elapsedMs);
    if (row.earlierStill)
        source->grabStill(nullptr);

    std::thread camera([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(row.laterFrameMs));
        fake.push(fake.frame(9));
    });
    QString error;
    const QImage still = source->grabStill(&error);
    camera.join();
    if (row.expectedSeed < 0) {
        EXPECT_TRUE(still.isNull());
        EXPECT_EQ(error, kNoFrame);
        EXPECT_TRUE(source->isOpen());
    } else {
        EXPECT_TRUE(showsFrame(still, static_cast<unsigned char>(row.expectedSeed), cameraSize()));
        EXPECT_TRUE(error.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stills, V4l2StillTimingTest,
    ::testing::Values(StillTimingCase{"FreshFrameAtOnce", true, 1900, false, 100, 3},
                      StillTimingCase{"FrameOlderThanTwoSecondsFails", true, 2100, false, 100, -1},
                      StillTimingCase{"FirstStillWaitsForTheFirstFrame", false, 0, false, 100, 9},
                      StillTimingCase{"FirstStillWaitsOnlyWhatIsLeftOfThreeSeconds", false, 2900, false, 600, -1},
                      StillTimingCase{"FirstStillThreeSecondsAfterOpenFails", false, 3000, false, 100, -1},
                      StillTimingCase{"LaterStillNeverWaits", false, 2700, true, 100, -1},
                      StillTimingCase{"CameraThatStoppedFailsAtOnce", true, 5000, true, 100, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(V4l2CameraTest, StillAcceptsANullErrorPointer)
{
    ASSERT_TRUE(openSource());
    EXPECT_TRUE(source->grabStill(nullptr).isNull());
}

// The frame is made into a picture later, on another thread: by then the
// source may be gone, and the still holds all it needs.
TEST_F(V4l2CameraTest, StillIsDevelopedAfterItsSourceHasGone)
{
    ASSERT_TRUE(openSource());
    ASSERT_TRUE(deliver({5}));
    const PendingStill still = source->takeStill(nullptr);
    ASSERT_FALSE(still.isNull());
    source.reset();
    EXPECT_TRUE(showsFrame(still.develop(nullptr), 5, cameraSize()));
}

// Devices that cannot be opened, and the reason a still gives for each.
struct OpenFailureCase {
    const char* name;
    bool present;
    int openError;
    quint32 deviceCaps;
    quint32 pixelFormat;
    int sfmtError;
    const char* reason;
};

void PrintTo(const OpenFailureCase& row, std::ostream* out)
{
    *out << row.name;
}

class V4l2OpenFailureTest : public V4l2CameraTest, public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(V4l2OpenFailureTest, OpenFailsAndStillsGiveTheReason)
{
    const OpenFailureCase& row = GetParam();
    FakeCamera& camera = fake.camera();
    camera.present = row.present;
    camera.openError = row.openError;
    camera.deviceCaps = row.deviceCaps;
    camera.pixelFormat = row.pixelFormat;
    camera.sfmtError = row.sfmtError;
    makeSource();
    EXPECT_FALSE(source->open());
    EXPECT_FALSE(source->isOpen());
    EXPECT_EQ(source->errorString(), QString::fromLatin1(row.reason));
    QString error;
    EXPECT_TRUE(source->grabStill(&error).isNull());
    EXPECT_EQ(error, QString::fromLatin1(row.reason));
    EXPECT_TRUE(source->controls().isEmpty());
}

constexpr quint32 kStreams = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;

INSTANTIATE_TEST_SUITE_P(
    Devices, V4l2OpenFailureTest,
    ::testing::Values(
        OpenFailureCase{"Absent", false, 0, kStreams, V4L2_PIX_FMT_BGR24, 0, "No video device"},
        OpenFailureCase{"Busy", true, -EBUSY, kStreams, V4L2_PIX_FMT_BGR24, 0, "Video device busy"},
        // Another program streams: the open works, setting the format does not.
        OpenFailureCase{"FormatHeldByAnotherProgram", true, 0, kStreams, V4L2_PIX_FMT_BGR24, -EBUSY,
                        "Video device busy"},
        OpenFailureCase{"NoPermission", true, -EACCES, kStreams, V4L2_PIX_FMT_BGR24, 0, "No access to video device"},
        OpenFailureCase{"MetadataNode", true, 0, V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING, V4L2_PIX_FMT_BGR24, 0,
                        "Not a video capture device"},
        OpenFailureCase{"CaptureWithoutIo", true, 0, V4L2_CAP_VIDEO_CAPTURE, V4L2_PIX_FMT_BGR24, 0,
                        "Not a video capture device"},
        OpenFailureCase{"NoBgr24", true, 0, kStreams, V4L2_PIX_FMT_YUYV, 0, "Video format not supported"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(V4l2CameraTest, StillFromAClosedSourceFails)
{
    ASSERT_TRUE(openSource());
    ASSERT_TRUE(deliver({1}));
    source->close();
    source->close();
    QString error;
    EXPECT_TRUE(source->grabStill(&error).isNull());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(fake.openFiles(), 0);
}

} // namespace
