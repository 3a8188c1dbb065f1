#pragma once

#include "capture/source/FrameSlot.h"
#include "core/io/UniqueFd.h"

#include <atomic>
#include <functional>
#include <thread>

class V4l2Stream;
class VideoDevice;

// Takes every frame a started stream delivers, on a thread of its own, and
// hands on the newest of each wake-up. The device, fd and stream must
// outlive it; nothing else may take frames from the stream meanwhile.
class V4l2CaptureThread {
public:
    // Both run on the capture thread: with each frame, and once with the
    // -errno when the device fails (the thread then ends).
    using FrameArrived = std::function<void(Frame&& frame)>;
    using Failed = std::function<void(int error)>;

    V4l2CaptureThread(VideoDevice& device, int fd, V4l2Stream& stream);
    ~V4l2CaptureThread();
    V4l2CaptureThread(const V4l2CaptureThread&) = delete;
    V4l2CaptureThread& operator=(const V4l2CaptureThread&) = delete;

    // 0, or -errno when no thread or wake-up could be had.
    int start(FrameArrived frameArrived, Failed failed);
    // Wakes the thread and waits for it to end: no longer than the device
    // call it is in. Safe to call twice.
    void stop();

private:
    void run();
    // Waits up to ms for nothing but the stop.
    void pause(int ms);

    VideoDevice& m_device;
    const int m_fd;
    V4l2Stream& m_stream;
    FrameArrived m_frameArrived;
    Failed m_failed;
    UniqueFd m_wake;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
