#include "capture/v4l2/FramePicture.h"

#include "capture/v4l2/V4l2Format.h"
#include "capture/v4l2/V4l2Stream.h"
#include "image/CameraPixels.h"

#include <ctime>
#include <utility>

namespace {

// Padding past the end marker that is still taken for a whole frame.
constexpr qint64 kMaxJpegPadding = 4096;

qint64 clockUs(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

} // namespace

QImage framePicture(const Frame& frame, const QSize& atLeast)
{
    const auto* data = reinterpret_cast<const uchar*>(frame.bytes.constData());
    const qint64 bytes = frame.bytes.size();
    switch (frame.fourcc) {
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
        return decodeJpeg(data, bytes, atLeast);
    case V4L2_PIX_FMT_YUYV:
        return yuyvToImage(data, bytes, frame.size, frame.bytesPerLine, previewStep(frame.size, atLeast));
    case V4L2_PIX_FMT_NV12:
        return nv12ToImage(data, bytes, frame.size, frame.bytesPerLine, previewStep(frame.size, atLeast));
    case V4L2_PIX_FMT_YUV420:
        return yu12ToImage(data, bytes, frame.size, frame.bytesPerLine, previewStep(frame.size, atLeast));
    case V4L2_PIX_FMT_BGR24: {
        V4l2Format format;
        format.width = frame.size.width();
        format.height = frame.size.height();
        format.bytesPerLine = frame.bytesPerLine;
        QImage image;
        if (frame.size.isEmpty() || bytes < format.minimumFrameBytes() || !copyFrame(data, format, &image))
            return {};
        return image;
    }
    default:
        return {};
    }
}

bool jpegLooksWhole(const uchar* data, qint64 bytes)
{
    if (!data || bytes < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return false;
    qint64 end = bytes;
    while (end > 2 && bytes - end < kMaxJpegPadding && data[end - 1] == 0)
        --end;
    return data[end - 2] == 0xFF && data[end - 1] == 0xD9;
}

qint64 wallClockUs(qint64 monotonicUs)
{
    const qint64 wall = clockUs(CLOCK_REALTIME);
    if (monotonicUs <= 0)
        return wall;
    const qint64 age = clockUs(CLOCK_MONOTONIC) - monotonicUs;
    // A timestamp from the future or from long ago is not on this clock.
    return age >= 0 && age < 10 * 1000000 ? wall - age : wall;
}

FramePictureMemo::Made FramePictureMemo::make(const Frame& frame, qint64 arrivedAt, quint64 generation)
{
    {
        std::lock_guard lock(m_mutex);
        if (generation == m_generation && frame.sequence == m_made.sequence)
            return m_made;
    }
    // Converted outside the lock: a reader on the UI thread never waits for it.
    QImage image = framePicture(frame);
    std::lock_guard lock(m_mutex);
    if (generation != m_generation)
        return {std::move(image), frame.sequence, arrivedAt};
    if (frame.sequence <= m_made.sequence)
        return frame.sequence == m_made.sequence || image.isNull() ? m_made
                                                                   : Made{std::move(image), frame.sequence, arrivedAt};
    if (image.isNull()) {
        ++m_undecodable;
        m_made.sequence = frame.sequence;
        return m_made;
    }
    m_made = {std::move(image), frame.sequence, arrivedAt};
    return m_made;
}

FramePictureMemo::Made FramePictureMemo::held() const
{
    std::lock_guard lock(m_mutex);
    return m_made;
}

quint64 FramePictureMemo::generation() const
{
    std::lock_guard lock(m_mutex);
    return m_generation;
}

void FramePictureMemo::clear()
{
    Made old;
    std::lock_guard lock(m_mutex);
    old = std::exchange(m_made, Made());
    ++m_generation;
}

int FramePictureMemo::undecodable() const
{
    std::lock_guard lock(m_mutex);
    return m_undecodable;
}
