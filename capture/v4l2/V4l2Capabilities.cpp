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

namespace {

// Drivers fill the whole field without a terminating NUL when the text is that long.
QString fixedText(const __u8* field, size_t size)
{
    const char* text = reinterpret_cast<const char*>(field);
    return QString::fromUtf8(text, qsizetype(strnlen(text, size))).trimmed();
}

} // namespace

int queryCapabilities(VideoDevice& device, int fd, V4l2Capabilities* capabilities)
{
    v4l2_capability info{};
    if (const int result = device.ioctl(fd, VIDIOC_QUERYCAP, &info); result < 0)
        return result;
    capabilities->cardName = fixedText(info.card, sizeof info.card);
    capabilities->busInfo = fixedText(info.bus_info, sizeof info.bus_info);
    capabilities->caps = (info.capabilities & V4L2_CAP_DEVICE_CAPS) ? info.device_caps : info.capabilities;
    return 0;
}
