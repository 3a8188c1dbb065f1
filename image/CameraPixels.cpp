#include "image/CameraPixels.h"

#include "image/YuvRows.h"

#include <turbojpeg.h>

#include <linux/videodev2.h>

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

// Planar 4:2:0 with chroma samples `step` bytes apart in rows chromaLine
// apart; u and v point at the first sample of each. Every `every`th pixel
// of every `every`th row.
QImage planarToImage(const QSize& size, const uchar* luma, qint64 lumaLine, const uchar* u, const uchar* v,
                     qint64 chromaLine, int step, int every)
{
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

// A whole YUV frame to a picture: its full-range planes, then TurboJPEG's
// own colour conversion, which runs in vector registers, several times
// quicker than a pixel at a time. The planes are kept for the thread's next frame.
QImage wholeFrameToImage(quint32 fourcc, const uchar* data, qint64 line, const QSize& size)
{
    const bool yuyv = fourcc == V4L2_PIX_FMT_YUYV;
    const int sampling = yuyv ? TJSAMP_422 : TJSAMP_420;
    thread_local std::vector<uchar> planes[3];
    for (int i = 0; i < 3; ++i)
        planes[i].resize(std::size_t(tjPlaneWidth(i, size.width(), sampling))
                         * std::size_t(tjPlaneHeight(i, size.height(), sampling)));
    fullRangePlanes(fourcc, data, line, size.width(), size.height(), !yuyv, 0, size.height(),
                    {planes[0].data(), planes[1].data(), planes[2].data()});
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
    if (every == 1)
        return wholeFrameToImage(V4L2_PIX_FMT_YUYV, data, bytesPerLine, size);
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
    if (every == 1)
        return wholeFrameToImage(V4L2_PIX_FMT_NV12, data, bytesPerLine, size);
    const uchar* chroma = data + bytesPerLine * size.height();
    return planarToImage(size, data, bytesPerLine, chroma, chroma + 1, bytesPerLine, 2, every);
}

QImage yu12ToImage(const uchar* data, qint64 bytes, const QSize& size, qint64 bytesPerLine, int every)
{
    if (!data || !validSize(size) || size.width() % 2 || size.height() % 2 || bytesPerLine < size.width()
        || bytes < bytesPerLine * size.height() * 3 / 2 || every < 1)
        return {};
    if (every == 1)
        return wholeFrameToImage(V4L2_PIX_FMT_YUV420, data, bytesPerLine, size);
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
