#pragma once

#include "capture/source/FrameSlot.h"
#include "capture/v4l2/V4l2Format.h"
#include "capture/v4l2/VideoDevice.h"
#include "capture/v4l2/VideoDeviceHandles.h"

#include <QImage>

#include <atomic>
#include <vector>

// Frames from an open device whose format is set: mmap streaming when the
// device offers it, read() otherwise. The device and fd must outlive the
// stream; the stream owns its buffer mappings and stops on destruction.
// Once started, one thread takes frames while another may read the counts.
class V4l2Stream {
public:
    enum class Method { Mmap, Read };
    enum class Result { Frame, NoFrame, Gone };

    V4l2Stream(VideoDevice& device, int fd, const V4l2Format& format);
    ~V4l2Stream();
    V4l2Stream(const V4l2Stream&) = delete;
    V4l2Stream& operator=(const V4l2Stream&) = delete;

    // Sets up buffers and starts capture: 0, or -errno.
    int start(Method method);
    // Stops capture and releases the buffers. Safe to call twice.
    void stop();
    Method method() const { return m_method; }

    // Takes every frame that is ready, without waiting, keeps the newest
    // complete one and gives every buffer back to the driver. Short frames,
    // MJPEG frames that are not whole and frames the driver flags as broken
    // are dropped. A buffer the driver refuses to take back is tried again
    // on the next call; only when it holds none at all does the stream count
    // as failed. Frame: *frame holds the newest frame's bytes as the camera
    // sent them, with its format and capture time (its sequence untouched).
    // Gone: the device failed (error()).
    Result takeNewest(Frame* frame);
    int error() const { return m_error; }
    // Frames dropped as short or broken since the start.
    int droppedFrames() const { return m_dropped.load(std::memory_order_relaxed); }
    // Buffers the driver refused back (VIDIOC_QBUF) since the start.
    int refusedBuffers() const { return m_refused.load(std::memory_order_relaxed); }

private:
    int startMmap();
    int queueBuffer(quint32 index);
    // Gives a buffer back; a refusal that is not the device failing keeps
    // the buffer aside for the next call. 0, or the failing -errno.
    int giveBack(quint32 index);
    int retryRefused();
    Result takeNewestMmap(Frame* frame);
    Result takeNewestRead(Frame* frame);
    // Whether `bytes` of a frame make a whole one.
    bool isComplete(const unsigned char* data, qint64 bytes) const;
    void fill(Frame* frame, const unsigned char* data, qint64 bytes, qint64 captureTimeUs) const;
    Result fail(int error);

    VideoDevice& m_device;
    const int m_fd;
    const V4l2Format m_format;
    Method m_method = Method::Mmap;
    bool m_streaming = false;
    int m_error = 0;
    std::atomic<int> m_dropped{0};
    std::atomic<int> m_refused{0};
    std::vector<quint32> m_setAside;
    std::vector<MappedBuffer> m_buffers;
    // read(): the newest complete frame and a spare to read the next into.
    std::vector<unsigned char> m_readFrame;
    std::vector<unsigned char> m_readSpare;
};

// Copies one BGR24 frame (rows format.bytesPerLine apart) into a
// Format_BGR888 image, reusing *image's pixels when nobody else shares them.
// False when no image of that size can be had.
bool copyFrame(const unsigned char* data, const V4l2Format& format, QImage* image);
