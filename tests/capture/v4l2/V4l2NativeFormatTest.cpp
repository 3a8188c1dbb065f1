#include "FakeVideoDeviceFixture.h"
#include "support/ColourBars.h"

#include <gtest/gtest.h>

using namespace colourbars;

namespace {

struct NativeCase {
    const char* name;
    QList<quint32> offered;
    quint32 chosen;
    QByteArray (*bars)();
};

QByteArray nv12Bars()
{
    return barsPlanar(true);
}
QByteArray yu12Bars()
{
    return barsPlanar(false);
}

class V4l2NativeFormatTest : public V4l2CameraTest {
protected:
    void useCamera(const QList<quint32>& offered)
    {
        FakeCamera& camera = fake.camera();
        camera.discreteSizes = {{kWidth, kHeight}};
        camera.offeredFormats = offered;
        makeSource();
        source->setFrameSize({kWidth, kHeight});
    }
    bool deliverBytes(const QByteArray& data)
    {
        const int before = framesReady;
        fake.push(FakeFrame{data});
        return pumpUntil([&] { return framesReady > before; });
    }
};

class V4l2FormatChoiceTest : public V4l2NativeFormatTest, public ::testing::WithParamInterface<NativeCase> {};

} // namespace

TEST_P(V4l2FormatChoiceTest, CameraFormatIsAskedForAndTheStillShowsTheBars)
{
    useCamera(GetParam().offered);
    ASSERT_TRUE(source->open());
    EXPECT_EQ(source->pixelFormat(), GetParam().chosen);
    ASSERT_TRUE(deliverBytes(GetParam().bars()));
    QString error;
    EXPECT_TRUE(showsBars(source->grabStill(&error))) << error.toStdString();
    // The frame is kept as the camera sent it, for whoever encodes it.
    const auto frame = source->frames().latest();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->bytes, GetParam().bars());
    EXPECT_GT(frame->captureTimeUs, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, V4l2FormatChoiceTest,
    ::testing::Values(NativeCase{"Yuyv", {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_BGR24}, V4L2_PIX_FMT_YUYV, barsYuyv},
                      NativeCase{"Nv12", {V4L2_PIX_FMT_NV12}, V4L2_PIX_FMT_NV12, nv12Bars},
                      NativeCase{"Yu12", {V4L2_PIX_FMT_YUV420}, V4L2_PIX_FMT_YUV420, yu12Bars},
                      NativeCase{"MjpegBeforeYuyv", {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG}, V4L2_PIX_FMT_MJPEG, barsJpeg}),
    [](const auto& info) { return std::string(info.param.name); });

// Nothing handled here: BGR24, which libv4l2 converts to.
TEST_F(V4l2NativeFormatTest, UnknownFormatFallsBackToBgr24)
{
    useCamera({V4L2_PIX_FMT_SGRBG8});
    ASSERT_TRUE(source->open());
    EXPECT_EQ(source->pixelFormat(), quint32(V4L2_PIX_FMT_BGR24));
}

TEST_F(V4l2NativeFormatTest, BrokenJpegFramesAreSkippedAndCounted)
{
    useCamera({V4L2_PIX_FMT_MJPEG});
    ASSERT_TRUE(source->open());
    const QByteArray good = barsJpeg();
    ASSERT_TRUE(deliverBytes(good));
    // Cut short by the transfer: dropped on arrival.
    fake.push(FakeFrame{good.left(good.size() / 2)});
    ASSERT_TRUE(captureUntil([&] { return source->droppedFrames() == 1; }));
    QString error;
    EXPECT_TRUE(showsBars(source->grabStill(&error)));
    EXPECT_EQ(source->frames().latest()->bytes, good);
    // Whole-looking but damaged inside: counted when it fails to decode, and
    // the good picture before it stays.
    QByteArray damaged = good;
    for (int i = good.size() / 2; i < good.size() - 2; ++i)
        damaged[i] = char(0xFF);
    ASSERT_TRUE(deliverBytes(damaged));
    EXPECT_TRUE(showsBars(source->grabStill(&error)));
    EXPECT_EQ(source->droppedFrames(), 2);
}
