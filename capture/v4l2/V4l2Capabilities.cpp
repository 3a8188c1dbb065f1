#include "capture/v4l2/V4l2Capabilities.h"

#include <cstring>
#include <linux/videodev2.h>

bool V4l2Capabilities::isCapture() const
{
    return caps & V4L2_CAP_VIDEO_CAPTURE;
}

bool V4l2Capabilities::canStream() const
{
    return caps & V4L2_CAP_STREAMING;
}

bool V4l2Capabilities::canRead() const
{
    return caps & V4L2_CAP_READWRITE;
}

int queryCapabilities(VideoDevice& device, int fd, V4l2Capabilities* capabilities)
{
    v4l2_capability info{};
    if (const int result = device.ioctl(fd, VIDIOC_QUERYCAP, &info); result < 0)
        return result;
    const char* card = reinterpret_cast<const char*>(info.card);
    capabilities->cardName = QString::fromUtf8(card, qsizetype(strnlen(card, sizeof info.card))).trimmed();
    capabilities->caps = (info.capabilities & V4L2_CAP_DEVICE_CAPS) ? info.device_caps : info.capabilities;
    return 0;
}
