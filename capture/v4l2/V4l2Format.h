#pragma once

#include "capture/v4l2/VideoDevice.h"

#include <QList>
#include <QSize>

#include <linux/videodev2.h>

// The frame layout a device agreed to. Uncompressed formats have rows
// bytesPerLine apart (at least a row's bytes; drivers may pad); the 4:2:0
// ones follow their luma plane with half-height chroma. MJPEG frames vary in
// length up to imageSize and have no rows.
struct V4l2Format {
    quint32 pixelFormat = V4L2_PIX_FMT_BGR24;
    int width = 0;
    int height = 0;
    qint64 bytesPerLine = 0;
    qint64 imageSize = 0;  // the most one frame can take

    QSize size() const { return {width, height}; }
    bool isJpeg() const { return pixelFormat == V4L2_PIX_FMT_MJPEG || pixelFormat == V4L2_PIX_FMT_JPEG; }
    bool isYuv() const
    {
        return pixelFormat == V4L2_PIX_FMT_YUYV || pixelFormat == V4L2_PIX_FMT_NV12 || pixelFormat == V4L2_PIX_FMT_YUV420;
    }
    // The least bytes a frame must hold to be complete (for MJPEG only a
    // start; whether it is whole is told by its markers).
    qint64 minimumFrameBytes() const;
};

// Formats turned into pictures here, best first: the compressed one a USB
// camera sends at high sizes, then YUV, then BGR24 as is.
const QList<quint32>& nativePixelFormats();
// The best of those the driver itself offers (not libv4l2's emulations);
// BGR24 when it offers none, which libv4l2 then converts to.
quint32 choosePixelFormat(VideoDevice& device, int fd);

// Sizes the device offers in a format: discrete sizes as listed, and for a
// stepwise or continuous range the common sizes inside it. Sorted, no
// duplicates; empty when the driver lists nothing.
QList<QSize> enumerateFrameSizes(VideoDevice& device, int fd, quint32 pixelFormat = V4L2_PIX_FMT_BGR24);

// Asks for the pixel format at the wanted size and takes the size the driver
// settles on. When the driver will not give that format, asks for BGR24
// (libv4l2 converts). 0 and *format filled, or -errno (-EINVAL when the
// device cannot deliver either).
int negotiateFormat(VideoDevice& device, int fd, const QSize& wanted, V4l2Format* format,
                    quint32 pixelFormat = V4L2_PIX_FMT_BGR24);
