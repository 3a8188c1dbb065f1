#pragma once

#include "capture/v4l2/VideoDevice.h"

#include <QList>
#include <QSize>

// The picture layout a device agreed to: BGR24, 3 bytes a pixel, rows
// bytesPerLine apart (at least width * 3; drivers may pad).
struct V4l2Format {
    int width = 0;
    int height = 0;
    qint64 bytesPerLine = 0;
    qint64 imageSize = 0;  // bytesPerLine * height: one whole frame

    QSize size() const { return {width, height}; }
    // The least bytes a buffer must hold for every row to be complete.
    qint64 minimumFrameBytes() const { return bytesPerLine * (height - 1) + qint64(width) * 3; }
};

// Sizes the device offers for BGR24: discrete sizes as listed, and for a
// stepwise or continuous range the common sizes inside it. Sorted, no
// duplicates; empty when the driver lists nothing.
QList<QSize> enumerateFrameSizes(VideoDevice& device, int fd);

// Asks for BGR24 at the wanted size and takes the size the driver (or
// libv4l2) settles on. 0 and *format filled, or -errno (-EINVAL when the
// device cannot deliver BGR24 at all).
int negotiateFormat(VideoDevice& device, int fd, const QSize& wanted, V4l2Format* format);
