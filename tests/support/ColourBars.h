#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>

#include <cstdlib>

#include <turbojpeg.h>

// Colour bars at 64 x 16 in the layouts cameras send, for the tests of the
// conversions and of the camera code that uses them.
namespace colourbars {

// Eight 100 % colour bars, as test cards and vivid show them.
inline const QColor kBars[] = {Qt::white, Qt::yellow, Qt::cyan, Qt::green, Qt::magenta, Qt::red, Qt::blue, Qt::black};
constexpr int kWidth = 64;
constexpr int kHeight = 16;

inline QColor barAt(int x)
{
    return kBars[x * 8 / kWidth];
}

// BT.601 video range, the inverse of what the conversions undo.
inline void toYuv(const QColor& colour, int* y, int* u, int* v)
{
    const int r = colour.red(), g = colour.green(), b = colour.blue();
    *y = ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16;
    *u = ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
    *v = ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
}

inline QByteArray barsYuyv()
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
inline QByteArray barsPlanar(bool interleaved)
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

inline QImage barsImage()
{
    QImage image(kWidth, kHeight, QImage::Format_BGR888);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            image.setPixelColor(x, y, barAt(x));
    return image;
}

inline QByteArray barsJpeg()
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

// True when each bar's centre in `image` is within a small distance of the
// bar's colour (conversions round; JPEG smears only near the edges).
inline bool showsBars(const QImage& image, int tolerance = 24)
{
    if (image.size() != QSize(kWidth, kHeight))
        return false;
    for (int bar = 0; bar < 8; ++bar) {
        const QColor got = image.pixelColor(bar * kWidth / 8 + kWidth / 16, kHeight / 2);
        const QColor want = kBars[bar];
        if (std::abs(got.red() - want.red()) + std::abs(got.green() - want.green())
                + std::abs(got.blue() - want.blue())
            > tolerance)
            return false;
    }
    return true;
}

} // namespace colourbars
