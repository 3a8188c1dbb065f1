#include "image/CameraPixels.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QColor>

#include <turbojpeg.h>

#include <functional>

namespace {

// Eight 100 % colour bars, as test cards and vivid show them.
const QColor kBars[] = {Qt::white, Qt::yellow, Qt::cyan, Qt::green, Qt::magenta, Qt::red, Qt::blue, Qt::black};
constexpr int kWidth = 64;
constexpr int kHeight = 16;

QColor barAt(int x)
{
    return kBars[x * 8 / kWidth];
}

// BT.601 video range, the inverse of what the conversions undo.
void toYuv(const QColor& colour, int* y, int* u, int* v)
{
    const int r = colour.red(), g = colour.green(), b = colour.blue();
    *y = ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16;
    *u = ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
    *v = ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
}

QByteArray barsYuyv()
{
    QByteArray data;
    for (int row = 0; row < kHeight; ++row) {
        for (int x = 0; x < kWidth; x += 2) {
            int y0, y1, u, v;
            toYuv(barAt(x), &y0, &u, &v);
            toYuv(barAt(x + 1), &y1, &u, &v);
            data += char(y0), data += char(u), data += char(y1), data += char(v);
        }
    }
    return data;
}

// Planar 4:2:0; chroma interleaved (NV12) or in two planes (YU12).
QByteArray barsPlanar(bool interleaved)
{
    QByteArray luma, us, vs, uv;
    for (int row = 0; row < kHeight; ++row) {
        for (int x = 0; x < kWidth; ++x) {
            int y, u, v;
            toYuv(barAt(x), &y, &u, &v);
            luma += char(y);
            if (row % 2 == 0 && x % 2 == 0)
                us += char(u), vs += char(v), uv += char(u), uv += char(v);
        }
    }
    return luma + (interleaved ? uv : us + vs);
}

QImage barsImage()
{
    QImage image(kWidth, kHeight, QImage::Format_BGR888);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            image.setPixelColor(x, y, barAt(x));
    return image;
}

QByteArray barsJpeg()
{
    const QImage bars = barsImage();
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, bars.constBits(), kWidth, int(bars.bytesPerLine()), kHeight, TJPF_BGR, &out, &size,
                TJSAMP_422, 95, 0);
    QByteArray jpeg(reinterpret_cast<const char*>(out), qsizetype(size));
    tjFree(out);
    tjDestroy(handle);
    return jpeg;
}

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
    } cases[] = {
        {"YUYV", barsYuyv(), [](const QByteArray& d) { return yuyvToImage(bytes(d), d.size(), {kWidth, kHeight}, kWidth * 2); }},
        {"NV12", barsPlanar(true), [](const QByteArray& d) { return nv12ToImage(bytes(d), d.size(), {kWidth, kHeight}, kWidth); }},
        {"YU12", barsPlanar(false), [](const QByteArray& d) { return yu12ToImage(bytes(d), d.size(), {kWidth, kHeight}, kWidth); }},
        {"MJPEG", barsJpeg(), [](const QByteArray& d) { return decodeJpeg(bytes(d), d.size()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage image = c.convert(c.frame);
        ASSERT_EQ(image.size(), QSize(kWidth, kHeight));
        ASSERT_EQ(image.format(), QImage::Format_BGR888);
        // Bar centres only: JPEG smears across the edges.
        for (int bar = 0; bar < 8; ++bar) {
            const int x = bar * kWidth / 8 + kWidth / 16;
            const QColor got = image.pixelColor(x, kHeight / 2);
            const QColor want = kBars[bar];
            EXPECT_LE(std::abs(got.red() - want.red()) + std::abs(got.green() - want.green())
                          + std::abs(got.blue() - want.blue()),
                      24)
                << "bar " << bar << " got " << got.name().toStdString();
        }
        // One byte short of the frame is no picture at all.
        EXPECT_TRUE(c.convert(c.frame.left(c.frame.size() - (QByteArray(c.name) == "MJPEG" ? 40 : 1))).isNull());
    }
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
