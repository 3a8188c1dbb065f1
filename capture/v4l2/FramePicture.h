#pragma once

#include "capture/source/FrameSlot.h"

#include <QImage>
#include <QSize>

#include <mutex>

// A camera frame in its own format made into a picture (Format_BGR888).
// With `atLeast` set, an MJPEG frame is decoded at the smallest scale that
// still covers it, and a YUV frame made from every second, fourth... pixel
// as far as it still covers it; BGR frames come at full size. Null when the frame
// does not convert (cut short, a broken JPEG, a format not handled).
QImage framePicture(const Frame& frame, const QSize& atLeast = QSize());

// True when an MJPEG frame starts and ends as a JPEG does (trailing zero
// bytes, which some cameras pad with, allowed). Catches frames cut short by
// the transfer without decoding them.
bool jpegLooksWhole(const uchar* data, qint64 bytes);

// Wall-clock microseconds for a V4L2 buffer timestamp on the monotonic clock;
// now when the driver gave none.
qint64 wallClockUs(qint64 monotonicUs);

// The newest frame made into a full-size picture, shared by a source and
// the stills it hands out, which may be developed on other threads. Each
// frame is converted and counted once, however many ask for it.
class FramePictureMemo {
public:
    struct Made {
        QImage image;
        quint64 sequence = 0;
        qint64 arrivedAt = 0;  // when the frame it was made from came
    };
    // The picture of `frame`, which came at `arrivedAt`: converted unless it
    // is the one held. A frame that does not convert is counted and leaves
    // the picture before it. `generation` is generation() when the frame
    // was taken; after a clear() since, nothing is kept.
    Made make(const Frame& frame, qint64 arrivedAt, quint64 generation);
    Made held() const;
    quint64 generation() const;
    // Forgets the picture (the camera has gone).
    void clear();
    // Frames that did not convert.
    int undecodable() const;

private:
    mutable std::mutex m_mutex;
    Made m_made;
    quint64 m_generation = 0;
    int m_undecodable = 0;
};
