#include "FakeVideoDeviceFixture.h"

#include <numeric>

namespace {

const QString kNoFrame = QStringLiteral("No frame from video device");

int totalWaitMs(const QList<int>& waits)
{
    return std::accumulate(waits.begin(), waits.end(), 0);
}

TEST_F(V4l2CameraTest, StillUsesAFreshFrameWithoutWaiting)
{
    ASSERT_TRUE(openSource());
    ASSERT_TRUE(deliver({3}));
    fake.advance(900);
    QString error;
    const QImage still = source->grabStill(&error);
    EXPECT_TRUE(showsFrame(still, 3, cameraSize()));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_TRUE(fake.waits.isEmpty());
}

TEST_F(V4l2CameraTest, StillWaitsForANewFrameWhenTheLastIsStale)
{
    ASSERT_TRUE(openSource());
    ASSERT_TRUE(deliver({3}));
    fake.advance(1500);
    fake.frameDuringWait(fake.frame(9));
    QString error;
    const QImage still = source->grabStill(&error);
    EXPECT_TRUE(showsFrame(still, 9, cameraSize()));
    EXPECT_TRUE(error.isEmpty());
    ASSERT_EQ(fake.waits.size(), 1);
    EXPECT_LE(fake.waits.first(), 1000);
    EXPECT_EQ(framesReady, 2);
}

TEST_F(V4l2CameraTest, StillTakesAFrameAlreadyWaitingOnTheDevice)
{
    ASSERT_TRUE(openSource());
    // Queued but not yet seen by the event loop.
    fake.push(fake.frame(5));
    QString error;
    EXPECT_TRUE(showsFrame(source->grabStill(&error), 5, cameraSize()));
}

TEST_F(V4l2CameraTest, StillFailsWithinASecondWhenNoFrameComes)
{
    ASSERT_TRUE(openSource());
    QString error;
    EXPECT_TRUE(source->grabStill(&error).isNull());
    EXPECT_EQ(error, kNoFrame);
    EXPECT_FALSE(fake.waits.isEmpty());
    EXPECT_LE(totalWaitMs(fake.waits), 1000);
    EXPECT_TRUE(source->isOpen());
}

TEST_F(V4l2CameraTest, StillFailsWhenTheOnlyFrameIsStale)
{
    ASSERT_TRUE(openSource());
    ASSERT_TRUE(deliver({3}));
    fake.advance(5000);
    QString error;
    EXPECT_TRUE(source->grabStill(&error).isNull());
    EXPECT_EQ(error, kNoFrame);
}

TEST_F(V4l2CameraTest, StillGivesUpOnADeviceThatWakesWithoutFrames)
{
    ASSERT_TRUE(openSource());
    fake.alwaysReady = true;  // the clock never moves: only the wake-up bound ends the wait
    QString error;
    EXPECT_TRUE(source->grabStill(&error).isNull());
    EXPECT_EQ(error, kNoFrame);
    EXPECT_GE(fake.waits.size(), 1);
    EXPECT_LE(fake.waits.size(), 20);
}

TEST_F(V4l2CameraTest, StillAcceptsANullErrorPointer)
{
    ASSERT_TRUE(openSource());
    EXPECT_TRUE(source->grabStill(nullptr).isNull());
}

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
