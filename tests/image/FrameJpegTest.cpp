#include "image/FrameJpeg.h"

#include "support/ColourBars.h"

#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <linux/videodev2.h>

using namespace colourbars;

TEST(FrameJpegTest, EachCameraFormatEncodesTheColourBars)
{
    const QByteArray cut = barsJpeg().left(barsJpeg().size() / 2);
    const QByteArray noise(300, '\x5A');
    const QImage bars = barsImage();
    const QByteArray bgr(reinterpret_cast<const char*>(bars.constBits()), bars.sizeInBytes());
    using Outcome = FrameJpeg::Outcome;
    const struct {
        const char* name;
        CameraImage frame;
        bool passthrough;
        Outcome outcome;
    } cases[] = {
        {"YUYV", {V4L2_PIX_FMT_YUYV, {kWidth, kHeight}, kWidth * 2, barsYuyv(), {}}, true, Outcome::Encoded},
        {"NV12", {V4L2_PIX_FMT_NV12, {kWidth, kHeight}, kWidth, barsPlanar(true), {}}, true, Outcome::Encoded},
        {"YU12", {V4L2_PIX_FMT_YUV420, {kWidth, kHeight}, kWidth, barsPlanar(false), {}}, true, Outcome::Encoded},
        {"BGR24", {V4L2_PIX_FMT_BGR24, {kWidth, kHeight}, bars.bytesPerLine(), bgr, {}}, true, Outcome::Encoded},
        {"picture", {V4L2_PIX_FMT_BGR24, {kWidth, kHeight}, 0, {}, bars}, true, Outcome::Encoded},
        {"MJPEG as sent", {V4L2_PIX_FMT_MJPEG, {kWidth, kHeight}, 0, barsJpeg(), {}}, true, Outcome::PassedThrough},
        {"MJPEG re-encoded", {V4L2_PIX_FMT_MJPEG, {kWidth, kHeight}, 0, barsJpeg(), {}}, false, Outcome::Encoded},
        {"MJPEG cut short", {V4L2_PIX_FMT_MJPEG, {kWidth, kHeight}, 0, cut, {}}, true, Outcome::Broken},
        {"MJPEG noise", {V4L2_PIX_FMT_MJPEG, {kWidth, kHeight}, 0, noise, {}}, true, Outcome::Broken},
        {"YUYV one byte short", {V4L2_PIX_FMT_YUYV, {kWidth, kHeight}, kWidth * 2, barsYuyv().chopped(1), {}}, true,
         Outcome::Broken},
        {"NV12 one byte short", {V4L2_PIX_FMT_NV12, {kWidth, kHeight}, kWidth, barsPlanar(true).chopped(1), {}}, true,
         Outcome::Broken},
        {"unknown format", {v4l2_fourcc('X', 'Y', 'Z', 'W'), {kWidth, kHeight}, kWidth, barsYuyv(), {}}, true,
         Outcome::Unsupported},
    };
    FrameJpeg encoder; // one for all rows: a broken frame must not spoil the next
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Outcome outcome = Outcome::Broken;
        const QByteArray jpeg = encoder.encode(c.frame, 90, c.passthrough, &outcome);
        EXPECT_EQ(outcome, c.outcome);
        if (c.outcome == Outcome::PassedThrough) {
            EXPECT_EQ(jpeg, c.frame.bytes);
        } else if (c.outcome == Outcome::Encoded) {
            EXPECT_NE(jpeg, c.frame.bytes);
            EXPECT_TRUE(showsBars(QImage::fromData(jpeg, "JPEG").convertToFormat(QImage::Format_BGR888)));
        } else {
            EXPECT_TRUE(jpeg.isEmpty());
        }
    }
}

TEST(FrameJpegTest, YuyvLeavesAs420WithEachRowPairInPlace)
{
    // Red over blue: chroma averaged across the wrong rows would mix them.
    constexpr int width = 64, height = 32;
    QByteArray yuyv;
    for (int row = 0; row < height; ++row) {
        const char u = row < height / 2 ? char(90) : char(240);
        const char v = row < height / 2 ? char(240) : char(110);
        for (int x = 0; x < width / 2; ++x)
            yuyv += QByteArray(1, char(82)) + u + char(82) + v;
    }
    FrameJpeg encoder;
    const QByteArray jpeg = encoder.encode({V4L2_PIX_FMT_YUYV, {width, height}, width * 2, yuyv, {}}, 95, true);
    tjhandle decoder = tjInitDecompress();
    int w = 0, h = 0, subsampling = -1, colourspace = 0;
    tjDecompressHeader3(decoder, reinterpret_cast<const uchar*>(jpeg.constData()), jpeg.size(), &w, &h, &subsampling,
                        &colourspace);
    tjDestroy(decoder);
    EXPECT_EQ(subsampling, TJSAMP_420);
    const QImage picture = QImage::fromData(jpeg, "JPEG");
    for (const int row : {0, height / 2 - 2, height / 2 + 1, height - 1}) {
        const QColor colour = picture.pixelColor(width / 2, row);
        EXPECT_EQ(row < height / 2, colour.red() > colour.blue() + 100) << row;
    }
}
