#include "image/FrameJpeg.h"
#include "image/YuvRows.h"

#include "support/ColourBars.h"

#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <linux/videodev2.h>

#include <algorithm>
#include <cmath>
#include <vector>

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

// Every byte value in every position of the sixteen-wide rows (and the
// tail after them) stretches to the rounded full-range value.
TEST(FrameJpegTest, RowsStretchEveryByteToFullRange)
{
    const auto luma = [](int y) { return uchar(std::clamp(std::lround((y - 16) * 255.0 / 219.0), 0L, 255L)); };
    const auto chroma = [](int c) { return uchar(std::clamp(std::lround((c - 128) * 255.0 / 224.0 + 128), 0L, 255L)); };
    constexpr int width = 270; // 16 pairs of chroma and luma blocks, then a tail
    for (int shift = 0; shift < 17; ++shift) {
        std::vector<uchar> yuyv(width * 2), lower(width * 2), packed(width);
        for (int i = 0; i < width * 2; ++i) {
            yuyv[i] = uchar(i * 3 + shift);
            lower[i] = uchar(i * 5 + shift * 7);
        }
        for (int i = 0; i < width; ++i)
            packed[i] = uchar(i + shift);
        std::vector<uchar> y(width), cb(width / 2), cr(width / 2), pairs(width / 2), plain(width);
        yuyvLumaRow(yuyv.data(), width, y.data());
        yuyvChromaRows(yuyv.data(), lower.data(), width, cb.data(), cr.data());
        fullRangeRow(yuyv.data() + 1, width / 2, 2, true, pairs.data());
        fullRangeRow(packed.data(), width, 1, false, plain.data());
        for (int x = 0; x < width; ++x) {
            ASSERT_EQ(y[x], luma(yuyv[2 * x])) << shift << " luma " << x;
            ASSERT_EQ(plain[x], luma(packed[x])) << shift << " packed " << x;
        }
        for (int x = 0; x < width / 2; ++x) {
            ASSERT_EQ(cb[x], chroma((yuyv[4 * x + 1] + lower[4 * x + 1] + 1) >> 1)) << shift << " cb " << x;
            ASSERT_EQ(cr[x], chroma((yuyv[4 * x + 3] + lower[4 * x + 3] + 1) >> 1)) << shift << " cr " << x;
            ASSERT_EQ(pairs[x], chroma(yuyv[2 * x + 1])) << shift << " step 2 " << x;
        }
    }
}
