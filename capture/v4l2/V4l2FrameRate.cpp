#include "capture/v4l2/V4l2FrameRate.h"

#include <linux/videodev2.h>

#include <cmath>

namespace {

// Enough for any real driver; stops a broken one that never says "no more".
constexpr quint32 kMaxIntervals = 64;
// Rates within this of the wanted one count as equal (1/30 s is 30.0003 fps
// for drivers that list 333333/10000000).
constexpr double kRateSlack = 0.01;

double rateOf(const v4l2_fract& interval)
{
    if (interval.numerator == 0 || interval.denominator == 0)
        return 0;
    return double(interval.denominator) / double(interval.numerator);
}

// The interval to ask for: the fastest at or below the wanted rate; else
// the slowest above it. Zero numerator when the driver lists none.
v4l2_fract chooseInterval(VideoDevice& device, int fd, const V4l2Format& format)
{
    v4l2_fract fastestFitting{0, 0};
    v4l2_fract slowestAbove{0, 0};
    for (quint32 index = 0; index < kMaxIntervals; ++index) {
        v4l2_frmivalenum entry{};
        entry.index = index;
        entry.pixel_format = format.pixelFormat;
        entry.width = quint32(format.width);
        entry.height = quint32(format.height);
        if (device.ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &entry) < 0)
            break;
        if (entry.type != V4L2_FRMIVAL_TYPE_DISCRETE) {
            // A range: the wanted interval, held inside it; the driver
            // rounds to its step.
            const double fastest = rateOf(entry.stepwise.min);
            const double slowest = rateOf(entry.stepwise.max);
            if (fastest <= 0 || slowest <= 0)
                return {0, 0};
            if (fastest <= kWantedFrameRate + kRateSlack)
                return entry.stepwise.min;
            if (slowest >= kWantedFrameRate - kRateSlack)
                return entry.stepwise.max;
            return v4l2_fract{1, quint32(kWantedFrameRate)};
        }
        const double rate = rateOf(entry.discrete);
        if (rate <= 0)
            continue;
        if (rate <= kWantedFrameRate + kRateSlack) {
            if (rate > rateOf(fastestFitting))
                fastestFitting = entry.discrete;
        } else if (slowestAbove.numerator == 0 || rate < rateOf(slowestAbove)) {
            slowestAbove = entry.discrete;
        }
    }
    return fastestFitting.numerator ? fastestFitting : slowestAbove;
}

} // namespace

double setBestFrameRate(VideoDevice& device, int fd, const V4l2Format& format)
{
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (device.ioctl(fd, VIDIOC_G_PARM, &parm) < 0 || !(parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME))
        return 0;
    v4l2_fract interval = chooseInterval(device, fd, format);
    // A driver that lists no intervals still takes a wish and rounds it.
    if (interval.numerator == 0)
        interval = v4l2_fract{1, quint32(kWantedFrameRate)};

    v4l2_streamparm request{};
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.parm.capture.timeperframe = interval;
    if (device.ioctl(fd, VIDIOC_S_PARM, &request) < 0)
        return rateOf(parm.parm.capture.timeperframe);
    return rateOf(request.parm.capture.timeperframe);
}
