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

} // namespace

QList<QSize> enumerateFrameSizes(VideoDevice& device, int fd)
{
    QList<QSize> sizes;
    for (quint32 index = 0; index < kMaxSizeEntries; ++index) {
        v4l2_frmsizeenum entry{};
        entry.index = index;
        entry.pixel_format = V4L2_PIX_FMT_BGR24;
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

int negotiateFormat(VideoDevice& device, int fd, const QSize& wanted, V4l2Format* format)
{
    v4l2_format request{};
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.fmt.pix.width = quint32(qMax(wanted.width(), 1));
    request.fmt.pix.height = quint32(qMax(wanted.height(), 1));
    request.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
    request.fmt.pix.field = V4L2_FIELD_ANY;
    if (const int result = device.ioctl(fd, VIDIOC_S_FMT, &request); result < 0)
        return result;

    const auto& pix = request.fmt.pix;
    if (pix.pixelformat != V4L2_PIX_FMT_BGR24 || pix.width == 0 || pix.height == 0
        || pix.width > kMaxDimension || pix.height > kMaxDimension)
        return -EINVAL;

    V4l2Format agreed;
    agreed.width = int(pix.width);
    agreed.height = int(pix.height);
    // Some drivers leave bytesperline 0 for packed formats; never trust a
    // stride shorter than a row. Padding beyond a page is not a real layout.
    const qint64 row = qint64(agreed.width) * 3;
    if (pix.bytesperline > row + 4096)
        return -EINVAL;
    agreed.bytesPerLine = qMax<qint64>(pix.bytesperline, row);
    agreed.imageSize = agreed.bytesPerLine * agreed.height;
    *format = agreed;
    return 0;
}
