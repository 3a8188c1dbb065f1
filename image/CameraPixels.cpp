#include "image/CameraPixels.h"

#include "image/YuvRows.h"

#include <turbojpeg.h>

#include <memory>
#include <vector>

namespace {

// Larger than any camera; keeps byte counts far from overflow.
constexpr int kMaxDimension = 16384;

bool validSize(const QSize& size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= kMaxDimension && size.height() <= kMaxDimension;
}

uchar clampByte(int value)
{
    return uchar(value < 0 ? 0 : value > 255 ? 255 : value);
}

// BT.601 with video range, what USB cameras and most drivers send.
inline void putPixel(uchar* out, int y, int u, int v)
{
    const int c = 298 * (y - 16) + 128;
    const int d = u - 128;
    const int e = v - 128;
    out[0] = clampByte((c + 516 * d) >> 8);
    out[1] = clampByte((c - 100 * d - 208 * e) >> 8);
    out[2] = clampByte((c + 409 * e) >> 8);
}

QImage planesToImage(const QSize& size, const std::vector<uchar> (&planes)[3], int sampling);
std::vector<uchar> (&framePlanes(const QSize& size, int chromaRows))[3];

// Planar 4:2:0 with chroma samples `step` bytes apart in rows chromaLine
// apart; u and v point at the first sample of each. Every `every`th pixel
// of every `every`th row.
QImage planarToImage(const QSize& size, const uchar* luma, qint64 lumaLine, const uchar* u, const uchar* v,
                     qint64 chromaLine, int step, int every)
{
    if (every == 1) {
        auto& planes = framePlanes(size, size.height() / 2);
        const int half = size.width() / 2;
        for (int row = 0; row < size.height(); ++row)
            fullRangeRow(luma + row * lumaLine, size.width(), 1, false, planes[0].data() + qint64(row) * size.width());
        for (int row = 0; row < size.height() / 2; ++row) {
            fullRangeRow(u + row * chromaLine, half, step, true, planes[1].data() + qint64(row) * half);
            fullRangeRow(v + row * chromaLine, half, step, true, planes[2].data() + qint64(row) * half);
        }
        return planesToImage(size, planes, TJSAMP_420);
    }
    QImage image(QSize(size.width() / every, size.height() / every), QImage::Format_BGR888);
    if (image.isNull())
        return image;
    for (int row = 0; row < image.height(); ++row) {
        const int from = row * every;
        const uchar* y = luma + from * lumaLine;
        const qint64 chromaRow = (from / 2) * chromaLine;
        uchar* out = image.scanLine(row);
        for (int x = 0; x < image.width(); ++x) {
            const int at = x * every;
            putPixel(out + x * 3, y[at], u[chromaRow + (at / 2) * step], v[chromaRow + (at / 2) * step]);
        }
    }
    return image;
}

struct HandleFree {
    void operator()(void* handle) const { tjDestroy(handle); }
};

// One decompressor per thread: a handle is not safe to share. After a
// failed decode a handle can refuse the next good frame, so it is replaced.
std::unique_ptr<void, HandleFree>& decompressorHandle()
{
    thread_local std::unique_ptr<void, HandleFree> handle;
    if (!handle)
        handle.reset(tjInitDecompress());
    return handle;
}

// A whole frame's full-range planes (`sampling` TJSAMP_422 or TJSAMP_420)
// to a picture through TurboJPEG's own colour conversion, which runs in
// vector registers: several times quicker than a pixel at a time.
QImage planesToImage(const QSize& size, const std::vector<uchar> (&planes)[3], int sampling)
{
    QImage image(size, QImage::Format_BGR888);
    auto& owner = decompressorHandle();
    if (image.isNull() || !owner)
        return {};
    const unsigned char* pointers[3] = {planes[0].data(), planes[1].data(), planes[2].data()};
    const int strides[3] = {size.width(), size.width() / 2, size.width() / 2};
    if (tjDecodeYUVPlanes(owner.get(), pointers, strides, sampling, image.bits(), size.width(),
                          int(image.bytesPerLine()), size.height(), TJPF_BGR, 0)
        != 0) {
        owner.reset();
        return {};
    }
    return image;
}

// Planes reused from frame to frame on each thread.
std::vector<uchar> (&framePlanes(const QSize& size, int chromaRows))[3]
{
    thread_local std::vector<uchar> planes[3];
    planes[0].resize(std::size_t(size.width()) * std::size_t(size.height()));
    for (int i = 1; i < 3; ++i)
        planes[i].resize(std::size_t(size.width() / 2) * std::size_t(chromaRows));
    return planes;
}

} // namespace

int previewStep(const QSize& full, const QSize& atLeast)
{
    int every = 1;
    while (atLeast.isValid() && !atLeast.isEmpty() && every < 16 && full.width() / (every * 2) >= atLeast.width()
           && full.height() / (every * 2) >= atLeast.height())
        every *= 2;
    return every;
}

QImage yuyvToImage(const uchar* data, qint64 bytes, const QSize& size, qint64 bytesPerLine, int every)
{
    if (!data || !validSize(size) || size.width() % 2 || bytesPerLine < qint64(size.width()) * 2
        || bytes < bytesPerLine * (size.height() - 1) + qint64(size.width()) * 2 || every < 1)
        return {};
    if (every == 1) {
        auto& planes = framePlanes(size, size.height());
        const int half = size.width() / 2;
        for (int row = 0; row < size.height(); ++row) {
            const uchar* in = data + qint64(row) * bytesPerLine;
            yuyvLumaRow(in, size.width(), planes[0].data() + qint64(row) * size.width());
            yuyvChromaRows(in, in, size.width(), planes[1].data() + qint64(row) * half,
                           planes[2].data() + qint64(row) * half);
        }
        return planesToImage(size, planes, TJSAMP_422);
    }
    QImage image(QSize(size.width() / every, size.height() / every), QImage::Format_BGR888);
    if (image.isNull())
        return image;
    for (int row = 0; row < image.height(); ++row) {
        const uchar* in = data + qint64(row) * every * bytesPerLine;
        uchar* out = image.scanLine(row);
        // Every pair of pixels sits in four bytes: the first pixel's luma.
        for (int x = 0; x < image.width(); ++x) {
            const uchar* pair = in + qint64(x) * every * 2;
            putPixel(out + x * 3, pair[0], pair[1], pair[3]);
        }
    }
    return image;
}

QImage nv12ToImage(const uchar* data, qint64 bytes, const QSize& size, qint64 bytesPerLine, int every)
{
    if (!data || !validSize(size) || size.width() % 2 || size.height() % 2 || bytesPerLine < size.width()
        || bytes < bytesPerLine * size.height() * 3 / 2 || every < 1)
        return {};
    const uchar* chroma = data + bytesPerLine * size.height();
    return planarToImage(size, data, bytesPerLine, chroma, chroma + 1, bytesPerLine, 2, every);
}

QImage yu12ToImage(const uchar* data, qint64 bytes, const QSize& size, qint64 bytesPerLine, int every)
{
    if (!data || !validSize(size) || size.width() % 2 || size.height() % 2 || bytesPerLine < size.width()
        || bytes < bytesPerLine * size.height() * 3 / 2 || every < 1)
        return {};
    const qint64 chromaLine = bytesPerLine / 2;
    const uchar* u = data + bytesPerLine * size.height();
    const uchar* v = u + chromaLine * (size.height() / 2);
    return planarToImage(size, data, bytesPerLine, u, v, chromaLine, 1, every);
}

QSize jpegScaledSize(const QSize& full, const QSize& atLeast)
{
    if (!atLeast.isValid() || atLeast.isEmpty())
        return full;
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    QSize best = full;
    for (int i = 0; factors && i < count; ++i) {
        const QSize scaled(TJSCALED(full.width(), factors[i]), TJSCALED(full.height(), factors[i]));
        if (scaled.width() >= atLeast.width() && scaled.height() >= atLeast.height()
            && qint64(scaled.width()) * scaled.height() < qint64(best.width()) * best.height())
            best = scaled;
    }
    return best;
}

QImage decodeJpeg(const uchar* data, qint64 bytes, const QSize& atLeast)
{
    // A frame that does not start with a JPEG marker is not worth a decoder.
    if (!data || bytes < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return {};
    auto& owner = decompressorHandle();
    tjhandle handle = owner.get();
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (!handle || bytes > 0x7FFFFFFF
        || tjDecompressHeader3(handle, data, ulong(bytes), &width, &height, &subsampling, &colourspace) != 0
        || !validSize(QSize(width, height))) {
        owner.reset();
        return {};
    }
    const QSize scaled = jpegScaledSize(QSize(width, height), atLeast);
    QImage image(scaled, QImage::Format_BGR888);
    if (image.isNull())
        return image;
    // Warnings (data cut short, a damaged segment) fail too: such a frame
    // decodes to a half-grey picture that must not pass for a real one.
    if (tjDecompress2(handle, data, ulong(bytes), image.bits(), scaled.width(), int(image.bytesPerLine()),
                      scaled.height(), TJPF_BGR, TJFLAG_STOPONWARNING)
        != 0) {
        owner.reset();
        return {};
    }
    return image;
}
