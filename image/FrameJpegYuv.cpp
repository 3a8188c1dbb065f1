#include "image/FrameJpeg.h"

#include "image/PicturePlanes.h"
#include "image/PictureScale.h"
#include "image/PictureTransform.h"

#include <turbojpeg.h>

#include <linux/videodev2.h>

#include <algorithm>
#include <array>
#include <cmath>

// The YUV road: a camera's YUYV, NV12 or YU12 frame into the compressor's
// planes, turned, mirrored or shrunk on the way.

namespace {

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
void copyPlane(const uchar* in, qint64 line, int step, int width, int height, const uchar* table, uchar* out)
{
    for (int row = 0; row < height; ++row, out += width) {
        const uchar* from = in + row * line;
        for (int x = 0; x < width; ++x, from += step)
            out[x] = table[*from];
    }
}

// Chroma of `height` rows into half as many, each pair of rows averaged:
// 4:2:2 sent as 4:2:0, as the snapshot and most camera JPEGs are, which
// leaves the compressor a third less to do per frame.
void copyChromaHalfHeight(const uchar* in, qint64 line, int step, int width, int height, const uchar* table,
                          uchar* out)
{
    for (int row = 0; row + 1 < height; row += 2, out += width) {
        const uchar* upper = in + row * line;
        const uchar* lower = upper + line;
        for (int x = 0; x < width; ++x, upper += step, lower += step)
            out[x] = table[(*upper + *lower + 1) >> 1];
    }
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
    // Turned and mirrored on the way into the planes.
    const bool turns = options.turnsOrFlips();
    const bool quarter = options.rotation % 180 != 0;
    const bool to420 = subsampling == TJSAMP_422 && height % 2 == 0;
    for (int i = 0; i < 3; ++i) {
        const CameraPlane& p = planes[i];
        m_planes[i].resize(std::size_t(p.width) * std::size_t(p.height));
        if (!turns && i > 0 && to420) {
            copyChromaHalfHeight(p.data, p.line, p.step, p.width, p.height, tables[i], m_planes[i].data());
        } else if (!turns) {
            copyPlane(p.data, p.line, p.step, p.width, p.height, tables[i], m_planes[i].data());
        } else if (i > 0 && to420) {
            turnChromaTo420(p.data, p.line, p.step, p.width, p.height, tables[i], m_planes[i].data(), m_scratch[i],
                            options);
        } else if (quarter) {
            // Through the table in a straight pass first: packed bytes turn
            // in blocks, quicker than sample by sample.
            m_scratch[i].resize(std::size_t(p.width) * std::size_t(p.height));
            copyPlane(p.data, p.line, p.step, p.width, p.height, tables[i], m_scratch[i].data());
            copyPlaneTurned(m_scratch[i].data(), p.width, 1, p.width, p.height, nullptr, m_planes[i].data(), p.height,
                            options);
        } else {
            copyPlaneTurned(p.data, p.line, p.step, p.width, p.height, tables[i], m_planes[i].data(), p.width,
                            options);
        }
    }
    if (!turns)
        return compressPlanes(frame.size, to420 ? TJSAMP_420 : subsampling, quality);
    const int turnedSampling = to420 ? TJSAMP_420 : quarter && subsampling == TJSAMP_422 ? TJSAMP_440 : subsampling;
    return compressPlanes(quarter ? frame.size.transposed() : frame.size, turnedSampling, quality, true);
}
