#include "image/FrameJpeg.h"

#include "image/PicturePlanes.h"
#include "image/PictureScale.h"
#include "image/PictureTransform.h"
#include "image/YuvRows.h"

#include <turbojpeg.h>

#include <linux/videodev2.h>

#include <algorithm>
#include <array>

// The YUV road: a camera's YUYV, NV12 or YU12 frame into the compressor's
// planes, turned, mirrored or shrunk on the way.

namespace {

// The shrink reads samples one at a time: the same stretch as a table.
struct RangeTables {
    std::array<uchar, 256> luma;
    std::array<uchar, 256> chroma;
};

const RangeTables& fullRange()
{
    static const RangeTables tables = [] {
        RangeTables t;
        for (int i = 0; i < 256; ++i) {
            t.luma[i] = fullRangeLuma(i);
            t.chroma[i] = fullRangeChroma(i);
        }
        return t;
    }();
    return tables;
}

// One plane of a camera's YUV frame where the camera put it.
struct CameraPlane {
    const uchar* data;
    qint64 line;
    int step;
    int width;
    int height;
};

} // namespace

QByteArray FrameJpeg::encodeYuv(const CameraImage& frame, int quality)
{
    const int width = frame.size.width();
    const int height = frame.size.height();
    const qint64 line = frame.bytesPerLine;
    const qint64 bytes = frame.bytes.size();
    if (!validSize(frame.size) || width % 2)
        return {};
    const auto* data = reinterpret_cast<const uchar*>(frame.bytes.constData());
    const int half = width / 2;
    int subsampling = TJSAMP_422;
    CameraPlane planes[3];
    if (frame.fourcc == V4L2_PIX_FMT_YUYV) {
        if (line < qint64(width) * 2 || bytes < line * (height - 1) + qint64(width) * 2)
            return {};
        planes[0] = {data, line, 2, width, height};
        planes[1] = {data + 1, line, 4, half, height};
        planes[2] = {data + 3, line, 4, half, height};
    } else {
        // NV12 and YU12: a luma plane, then chroma at half size both ways.
        if (height % 2 || line < width || bytes < line * height * 3 / 2)
            return {};
        subsampling = TJSAMP_420;
        const int halfHeight = height / 2;
        const uchar* chroma = data + line * height;
        planes[0] = {data, line, 1, width, height};
        if (frame.fourcc == V4L2_PIX_FMT_NV12) {
            planes[1] = {chroma, line, 2, half, halfHeight};
            planes[2] = {chroma + 1, line, 2, half, halfHeight};
        } else {
            planes[1] = {chroma, line / 2, 1, half, halfHeight};
            planes[2] = {chroma + line / 2 * halfHeight, line / 2, 1, half, halfHeight};
        }
    }
    const RangeTables& range = fullRange();
    const uchar* tables[3] = {range.luma.data(), range.chroma.data(), range.chroma.data()};
    const PictureOptions none;
    const PictureOptions& options = m_picture ? *m_picture : none;
    const QSize target = options.streamWidth > 0 ? streamPlaneSize(frame.size, options) : frame.size;
    if (target != frame.size) {
        // A smaller stream: shrunk straight from the camera's bytes to 4:2:0.
        const QSize even = evenSize(target);
        for (int i = 0; i < 3; ++i) {
            const CameraPlane& p = planes[i];
            const int outWidth = tjPlaneWidth(i, even.width(), TJSAMP_420);
            const int outHeight = tjPlaneHeight(i, even.height(), TJSAMP_420);
            m_planes[i].resize(std::size_t(outWidth) * std::size_t(outHeight));
            shrinkPlane(p.data, p.line, p.step, p.width, p.height, tables[i], m_planes[i].data(), outWidth, outWidth,
                        outHeight);
        }
        return compressPlanes(even, TJSAMP_420, quality, false, turnedSize(target, options));
    }
    // Stretched in a straight pass into the compressor's planes; turned or
    // mirrored a band of rows at a time, through a scratch band small
    // enough to stay in the cache between the two passes.
    const bool turns = options.turnsOrFlips();
    const bool quarter = options.rotation % 180 != 0;
    const bool to420 = subsampling == TJSAMP_420 || height % 2 == 0;
    const int sampling = to420 ? TJSAMP_420 : subsampling;
    for (int i = 0; i < 3; ++i)
        m_planes[i].resize(std::size_t(tjPlaneWidth(i, width, sampling)) * tjPlaneHeight(i, height, sampling));
    if (!turns) {
        fullRangePlanes(frame.fourcc, data, line, width, height, to420, 0, height,
                       {m_planes[0].data(), m_planes[1].data(), m_planes[2].data()});
        return compressPlanes(frame.size, sampling, quality);
    }
    constexpr int kBand = 64;
    for (int i = 0; i < 3; ++i)
        m_scratch[i].resize(std::size_t(tjPlaneWidth(i, width, sampling)) * kBand);
    const QSize turned = quarter ? frame.size.transposed() : frame.size;
    const int turnedSampling = quarter && sampling == TJSAMP_422 ? TJSAMP_440 : sampling;
    for (int first = 0; first < height; first += kBand) {
        const int rows = std::min(kBand, height - first);
        fullRangePlanes(frame.fourcc, data, line, width, height, to420, first, rows,
                       {m_scratch[0].data(), m_scratch[1].data(), m_scratch[2].data()});
        for (int i = 0; i < 3; ++i) {
            const int shrink = i > 0 && sampling == TJSAMP_420 ? 2 : 1;
            copyBandTurned(m_scratch[i].data(), tjPlaneWidth(i, width, sampling), first / shrink, rows / shrink,
                           tjPlaneHeight(i, height, sampling), m_planes[i].data(),
                           tjPlaneWidth(i, turned.width(), turnedSampling), options);
        }
    }
    return compressPlanes(turned, turnedSampling, quality, true);
}
