#include "capture/v4l2/V4l2Format.h"

#include <algorithm>
#include <cerrno>
#include <linux/videodev2.h>

namespace {

// Enough for any real driver; stops a broken one that never says "no more".
constexpr quint32 kMaxSizeEntries = 256;
// Larger than any camera; keeps the frame byte counts far from overflow.
constexpr quint32 kMaxDimension = 16384;

const QSize kCommonSizes[] = {{320, 240}, {640, 480}, {800, 600}, {1280, 720}, {1920, 1080}};

bool lessBySize(const QSize& a, const QSize& b)
{
    return a.width() != b.width() ? a.width() < b.width() : a.height() < b.height();
}

// Bytes of one row's pixels; 0 for a format without rows.
qint64 rowBytes(quint32 pixelFormat, int width)
{
    switch (pixelFormat) {
    case V4L2_PIX_FMT_BGR24:
        return qint64(width) * 3;
    case V4L2_PIX_FMT_YUYV:
        return qint64(width) * 2;
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_YUV420:
        return width;
    default:
        return 0;
    }
}

bool isPlanar(quint32 pixelFormat)
{
    return pixelFormat == V4L2_PIX_FMT_NV12 || pixelFormat == V4L2_PIX_FMT_YUV420;
}

// One S_FMT round; the driver's answer only when it kept the format.
int trySetFormat(VideoDevice& device, int fd, const QSize& wanted, quint32 pixelFormat, V4l2Format* format)
{
    v4l2_format request{};
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.fmt.pix.width = quint32(qMax(wanted.width(), 1));
    request.fmt.pix.height = quint32(qMax(wanted.height(), 1));
    request.fmt.pix.pixelformat = pixelFormat;
    request.fmt.pix.field = V4L2_FIELD_ANY;
    if (const int result = device.ioctl(fd, VIDIOC_S_FMT, &request); result < 0)
        return result;

    const auto& pix = request.fmt.pix;
    if (pix.pixelformat != pixelFormat || pix.width == 0 || pix.height == 0 || pix.width > kMaxDimension
        || pix.height > kMaxDimension)
        return -EINVAL;

    V4l2Format agreed;
    agreed.pixelFormat = pixelFormat;
    agreed.width = int(pix.width);
    agreed.height = int(pix.height);
    const qint64 row = rowBytes(pixelFormat, agreed.width);
    if (row == 0) {
        // Compressed: a frame is at most what the driver says, or an
        // uncompressed frame's worth when it says nothing.
        agreed.imageSize = pix.sizeimage > 0 ? qint64(pix.sizeimage) : qint64(agreed.width) * agreed.height * 3;
        *format = agreed;
        return 0;
    }
    // Some drivers leave bytesperline 0 for packed formats; never trust a
    // stride shorter than a row. Padding beyond a page is not a real layout.
    if (pix.bytesperline > row + 4096)
        return -EINVAL;
    agreed.bytesPerLine = qMax<qint64>(pix.bytesperline, row);
    agreed.imageSize = agreed.bytesPerLine * agreed.height;
    if (isPlanar(pixelFormat))
        agreed.imageSize += agreed.bytesPerLine * (agreed.height / 2);
    *format = agreed;
    return 0;
}

} // namespace

qint64 V4l2Format::minimumFrameBytes() const
{
    if (isJpeg())
        return 4;  // the start and end markers at least
    if (isPlanar(pixelFormat))
        return bytesPerLine * height + bytesPerLine * (height / 2);
    return bytesPerLine * (height - 1) + rowBytes(pixelFormat, width);
}

const QList<quint32>& nativePixelFormats()
{
    static const QList<quint32> formats{V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_JPEG,   V4L2_PIX_FMT_YUYV,
                                        V4L2_PIX_FMT_NV12,  V4L2_PIX_FMT_YUV420, V4L2_PIX_FMT_BGR24};
    return formats;
}

quint32 choosePixelFormat(VideoDevice& device, int fd)
{
    const QList<quint32>& preferred = nativePixelFormats();
    qsizetype best = preferred.size();
    for (quint32 index = 0; index < kMaxSizeEntries; ++index) {
        v4l2_fmtdesc entry{};
        entry.index = index;
        entry.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (device.ioctl(fd, VIDIOC_ENUM_FMT, &entry) < 0)
            break;
        // libv4l2 lists what it can convert to; only the driver's own count.
        if (entry.flags & V4L2_FMT_FLAG_EMULATED)
            continue;
        const qsizetype rank = preferred.indexOf(entry.pixelformat);
        if (rank >= 0 && rank < best)
            best = rank;
    }
    return best < preferred.size() ? preferred[best] : V4L2_PIX_FMT_BGR24;
}

QList<QSize> enumerateFrameSizes(VideoDevice& device, int fd, quint32 pixelFormat)
{
    QList<QSize> sizes;
    for (quint32 index = 0; index < kMaxSizeEntries; ++index) {
        v4l2_frmsizeenum entry{};
        entry.index = index;
        entry.pixel_format = pixelFormat;
        if (device.ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &entry) < 0)
            break;
        if (entry.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            const auto& size = entry.discrete;
            if (size.width > 0 && size.height > 0 && size.width <= kMaxDimension && size.height <= kMaxDimension)
                sizes.append(QSize(int(size.width), int(size.height)));
            continue;
        }
        // Stepwise and continuous ranges come as one entry: offer the usual
        // camera sizes that fit; the driver rounds to its step when asked.
        const auto& range = entry.stepwise;
        for (const QSize& common : kCommonSizes) {
            if (quint32(common.width()) >= range.min_width && quint32(common.width()) <= range.max_width
                && quint32(common.height()) >= range.min_height && quint32(common.height()) <= range.max_height)
                sizes.append(common);
        }
        break;
    }
    std::sort(sizes.begin(), sizes.end(), lessBySize);
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes;
}

int negotiateFormat(VideoDevice& device, int fd, const QSize& wanted, V4l2Format* format, quint32 pixelFormat)
{
    const int result = trySetFormat(device, fd, wanted, pixelFormat, format);
    if (result == 0 || result == -EBUSY || pixelFormat == V4L2_PIX_FMT_BGR24)
        return result;
    return trySetFormat(device, fd, wanted, V4L2_PIX_FMT_BGR24, format);
}
