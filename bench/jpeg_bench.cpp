// Snapshot writing cost: SaveJpegFile (encode + safe file replacement) against
// a bare in-memory tjCompress2 of the same pixels, plus the resampler and the
// picture copy. Bounded: fixed iteration counts and a time cap per series.

#include "image/cDIBSection.h"
#include "image/mIntelJPEGLibrary.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QRadialGradient>
#include <QTemporaryDir>

#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSeriesCap = std::chrono::seconds(20);

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Smooth gradients, a few hard-edged shapes and sensor-like noise: compresses
// roughly like a camera picture.
QImage photoLike(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(90, 140, 210));
    sky.setColorAt(0.6, QColor(200, 210, 220));
    sky.setColorAt(1, QColor(70, 90, 40));
    painter.fillRect(image.rect(), sky);
    QRadialGradient sun(width * 0.7, height * 0.25, height * 0.2);
    sun.setColorAt(0, QColor(255, 250, 220));
    sun.setColorAt(1, QColor(255, 250, 220, 0));
    painter.fillRect(image.rect(), sun);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(150, 60, 40));
    painter.drawRect(width / 8, height / 2, width / 4, height / 3);
    painter.setBrush(QColor(30, 80, 30));
    painter.drawEllipse(QPointF(width * 0.6, height * 0.7), width * 0.15, height * 0.12);
    painter.end();

    std::mt19937 noise(42);
    std::uniform_int_distribution<int> delta(-6, 6);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int d = delta(noise);
            const QRgb p = row[x];
            row[x] = qRgb(std::clamp(qRed(p) + d, 0, 255), std::clamp(qGreen(p) + d, 0, 255),
                          std::clamp(qBlue(p) + d, 0, 255));
        }
    }
    return image;
}

void benchJpeg(int width, int height, int iterations, const QString& dir)
{
    cDIBSection image;
    image.CreateFromPicture(photoLike(width, height));
    const QString path = dir + QStringLiteral("/bench_%1.jpg").arg(width);

    tjhandle bare = tjInitCompress();
    unsigned long capacity = tjBufSize(width, height, TJSAMP_420);
    unsigned char* buffer = tjAlloc(static_cast<int>(capacity));
    unsigned long jpegSize = 0;

    std::vector<double> save, encode;
    const auto seriesStart = Clock::now();
    // Alternating the two keeps drift of the machine out of the ratio.
    for (int i = 0; i < iterations && Clock::now() - seriesStart < kSeriesCap; ++i) {
        auto start = Clock::now();
        if (!mIntelJPEGLibrary::SaveJpegFile(image, path, 75)) {
            std::printf("SaveJpegFile failed: %s\n", qPrintable(mIntelJPEGLibrary::lastError().description));
            break;
        }
        save.push_back(msSince(start));

        start = Clock::now();
        jpegSize = capacity;
        if (tjCompress2(bare, image.DIBSectionBitsPtr(), width, image.BytesPerScanLine(), height, TJPF_BGR, &buffer,
                        &jpegSize, TJSAMP_420, 75, TJFLAG_BOTTOMUP | TJFLAG_NOREALLOC)
            != 0) {
            std::printf("tjCompress2 failed: %s\n", tjGetErrorStr2(bare));
            break;
        }
        encode.push_back(msSince(start));
    }
    tjFree(buffer);
    tjDestroy(bare);

    const double s = median(save), e = median(encode);
    std::printf("%4dx%-4d  SaveJpegFile %6.2f ms   bare tjCompress2 %6.2f ms   ratio %.2f   %lu bytes   (%zu runs)\n",
                width, height, s, e, e > 0 ? s / e : 0.0, jpegSize, save.size());
}

void benchResample(int width, int height, int newWidth, int newHeight, int iterations)
{
    cDIBSection image;
    image.CreateFromPicture(photoLike(width, height));
    std::vector<double> times;
    const auto seriesStart = Clock::now();
    for (int i = 0; i < iterations && Clock::now() - seriesStart < kSeriesCap; ++i) {
        const auto start = Clock::now();
        const auto result = image.Resample(newHeight, newWidth);
        times.push_back(msSince(start));
        if (!result) {
            std::printf("Resample failed\n");
            return;
        }
    }
    const double ms = median(times);
    std::printf("Resample %dx%d -> %dx%d   %7.2f ms   %6.1f destination MP/s   (%zu runs)\n", width, height,
                newWidth, newHeight, ms, ms > 0 ? newWidth * double(newHeight) / 1e6 / (ms / 1000) : 0.0,
                times.size());
}

void benchPictureCopy(int width, int height, QImage::Format format, const char* name, int iterations)
{
    const QImage picture = photoLike(width, height).convertToFormat(format);
    std::vector<double> times;
    const auto seriesStart = Clock::now();
    for (int i = 0; i < iterations && Clock::now() - seriesStart < kSeriesCap; ++i) {
        const auto start = Clock::now();
        cDIBSection image;
        image.CreateFromPicture(picture);
        times.push_back(msSince(start));
    }
    std::printf("CreateFromPicture %dx%d %-8s %6.2f ms   (%zu runs)\n", width, height, name, median(times),
                times.size());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::printf("no temporary directory\n");
        return 1;
    }
    benchJpeg(640, 480, 200, dir.path());
    benchJpeg(1920, 1080, 80, dir.path());
    benchResample(1920, 1080, 100, 75, 200);
    benchResample(640, 480, 1280, 960, 30);
    benchPictureCopy(1920, 1080, QImage::Format_RGB32, "RGB32", 50);
    benchPictureCopy(1920, 1080, QImage::Format_RGB888, "RGB888", 50);
    benchPictureCopy(1920, 1080, QImage::Format_BGR888, "BGR888", 50);
    benchPictureCopy(1920, 1080, QImage::Format_Indexed8, "Indexed8", 20);
    return 0;
}
