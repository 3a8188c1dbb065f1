#pragma once

#include "capture/v4l2/V4l2Format.h"
#include "capture/v4l2/VideoDevice.h"

// Snapshots are at most five a second, but the live display and the
// freshness of each snapshot gain from a faster camera; beyond this the
// camera only costs CPU.
constexpr double kWantedFrameRate = 30.0;

// Asks the device for the highest frame rate it offers for the agreed
// format, up to kWantedFrameRate (the slowest rate above it when it offers
// nothing slower), with VIDIOC_S_PARM. A driver keeps the rate of its last
// user otherwise. Returns the rate the driver settled on in frames a
// second, or 0 when the device has no rate to set or refuses it (capture
// still works at the driver's own rate).
double setBestFrameRate(VideoDevice& device, int fd, const V4l2Format& format);
