#include "image/CameraPixels.h"

#include "support/ColourBars.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QColor>

#include <turbojpeg.h>

#include <functional>

using namespace colourbars;

namespace {

using Convert = std::function<QImage(const QByteArray&)>;
const uchar* bytes(const QByteArray& data)
{
    return reinterpret_cast<const uchar*>(data.constData());
}

} // namespace

TEST(CameraPixelsTest, EachCameraFormatGivesTheColourBars)
{
    const struct {
        const char* name;
        QByteArray frame;
        Convert convert;
        QSize size = {kWidth, kHeight};
    } cases[] = {
        {"YUYV", barsYuyv(), [](const QByteArray& d) { return yuyvToImage(bytes(d), d.size(), {kWidth, kHeight}, kWidth * 2); }},
        {"NV12", barsPlanar(true), [](const QByteArray& d) { return nv12ToImage(bytes(d), d.size(), {kWidth, kHeight}, kWidth); }},
        {"YU12", barsPlanar(false), [](const QByteArray& d) { return yu12ToImage(bytes(d), d.size(), {kWidth, kHeight}, kWidth); }},
        {"MJPEG", barsJpeg(), [](const QByteArray& d) { return decodeJpeg(bytes(d), d.size()); }},
        // A small view's pictures: every second pixel of every second row.
        {"YUYV halved", barsYuyv(), [](const QByteArray& d) { return yuyvToImage(bytes(d), d.size(), {kWidth, kHeight}, kWidth * 2, 2); }, {kWidth / 2, kHeight / 2}},
        {"NV12 halved", barsPlanar(true), [](const QByteArray& d) { return nv12ToImage(bytes(d), d.size(), {kWidth, kHeight}, kWidth, 2); }, {kWidth / 2, kHeight / 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage image = c.convert(c.frame);
        ASSERT_EQ(image.size(), c.size);
        ASSERT_EQ(image.format(), QImage::Format_BGR888);
        EXPECT_TRUE(showsBars(image.scaled(kWidth, kHeight)));
        // One byte short of the frame is no picture at all.
        EXPECT_TRUE(c.convert(c.frame.left(c.frame.size() - (QByteArray(c.name) == "MJPEG" ? 40 : 1))).isNull());
    }
    // How far a view's picture is thinned: still covering what is asked.
    EXPECT_EQ(previewStep({1920, 1080}, {320, 240}), 4);
    EXPECT_EQ(previewStep({640, 480}, {320, 240}), 2);
    EXPECT_EQ(previewStep({640, 480}, {321, 240}), 1);
    EXPECT_EQ(previewStep({640, 480}, QSize()), 1);
    EXPECT_EQ(previewStep({7680, 4320}, {100, 75}), 16);
}

TEST(CameraPixelsTest, BrokenJpegGivesNoPicture)
{
    QByteArray damaged = barsJpeg();
    damaged.truncate(damaged.size() / 2);
    EXPECT_TRUE(decodeJpeg(bytes(damaged), damaged.size()).isNull());
    const QByteArray noise(300, '\x5A');
    EXPECT_TRUE(decodeJpeg(bytes(noise), noise.size()).isNull());
    EXPECT_TRUE(decodeJpeg(nullptr, 0).isNull());
    // A broken frame leaves the decoder fit for the next good one.
    const QByteArray good = barsJpeg();
    EXPECT_EQ(decodeJpeg(bytes(good), good.size(), {kWidth / 2, kHeight / 2}).size(), QSize(kWidth / 2, kHeight / 2));
}

TEST(CameraPixelsTest, SmallViewDecodesAtReducedScale)
{
    EXPECT_EQ(jpegScaledSize({640, 480}, {320, 240}), QSize(320, 240));
    EXPECT_EQ(jpegScaledSize({1920, 1080}, {320, 240}), QSize(480, 270));
    EXPECT_EQ(jpegScaledSize({640, 480}, {}), QSize(640, 480));
    const QByteArray jpeg = barsJpeg();
    EXPECT_EQ(decodeJpeg(bytes(jpeg), jpeg.size(), {kWidth / 2, kHeight / 2}).size(), QSize(kWidth / 2, kHeight / 2));
}
