#pragma once

#include "capture/v4l2/VideoDevice.h"

#include <QString>

// What VIDIOC_QUERYCAP says about one device node.
struct V4l2Capabilities {
    QString cardName;
    // Where the device hangs ("usb-0000:00:14.0-1", "platform:vivid-000").
    QString busInfo;
    // The node's own capabilities (device_caps when the driver reports
    // them; capabilities covers every node of a multi-node device).
    quint32 caps = 0;

    bool isCapture() const;
    bool canStream() const;
    bool canRead() const;
    // A video capture node that delivers frames one way or the other.
    bool canCapture() const { return isCapture() && (canStream() || canRead()); }
};

// 0 and *capabilities filled, or -errno.
int queryCapabilities(VideoDevice& device, int fd, V4l2Capabilities* capabilities);
