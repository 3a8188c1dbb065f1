#pragma once

#include "capture/source/ThreadAnnotations.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <memory>

// One camera frame as the camera sent it, never changed once published, so
// any thread may read it without a lock.
struct Frame {
    // The V4L2 fourcc of `bytes` (MJPEG, YUYV, NV12, YU12, BGR24, ...).
    quint32 fourcc = 0;
    QSize size;
    qint64 bytesPerLine = 0;  // 0 for compressed formats
    QByteArray bytes;
    // A source that draws its own pictures (the test pattern) hands over the
    // picture (Format_BGR888, fourcc BGR24) here instead of bytes.
    QImage picture;
    // Counts up from 1 for each frame published into the slot.
    quint64 sequence = 0;
    // When the camera captured it: microseconds since the epoch (wall clock).
    qint64 captureTimeUs = 0;
};

// The newest frame from a capture thread, for any number of readers. There
// is no queue: a slow reader skips to the newest frame, and publishing never
// waits for a reader. Every call holds the lock only for a pointer swap.
class FrameSlot {
public:
    // Stores `frame` as the newest, numbers it and wakes waiting readers.
    // Returns its sequence number.
    quint64 publish(Frame frame) EXCLUDES(m_mutex);
    // The newest frame, or null when there is none (yet, or any more).
    std::shared_ptr<const Frame> latest() const EXCLUDES(m_mutex);
    // The newest sequence number published; 0 before the first.
    quint64 sequence() const EXCLUDES(m_mutex);
    // Waits up to `timeout` for a frame newer than `after` and returns the
    // newest; null on time-out or when the slot is cleared meanwhile.
    std::shared_ptr<const Frame> waitNewer(quint64 after, std::chrono::milliseconds timeout) const EXCLUDES(m_mutex);
    // Forgets the frame (the camera has gone) and wakes waiting readers.
    void clear() EXCLUDES(m_mutex);

private:
    mutable Mutex m_mutex;
    // Waiting changes nothing a reader sees, so readers wait on a const slot.
    mutable std::condition_variable m_changed;
    std::shared_ptr<const Frame> m_latest GUARDED_BY(m_mutex);
    quint64 m_sequence GUARDED_BY(m_mutex) = 0;
    quint64 m_clears GUARDED_BY(m_mutex) = 0;
};
