#include "capture/StreamEncoder.h"

#include "capture/source/FrameSlot.h"
#include "http/stream/LatestFrame.h"
#include "support/ColourBars.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>


#include <linux/videodev2.h>

#include <future>
#include <mutex>
#include <vector>

namespace {

// A frame of the colour bars, known by its capture time.
Frame barsFrame(qint64 captureTimeUs)
{
    Frame frame;
    frame.picture = colourbars::barsImage();
    frame.size = frame.picture.size();
    frame.captureTimeUs = captureTimeUs;
    return frame;
}

class StreamEncoderTest : public testing::Test {
protected:
    void SetUp() override
    {
        encoder.setMaxFps(1000); // the cap is not what these tests look at
        encoder.setFrameSlot(&slot);
        encoder.setBeforeEncode([this](const Frame& frame) {
            std::lock_guard lock(seenMutex);
            seen.push_back(frame.sequence);
        });
    }
    std::vector<quint64> seenFrames()
    {
        std::lock_guard lock(seenMutex);
        return seen;
    }
    bool published(qint64 captureTimeUs)
    {
        return pumpUntil([&] { return frames.captureTimeUs() == captureTimeUs; });
    }

    FrameSlot slot;
    LatestFrame frames;
    StreamEncoder encoder{frames};
    std::mutex seenMutex;
    std::vector<quint64> seen;
};

TEST_F(StreamEncoderTest, ASlowEncodeSkipsToTheNewestFrame)
{
    std::promise<void> entered, release;
    std::shared_future<void> go = release.get_future().share();
    encoder.setBeforeEncode([&, go](const Frame& frame) {
        {
            std::lock_guard lock(seenMutex);
            seen.push_back(frame.sequence);
        }
        if (frame.sequence == 1) {
            entered.set_value();
            go.wait();
        }
    });
    slot.publish(barsFrame(1001));
    encoder.setClients(1);
    entered.get_future().wait();
    for (qint64 time : {1002, 1003, 1004})
        slot.publish(barsFrame(time));
    release.set_value();
    ASSERT_TRUE(published(1004));
    EXPECT_EQ(seenFrames(), (std::vector<quint64>{1, 4}));
    EXPECT_TRUE(colourbars::showsBars(QImage::fromData(frames.jpeg(), "JPEG").convertToFormat(QImage::Format_BGR888)));
    const StreamEncoder::Counts counts = encoder.counts();
    EXPECT_EQ(counts.encoded, 2u);
    EXPECT_EQ(counts.skipped, 2u);
}

TEST_F(StreamEncoderTest, NothingIsEncodedWhileNoClientWatches)
{
    slot.publish(barsFrame(2001));
    pumpUntil([] { return false; }, 30); // a moment in which a wrong encode would show
    EXPECT_TRUE(seenFrames().empty());
    encoder.setClients(1);
    ASSERT_TRUE(published(2001));
    encoder.setClients(0);
    EXPECT_FALSE(frames.cameraFed()); // the snapshots feed the stream again
    slot.publish(barsFrame(2002));
    pumpUntil([] { return false; }, 30); // a moment in which a wrong encode would show
    slot.publish(barsFrame(2003));
    EXPECT_EQ(frames.captureTimeUs(), 2001);
    // Back with a viewer, the encoder starts from the newest frame.
    encoder.setClients(1);
    ASSERT_TRUE(published(2003));
    EXPECT_TRUE(frames.cameraFed());
    EXPECT_EQ(seenFrames(), (std::vector<quint64>{1, 3}));
}

TEST_F(StreamEncoderTest, ABrokenCameraJpegIsCountedAndNeverPublished)
{
    Frame broken;
    broken.fourcc = v4l2_fourcc('M', 'J', 'P', 'G');
    broken.bytes = colourbars::barsJpeg().left(100);
    broken.captureTimeUs = 3001;
    slot.publish(broken);
    encoder.setClients(1);
    ASSERT_TRUE(pumpUntil([&] { return !seenFrames().empty(); }));
    slot.publish(barsFrame(3002));
    ASSERT_TRUE(published(3002));
    EXPECT_EQ(frames.sequence(), 1u);
    EXPECT_EQ(encoder.counts().broken, 1u);
}

} // namespace
