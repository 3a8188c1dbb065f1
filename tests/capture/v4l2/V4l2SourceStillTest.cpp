#include "FakeVideoDeviceFixture.h"

#include <numeric>

namespace {

const QString kNoFrame = QStringLiteral("No frame from video device");

// What the camera did before the still is asked for, and what the still is.
struct StillCase {
    const char* name;
    bool delivered;        // frame 3 was seen by the event loop
    qint64 ageMs;          // time since then
    int queuedUnseen;      // seed of a frame waiting on the device, or -1
    int arrivesDuringWait; // seed of a frame the camera sends while waited for, or -1
    bool alwaysReady;      // every wait says "ready" though nothing comes (the clock stands still)
    int expected;          // seed of the still, or -1: no still
    int maxWaits;
};

void PrintTo(const StillCase& row, std::ostream* out)
{
    *out << row.name;
}

class V4l2StillTest : public V4l2CameraTest, public ::testing::WithParamInterface<StillCase> {};

TEST_P(V4l2StillTest, TakesAFreshFrameOrWaitsAtMostASecond)
{
    const StillCase& row = GetParam();
    ASSERT_TRUE(openSource());
    if (row.delivered) {
        ASSERT_TRUE(deliver({3}));
    }
    fake.advance(row.ageMs);
    if (row.queuedUnseen >= 0)
        fake.push(fake.frame(uchar(row.queuedUnseen)));
    if (row.arrivesDuringWait >= 0)
        fake.frameDuringWait(fake.frame(uchar(row.arrivesDuringWait)));
    fake.alwaysReady = row.alwaysReady;

    QString error;
    const QImage still = source->grabStill(&error);
    EXPECT_LE(fake.waits.size(), row.maxWaits);
    if (!row.alwaysReady) {
        EXPECT_LE(std::accumulate(fake.waits.begin(), fake.waits.end(), 0), 1000);
    }
    if (row.expected >= 0) {
        EXPECT_TRUE(showsFrame(still, uchar(row.expected), cameraSize()));
        EXPECT_TRUE(error.isEmpty());
        if (row.arrivesDuringWait >= 0) {
            EXPECT_EQ(framesReady, 2) << "the frame waited for is shown live too";
        }
    } else {
        EXPECT_TRUE(still.isNull());
        EXPECT_EQ(error, kNoFrame);
        EXPECT_TRUE(source->isOpen());
        EXPECT_TRUE(source->grabStill(nullptr).isNull());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cameras, V4l2StillTest,
    ::testing::Values(StillCase{"FreshFrameWithoutWaiting", true, 900, -1, -1, false, 3, 0},
                      StillCase{"StaleFrameWaitsForANewOne", true, 1500, -1, 9, false, 9, 1},
                      StillCase{"FrameAlreadyWaitingOnTheDevice", false, 0, 5, -1, false, 5, 20},
                      StillCase{"NoFrameComes", false, 0, -1, -1, false, -1, 20},
                      StillCase{"OnlyFrameIsStale", true, 5000, -1, -1, false, -1, 20},
                      StillCase{"DeviceWakesWithoutFrames", false, 0, -1, -1, true, -1, 20}),
    [](const auto& info) { return std::string(info.param.name); });

// Devices that cannot be opened, and the reason a still gives for each.
struct OpenFailureCase {
    const char* name;
    bool present;
    int openError;
    quint32 deviceCaps;
    quint32 pixelFormat;
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
        OpenFailureCase{"Absent", false, 0, kStreams, V4L2_PIX_FMT_BGR24, "No video device"},
        OpenFailureCase{"Busy", true, -EBUSY, kStreams, V4L2_PIX_FMT_BGR24, "Video device busy"},
        OpenFailureCase{"NoPermission", true, -EACCES, kStreams, V4L2_PIX_FMT_BGR24, "No access to video device"},
        OpenFailureCase{"MetadataNode", true, 0, V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING, V4L2_PIX_FMT_BGR24,
                        "Not a video capture device"},
        OpenFailureCase{"CaptureWithoutIo", true, 0, V4L2_CAP_VIDEO_CAPTURE, V4L2_PIX_FMT_BGR24,
                        "Not a video capture device"},
        OpenFailureCase{"NoBgr24", true, 0, kStreams, V4L2_PIX_FMT_YUYV, "Video format not supported"}),
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
