#include "image/FrameJpeg.h"

#include <turbojpeg.h>

#include <linux/videodev2.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

constexpr int kMaxDimension = 16384;

bool validSize(const QSize& size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= kMaxDimension && size.height() <= kMaxDimension;
}

// Cameras send video-range YUV (luma 16..235, chroma 16..240); a JPEG holds
// full range. Stretching on the way into the planes costs a table look-up
// per byte and keeps black black and white white.
struct RangeTables {
    std::array<uchar, 256> luma;
    std::array<uchar, 256> chroma;
};

const RangeTables& fullRange()
{
    static const RangeTables tables = [] {
        RangeTables t;
        for (int i = 0; i < 256; ++i) {
            t.luma[i] = uchar(std::clamp(std::lround((i - 16) * 255.0 / 219.0), 0L, 255L));
            t.chroma[i] = uchar(std::clamp(std::lround((i - 128) * 255.0 / 224.0 + 128), 0L, 255L));
        }
        return t;
    }();
    return tables;
}

// Copies a plane of `width` x `height` samples, `step` bytes apart in rows
// `line` bytes apart, through `table` into a packed plane.
void copyPlane(const uchar* in, qint64 line, int step, int width, int height, const std::array<uchar, 256>& table,
               uchar* out)
{
    for (int row = 0; row < height; ++row, out += width) {
        const uchar* from = in + row * line;
        for (int x = 0; x < width; ++x, from += step)
            out[x] = table[*from];
    }
}

// The bytes of a whole JPEG: from the start-of-image marker to the
// end-of-image marker, padding some cameras add after it left off.
qsizetype wholeJpegLength(const QByteArray& bytes)
{
    qsizetype end = bytes.size();
    while (end > 4 && bytes[end - 1] == '\0')
        --end;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    if (end < 4 || data[0] != 0xFF || data[1] != 0xD8 || data[end - 2] != 0xFF || data[end - 1] != 0xD9)
        return 0;
    return end;
}

} // namespace

FrameJpeg::FrameJpeg() = default;

FrameJpeg::~FrameJpeg()
{
    if (m_compressor)
        tjDestroy(m_compressor);
    if (m_decompressor)
        tjDestroy(m_decompressor);
    tjFree(m_output);
}

QByteArray FrameJpeg::encode(const CameraImage& frame, int quality, bool passthrough, Outcome* outcome)
{
    Outcome result = Outcome::Encoded;
    QByteArray jpeg;
    quality = std::clamp(quality, 1, 100);
    if (!frame.picture.isNull()) {
        const QImage picture = frame.picture.format() == QImage::Format_BGR888
            ? frame.picture
            : frame.picture.convertToFormat(QImage::Format_BGR888);
        jpeg = encodePixels(picture.constBits(), picture.size(), picture.bytesPerLine(), TJPF_BGR, quality);
    } else {
        switch (frame.fourcc) {
        case V4L2_PIX_FMT_MJPEG:
        case V4L2_PIX_FMT_JPEG:
            jpeg = encodeJpeg(frame, quality, passthrough);
            if (passthrough && !jpeg.isEmpty())
                result = Outcome::PassedThrough;
            break;
        case V4L2_PIX_FMT_YUYV:
        case V4L2_PIX_FMT_NV12:
        case V4L2_PIX_FMT_YUV420:
            jpeg = encodeYuv(frame, quality);
            break;
        case V4L2_PIX_FMT_BGR24:
        case V4L2_PIX_FMT_RGB24: {
            const qint64 needed = frame.bytesPerLine * (frame.size.height() - 1) + qint64(frame.size.width()) * 3;
            if (validSize(frame.size) && frame.bytesPerLine >= frame.size.width() * 3 && frame.bytes.size() >= needed)
                jpeg = encodePixels(reinterpret_cast<const uchar*>(frame.bytes.constData()), frame.size,
                                    frame.bytesPerLine, frame.fourcc == V4L2_PIX_FMT_BGR24 ? TJPF_BGR : TJPF_RGB,
                                    quality);
            break;
        }
        default:
            result = Outcome::Unsupported;
        }
    }
    if (jpeg.isEmpty() && result != Outcome::Unsupported)
        result = Outcome::Broken;
    if (outcome)
        *outcome = result;
    return jpeg;
}

QByteArray FrameJpeg::encodeYuv(const CameraImage& frame, int quality)
{
    const int width = frame.size.width();
    const int height = frame.size.height();
    const qint64 line = frame.bytesPerLine;
    const qint64 bytes = frame.bytes.size();
    if (!validSize(frame.size) || width % 2)
        return {};
    const auto* data = reinterpret_cast<const uchar*>(frame.bytes.constData());
    const RangeTables& range = fullRange();
    const int half = width / 2;
    if (frame.fourcc == V4L2_PIX_FMT_YUYV) {
        if (line < qint64(width) * 2 || bytes < line * (height - 1) + qint64(width) * 2)
            return {};
        m_planes[0].resize(size_t(width) * height);
        m_planes[1].resize(size_t(half) * height);
        m_planes[2].resize(size_t(half) * height);
        copyPlane(data, line, 2, width, height, range.luma, m_planes[0].data());
        copyPlane(data + 1, line, 4, half, height, range.chroma, m_planes[1].data());
        copyPlane(data + 3, line, 4, half, height, range.chroma, m_planes[2].data());
        return compressPlanes(frame.size, TJSAMP_422, quality);
    }
    // NV12 and YU12: a luma plane, then chroma at half size both ways.
    if (height % 2 || line < width || bytes < line * height * 3 / 2)
        return {};
    const int halfHeight = height / 2;
    m_planes[0].resize(size_t(width) * height);
    m_planes[1].resize(size_t(half) * halfHeight);
    m_planes[2].resize(size_t(half) * halfHeight);
    copyPlane(data, line, 1, width, height, range.luma, m_planes[0].data());
    const uchar* chroma = data + line * height;
    if (frame.fourcc == V4L2_PIX_FMT_NV12) {
        copyPlane(chroma, line, 2, half, halfHeight, range.chroma, m_planes[1].data());
        copyPlane(chroma + 1, line, 2, half, halfHeight, range.chroma, m_planes[2].data());
    } else {
        const qint64 chromaLine = line / 2;
        copyPlane(chroma, chromaLine, 1, half, halfHeight, range.chroma, m_planes[1].data());
        copyPlane(chroma + chromaLine * halfHeight, chromaLine, 1, half, halfHeight, range.chroma,
                  m_planes[2].data());
    }
    return compressPlanes(frame.size, TJSAMP_420, quality);
}

QByteArray FrameJpeg::encodeJpeg(const CameraImage& frame, int quality, bool passthrough)
{
    const qsizetype length = wholeJpegLength(frame.bytes);
    if (!length)
        return {};
    if (!m_decompressor && !(m_decompressor = tjInitDecompress()))
        return {};
    const auto* data = reinterpret_cast<const unsigned char*>(frame.bytes.constData());
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(m_decompressor, data, static_cast<unsigned long>(length), &width, &height, &subsampling,
                            &colourspace)
            != 0
        || !validSize(QSize(width, height)) || subsampling < 0) {
        // A handle that failed once can refuse the next good frame.
        tjDestroy(m_decompressor);
        m_decompressor = nullptr;
        return {};
    }
    if (passthrough)
        return length == frame.bytes.size() ? frame.bytes : frame.bytes.left(length);
    // Decoded to its own planes and compressed again at our quality: no RGB.
    const QSize size(width, height);
    const int planes = subsampling == TJSAMP_GRAY ? 1 : 3;
    unsigned char* targets[3] = {};
    int strides[3] = {};
    for (int i = 0; i < planes; ++i) {
        strides[i] = tjPlaneWidth(i, width, subsampling);
        m_planes[i].resize(size_t(strides[i]) * tjPlaneHeight(i, height, subsampling));
        targets[i] = m_planes[i].data();
    }
    if (tjDecompressToYUVPlanes(m_decompressor, data, static_cast<unsigned long>(length), targets, width, strides,
                                height, 0)
        != 0) {
        tjDestroy(m_decompressor);
        m_decompressor = nullptr;
        return {};
    }
    return compressPlanes(size, subsampling, quality);
}

QByteArray FrameJpeg::encodePixels(const uchar* bits, const QSize& size, qint64 pitch, int pixelFormat, int quality)
{
    if (!validSize(size) || pitch > INT_MAX || !reserveOutput(size, TJSAMP_420))
        return {};
    unsigned long written = m_capacity;
    const int status = tjCompress2(m_compressor, bits, size.width(), int(pitch), size.height(), pixelFormat,
                                   &m_output, &written, TJSAMP_420, quality, TJFLAG_NOREALLOC);
    return takeOutput(status == 0, written);
}

QByteArray FrameJpeg::compressPlanes(const QSize& size, int subsampling, int quality)
{
    if (!reserveOutput(size, subsampling))
        return {};
    const unsigned char* planes[3] = {};
    int strides[3] = {};
    for (int i = 0; i < 3; ++i) {
        planes[i] = m_planes[i].empty() ? nullptr : m_planes[i].data();
        strides[i] = tjPlaneWidth(i, size.width(), subsampling);
    }
    unsigned long written = m_capacity;
    const int status = tjCompressFromYUVPlanes(m_compressor, planes, size.width(), strides, size.height(),
                                               subsampling, &m_output, &written, quality, TJFLAG_NOREALLOC);
    return takeOutput(status == 0, written);
}

bool FrameJpeg::reserveOutput(const QSize& size, int subsampling)
{
    if (!m_compressor && !(m_compressor = tjInitCompress()))
        return false;
    // The worst case for the size, so the library never reallocates; the
    // buffer only grows.
    const unsigned long needed = tjBufSize(size.width(), size.height(), subsampling);
    if (needed == static_cast<unsigned long>(-1) || needed > static_cast<unsigned long>(INT_MAX))
        return false;
    if (m_capacity < needed) {
        tjFree(m_output);
        m_capacity = 0;
        if (!(m_output = tjAlloc(static_cast<int>(needed))))
            return false;
        m_capacity = needed;
    }
    return true;
}

QByteArray FrameJpeg::takeOutput(bool ok, unsigned long size)
{
    if (!ok) {
        // The next frame starts from a fresh compressor rather than trust this one.
        tjDestroy(m_compressor);
        m_compressor = nullptr;
        return {};
    }
    // Copied out: the frame outlives this buffer in every client sending it.
    return QByteArray(reinterpret_cast<const char*>(m_output), qsizetype(size));
}
