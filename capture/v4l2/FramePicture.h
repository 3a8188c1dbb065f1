#pragma once

#include "capture/source/FrameSlot.h"

#include <QImage>
#include <QSize>

// A camera frame in its own format made into a picture (Format_BGR888).
// With `atLeast` set, an MJPEG frame is decoded at the smallest scale that
// still covers it; other formats come at full size. Null when the frame
// does not convert (cut short, a broken JPEG, a format not handled).
QImage framePicture(const Frame& frame, const QSize& atLeast = QSize());

// True when an MJPEG frame starts and ends as a JPEG does (trailing zero
// bytes, which some cameras pad with, allowed). Catches frames cut short by
// the transfer without decoding them.
bool jpegLooksWhole(const uchar* data, qint64 bytes);

// Wall-clock microseconds for a V4L2 buffer timestamp on the monotonic clock;
// now when the driver gave none.
qint64 wallClockUs(qint64 monotonicUs);
