#include "image/FrameJpeg.h"

#include "image/CameraPixels.h"
#include "image/PicturePlanes.h"
#include "image/PictureScale.h"
#include "image/PictureTransform.h"

#include <turbojpeg.h>

#include <linux/videodev2.h>

#include <algorithm>
#include <climits>

namespace {

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

bool FrameJpeg::validSize(const QSize& size)
{
    // Larger than any camera; keeps byte counts far from overflow.
    constexpr int kMaxDimension = 16384;
    return size.width() > 0 && size.height() > 0 && size.width() <= kMaxDimension && size.height() <= kMaxDimension;
}

FrameJpeg::FrameJpeg() = default;

FrameJpeg::~FrameJpeg()
{
    if (m_compressor)
        tjDestroy(m_compressor);
    if (m_decompressor)
        tjDestroy(m_decompressor);
    tjFree(m_output);
}

QByteArray FrameJpeg::encode(const CameraImage& frame, int quality, bool passthrough, Outcome* outcome,
                             const PictureOptions* picture)
{
    Outcome result = Outcome::Encoded;
    QByteArray jpeg;
    quality = std::clamp(quality, 1, 100);
    m_picture = picture && PictureStream::needed(*picture) ? picture : nullptr;
    m_when = std::time(nullptr);
    const bool cameraJpeg = frame.picture.isNull()
        && (frame.fourcc == V4L2_PIX_FMT_MJPEG || frame.fourcc == V4L2_PIX_FMT_JPEG);
    const bool yuv = frame.picture.isNull()
        && (frame.fourcc == V4L2_PIX_FMT_YUYV || frame.fourcc == V4L2_PIX_FMT_NV12
            || frame.fourcc == V4L2_PIX_FMT_YUV420);
    // Drawn pictures and RGB bytes go by a picture.
    const QSize target = m_picture && m_picture->streamWidth > 0 ? streamPlaneSize(frame.size, *m_picture) : frame.size;
    const bool yuvFits = yuv && (target == frame.size || shrinksTo(frame.size, target));
    if (m_picture && !cameraJpeg && !yuvFits) {
        const PictureStream::Road road = m_pictureStream.fromFrame(frame.fourcc, frame.size, frame.bytesPerLine,
                                                                   frame.bytes, frame.picture, *m_picture, m_when,
                                                                   quality, &jpeg);
        m_picture = nullptr;
        if (outcome)
            *outcome = road == PictureStream::Road::Failed ? Outcome::Broken : Outcome::Encoded;
        return road == PictureStream::Road::Failed ? QByteArray() : jpeg;
    }
    // A camera JPEG to be turned, captioned or sized is decoded to its planes.
    if (m_picture)
        passthrough = false;
    if (!frame.picture.isNull()) {
        const QImage picture = frame.picture.format() == QImage::Format_BGR888
            ? frame.picture
            : frame.picture.convertToFormat(QImage::Format_BGR888);
        jpeg = encodePixels(picture.constBits(), picture.size(), picture.bytesPerLine(), TJPF_BGR, quality);
    } else if (cameraJpeg) {
        jpeg = encodeJpeg(frame, quality, passthrough);
        if (passthrough && !jpeg.isEmpty())
            result = Outcome::PassedThrough;
    } else if (yuv) {
        jpeg = encodeYuv(frame, quality);
    } else if (frame.fourcc == V4L2_PIX_FMT_BGR24 || frame.fourcc == V4L2_PIX_FMT_RGB24) {
        const qint64 needed = frame.bytesPerLine * (frame.size.height() - 1) + qint64(frame.size.width()) * 3;
        if (validSize(frame.size) && frame.bytesPerLine >= frame.size.width() * 3 && frame.bytes.size() >= needed)
            jpeg = encodePixels(reinterpret_cast<const uchar*>(frame.bytes.constData()), frame.size, frame.bytesPerLine,
                                frame.fourcc == V4L2_PIX_FMT_BGR24 ? TJPF_BGR : TJPF_RGB, quality);
    } else {
        result = Outcome::Unsupported;
    }
    m_picture = nullptr;
    if (jpeg.isEmpty() && result != Outcome::Unsupported)
        result = Outcome::Broken;
    if (outcome)
        *outcome = result;
    return jpeg;
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
    const QSize size(width, height);
    QSize target = size;
    if (m_picture) {
        if (m_picture->streamWidth > 0)
            target = streamPlaneSize(size, *m_picture);
        // Planes the options cannot work on (4:1:1, grey to shrink, odd
        // sizes to turn) go by a picture.
        const bool fits = target == size
            ? planesCanTurn(size, subsampling)
            : subsampling != TJSAMP_GRAY && subsampling != TJSAMP_411
                && shrinksTo(size, target);
        if (!fits) {
            QByteArray jpeg;
            const auto road = m_pictureStream.fromJpeg(data, std::size_t(length), *m_picture, m_when, quality, &jpeg);
            return road == PictureStream::Road::Reencoded ? jpeg : QByteArray();
        }
    }
    // Decoded to its own planes and compressed again at our quality: no RGB.
    const QSize planes = target == size ? size : evenSize(target);
    if (!decodePlanes(data, static_cast<unsigned long>(length), size, &subsampling, planes))
        return {};
    if (planes == size)
        return compressPlanes(size, subsampling, quality);
    return compressPlanes(planes, subsampling, quality, false, turnedSize(target, *m_picture));
}

bool FrameJpeg::decodePlanes(const unsigned char* jpeg, unsigned long length, const QSize& size, int* subsampling,
                             const QSize& target)
{
    // A smaller stream: decoded at TurboJPEG's nearest larger scale, which
    // costs far less than a full decode, then shrunk to 4:2:0.
    const QSize decoded = target == size ? size : jpegScaledSize(size, target);
    const bool shrink = target != size && (decoded != target || *subsampling != TJSAMP_420);
    std::vector<uchar>(&into)[3] = shrink ? m_scratch : m_planes;
    const int count = *subsampling == TJSAMP_GRAY ? 1 : 3;
    unsigned char* targets[3] = {};
    int strides[3] = {};
    for (int i = 0; i < count; ++i) {
        strides[i] = tjPlaneWidth(i, decoded.width(), *subsampling);
        into[i].resize(std::size_t(strides[i]) * std::size_t(tjPlaneHeight(i, decoded.height(), *subsampling)));
        targets[i] = into[i].data();
    }
    if (tjDecompressToYUVPlanes(m_decompressor, jpeg, length, targets, decoded.width(), strides, decoded.height(), 0)
        != 0) {
        tjDestroy(m_decompressor);
        m_decompressor = nullptr;
        return false;
    }
    if (!shrink)
        return true;
    for (int i = 0; i < 3; ++i) {
        const int outWidth = tjPlaneWidth(i, target.width(), TJSAMP_420);
        const int outHeight = tjPlaneHeight(i, target.height(), TJSAMP_420);
        const int inWidth = i ? tjPlaneWidth(i, decoded.width(), *subsampling) : decoded.width();
        const int inHeight = i ? tjPlaneHeight(i, decoded.height(), *subsampling) : decoded.height();
        m_planes[i].resize(std::size_t(outWidth) * std::size_t(outHeight));
        shrinkPlane(into[i].data(), strides[i], 1, inWidth, inHeight, nullptr, m_planes[i].data(), outWidth, outWidth,
                    outHeight);
    }
    *subsampling = TJSAMP_420;
    return true;
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

QByteArray FrameJpeg::compressPlanes(const QSize& frameSize, int frameSubsampling, int quality, bool turned,
                                     const QSize& shown)
{
    QSize size = frameSize;
    int subsampling = frameSubsampling;
    if (m_picture) {
        PictureOptions rest = *m_picture;
        if (turned) {
            // What is left is the caption, on the turned planes.
            rest.rotation = 0;
            rest.flipHorizontal = rest.flipVertical = false;
        }
        if (!pictureOnPlanes(m_planes, m_scratch, size, subsampling, rest, m_when))
            return {};
    }
    if (!reserveOutput(size, subsampling))
        return {};
    const unsigned char* planes[3] = {};
    int strides[3] = {};
    for (int i = 0; i < 3; ++i) {
        planes[i] = m_planes[i].empty() ? nullptr : m_planes[i].data();
        strides[i] = tjPlaneWidth(i, size.width(), subsampling);
    }
    // Cut back to the exact size: the same planes, one row or column less.
    const QSize encoded = shown.isValid() ? shown : size;
    unsigned long written = m_capacity;
    const int status = tjCompressFromYUVPlanes(m_compressor, planes, encoded.width(), strides, encoded.height(),
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
