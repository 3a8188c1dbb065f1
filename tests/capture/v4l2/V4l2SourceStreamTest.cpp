#include "FakeVideoDeviceFixture.h"

#include <QTimer>

#include <chrono>

namespace {

enum class Io { Mmap, Read };

class V4l2StreamTest : public V4l2CameraTest, public ::testing::WithParamInterface<Io> {
protected:
    void SetUp() override
    {
        useReadOnly(GetParam() == Io::Read);
        ASSERT_TRUE(openSource());
    }
    // Every buffer back with the driver, as after each wake-up.
    void expectAllBuffersQueued()
    {
        if (GetParam() == Io::Mmap) {
            EXPECT_EQ(fake.queuedBuffers(), 4);
        }
    }
};

TEST_P(V4l2StreamTest, DeliversFramesFromTheCaptureThread)
{
    EXPECT_EQ(source->usesMmap(), GetParam() == Io::Mmap);
    EXPECT_EQ(fake.streaming(), GetParam() == Io::Mmap);
    ASSERT_TRUE(deliver({1}));
    EXPECT_TRUE(showsFrame(source->latestFrame(), 1, cameraSize()));
    ASSERT_TRUE(deliver({2}));
    EXPECT_TRUE(showsFrame(source->latestFrame(), 2, cameraSize()));
    EXPECT_EQ(framesReady, 2);
    expectAllBuffersQueued();
    EXPECT_EQ(fake.emptyDequeues, 0);
}

TEST_P(V4l2StreamTest, KeepsOnlyTheNewestOfSeveralWaitingFrames)
{
    // More frames than buffers, so buffers must cycle back while draining.
    ASSERT_TRUE(deliver({1, 2, 3, 4, 5, 6}));
    pumpUntil([] { return false; }, 5);
    EXPECT_EQ(framesReady, 1);
    EXPECT_EQ(source->frames().sequence(), 1u);
    EXPECT_TRUE(showsFrame(source->latestFrame(), 6, cameraSize()));
    EXPECT_EQ(fake.pendingFrames(), 0);
    expectAllBuffersQueued();
}

TEST_P(V4l2StreamTest, FramesBeforeTheEventLoopRunsAreAnnouncedOnce)
{
    for (unsigned char seed = 1; seed <= 3; ++seed) {
        fake.push(fake.frame(seed));
        ASSERT_TRUE(captureUntil([&] { return source->frames().sequence() == seed; }));
    }
    EXPECT_EQ(framesReady, 0);
    ASSERT_TRUE(pumpUntil([&] { return framesReady > 0; }));
    pumpUntil([] { return false; }, 5);
    EXPECT_EQ(framesReady, 1);
    EXPECT_TRUE(showsFrame(source->latestFrame(), 3, cameraSize()));
}

TEST_P(V4l2StreamTest, WakeUpWithoutFrameKeepsStreaming)
{
    // The capture thread waits for the first frame.
    ASSERT_TRUE(captureUntil([&] { return fake.waitCalls > 0; }));
    const int before = fake.waitCalls;
    fake.wake();
    // Woken, found nothing, and waiting again.
    ASSERT_TRUE(pumpUntil([&] { return fake.waitCalls > before + 1; }));
    EXPECT_TRUE(source->isOpen());
    EXPECT_EQ(framesReady, 0);
    EXPECT_TRUE(source->latestFrame().isNull());
    ASSERT_TRUE(deliver({7}));
    EXPECT_TRUE(showsFrame(source->latestFrame(), 7, cameraSize()));
}

INSTANTIATE_TEST_SUITE_P(Io, V4l2StreamTest, ::testing::Values(Io::Mmap, Io::Read),
                         [](const auto& info) { return info.param == Io::Mmap ? "Mmap" : "Read"; });

// A bad frame: cut short by some bytes, or flagged broken by the driver.
struct BadFrameCase {
    const char* name;
    Io io;
    int missingBytes;
    quint32 flags;
};

void PrintTo(const BadFrameCase& row, std::ostream* out)
{
    *out << row.name;
}

class V4l2BadFrameTest : public V4l2CameraTest, public ::testing::WithParamInterface<BadFrameCase> {
protected:
    FakeFrame badFrame(unsigned char seed)
    {
        FakeFrame frame = fake.frame(seed);
        frame.data.chop(GetParam().missingBytes);
        frame.flags = GetParam().flags;
        return frame;
    }
};

TEST_P(V4l2BadFrameTest, IsDroppedAndTheNewestGoodFrameKept)
{
    useReadOnly(GetParam().io == Io::Read);
    ASSERT_TRUE(openSource());

    fake.push(badFrame(1));
    ASSERT_TRUE(pumpUntil([&] { return source->droppedFrames() == 1; }));
    pumpUntil([] { return false; }, 3);
    EXPECT_EQ(framesReady, 0);
    EXPECT_TRUE(source->latestFrame().isNull());
    EXPECT_EQ(source->droppedFrames(), 1);

    // A good frame followed by a bad one: the good one is shown.
    fake.pushAll({fake.frame(2), badFrame(3)});
    ASSERT_TRUE(pumpUntil([&] { return framesReady == 1; }));
    EXPECT_TRUE(showsFrame(source->latestFrame(), 2, cameraSize()));
    EXPECT_EQ(source->droppedFrames(), 2);
    if (GetParam().io == Io::Mmap) {
        EXPECT_EQ(fake.queuedBuffers(), 4);
    }
    EXPECT_TRUE(source->isOpen());
}

INSTANTIATE_TEST_SUITE_P(Frames, V4l2BadFrameTest,
                         ::testing::Values(BadFrameCase{"MmapShortByOneByte", Io::Mmap, 1, 0},
                                           BadFrameCase{"MmapHalfFrame", Io::Mmap, 640 * 240 * 3, 0},
                                           BadFrameCase{"MmapErrorFlag", Io::Mmap, 0, V4L2_BUF_FLAG_ERROR},
                                           BadFrameCase{"ReadShortByOneByte", Io::Read, 1, 0},
                                           BadFrameCase{"ReadHalfFrame", Io::Read, 640 * 240 * 3, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(V4l2CameraTest, FallsBackToReadWhenBuffersAreRefused)
{
    useReadOnly(false);
    FakeCamera& camera = fake.camera();
    camera.deviceCaps |= V4L2_CAP_READWRITE;
    camera.reqbufsError = -ENOMEM;
    ASSERT_TRUE(openSource());
    EXPECT_FALSE(source->usesMmap());
    ASSERT_TRUE(deliver({4}));
    EXPECT_TRUE(showsFrame(source->latestFrame(), 4, cameraSize()));
}

TEST_F(V4l2CameraTest, RefusedBufferIsSetAsideAndTheStreamGoesOn)
{
    ASSERT_TRUE(openSource());
    fake.camera().qbufFailures = 1;
    ASSERT_TRUE(deliver({1}));
    EXPECT_TRUE(showsFrame(source->latestFrame(), 1, cameraSize()));
    EXPECT_TRUE(source->isOpen());
    EXPECT_EQ(source->refusedBuffers(), 1);
    EXPECT_EQ(fake.queuedBuffers(), 3);
    // The next wake-up gives the refused buffer back.
    ASSERT_TRUE(deliver({2}));
    EXPECT_TRUE(showsFrame(source->latestFrame(), 2, cameraSize()));
    EXPECT_EQ(fake.queuedBuffers(), 4);
    EXPECT_EQ(fake.opens, 1);
}

TEST_F(V4l2CameraTest, StreamRestartsWhenTheDriverTakesNoBufferBack)
{
    ASSERT_TRUE(openSource());
    fake.camera().qbufFailures = 1000;
    for (unsigned char seed = 1; seed <= 4; ++seed)
        ASSERT_TRUE(deliver({seed}));
    EXPECT_EQ(fake.queuedBuffers(), 0);
    EXPECT_TRUE(source->isOpen());
    // Nothing can arrive now: the source starts over rather than starve.
    fake.wake();
    ASSERT_TRUE(pumpUntil([&] { return !source->isOpen(); }));
    fake.camera().qbufFailures = 0;
    source->reopenTimer()->setInterval(0);
    ASSERT_TRUE(pumpUntil([&] { return source->isOpen(); }));
    EXPECT_EQ(fake.opens, 2);
    EXPECT_EQ(fake.queuedBuffers(), 4);
    ASSERT_TRUE(deliver({6}));
    EXPECT_TRUE(showsFrame(source->latestFrame(), 6, cameraSize()));
}

// mmap streaming that fails at the open (STREAMON refused): read() stands
// in, and mmap is tried again at the next opens, three at most.
struct MmapRetryCase {
    const char* name;
    int streamonFailures;
    bool mmapAtEnd;
    int opens;
};

void PrintTo(const MmapRetryCase& row, std::ostream* out)
{
    *out << row.name;
}

class V4l2MmapRetryTest : public V4l2CameraTest, public ::testing::WithParamInterface<MmapRetryCase> {};

TEST_P(V4l2MmapRetryTest, ReadStandsInWhileMmapIsTriedAgain)
{
    const MmapRetryCase& row = GetParam();
    useReadOnly(false);
    fake.camera().deviceCaps |= V4L2_CAP_READWRITE;
    fake.camera().streamonFailures = row.streamonFailures;
    ASSERT_TRUE(openSource());
    EXPECT_FALSE(source->usesMmap());
    ASSERT_TRUE(deliver({1}));
    EXPECT_TRUE(source->reopenTimer()->isActive());

    source->reopenTimer()->setInterval(0);
    ASSERT_TRUE(pumpUntil([&] { return !source->reopenTimer()->isActive(); }));
    EXPECT_TRUE(source->isOpen());
    EXPECT_EQ(source->usesMmap(), row.mmapAtEnd);
    EXPECT_EQ(fake.opens, row.opens);
    ASSERT_TRUE(deliver({2}));
    EXPECT_TRUE(showsFrame(source->latestFrame(), 2, cameraSize()));
}

INSTANTIATE_TEST_SUITE_P(Retries, V4l2MmapRetryTest,
                         ::testing::Values(MmapRetryCase{"OnceRefused", 1, true, 2},
                                           MmapRetryCase{"RefusedThreeTimes", 3, true, 4},
                                           MmapRetryCase{"AlwaysRefused", 100, false, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(V4l2CameraTest, FailsWhenNeitherStreamingNorReadWorks)
{
    fake.camera().reqbufsError = -ENOMEM;
    makeSource();
    EXPECT_FALSE(source->open());
    EXPECT_FALSE(source->isOpen());
    EXPECT_FALSE(source->errorString().isEmpty());
}

} // namespace
