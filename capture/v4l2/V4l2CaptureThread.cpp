#include "capture/v4l2/V4l2CaptureThread.h"

#include "capture/v4l2/V4l2Stream.h"
#include "capture/v4l2/VideoDevice.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <system_error>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// After a wake-up without a frame: a device whose fd stays readable with
// nothing in it would otherwise keep the thread spinning.
constexpr int kIdleAfterEmptyWakeMs = 5;

} // namespace

V4l2CaptureThread::V4l2CaptureThread(VideoDevice& device, int fd, V4l2Stream& stream)
    : m_device(device), m_fd(fd), m_stream(stream)
{
}

V4l2CaptureThread::~V4l2CaptureThread()
{
    stop();
}

int V4l2CaptureThread::start(FrameArrived frameArrived, Failed failed)
{
    stop();
    m_wake = UniqueFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (m_wake.get() < 0)
        return -errno;
    m_frameArrived = std::move(frameArrived);
    m_failed = std::move(failed);
    m_stopping = false;
    try {
        m_thread = std::thread(&V4l2CaptureThread::run, this);
    } catch (const std::system_error& error) {
        m_wake.reset();
        return -error.code().value();
    }
    return 0;
}

void V4l2CaptureThread::stop()
{
    if (!m_thread.joinable())
        return;
    m_stopping = true;
    const uint64_t one = 1;
    if (::write(m_wake.get(), &one, sizeof one) < 0) {
        // An eventfd refuses a write only at its maximum count: awake anyway.
    }
    m_thread.join();
    m_wake.reset();
}

void V4l2CaptureThread::pause(int ms)
{
    pollfd entry{m_wake.get(), POLLIN, 0};
    ::poll(&entry, 1, ms);
}

void V4l2CaptureThread::run()
{
    while (!m_stopping) {
        const int ready = m_device.waitReadable(m_fd, -1, m_wake.get());
        if (m_stopping)
            return;
        if (ready < 0) {
            m_failed(ready);
            return;
        }
        if (ready == 0)
            continue;
        Frame frame;
        switch (m_stream.takeNewest(&frame)) {
        case V4l2Stream::Result::Frame:
            m_frameArrived(std::move(frame));
            break;
        case V4l2Stream::Result::Gone:
            m_failed(m_stream.error());
            return;
        case V4l2Stream::Result::NoFrame:
            // Woken without a frame: a device that was pulled out keeps the
            // fd readable with an error.
            if (const int state = m_device.waitReadable(m_fd, 0, -1); state < 0) {
                m_failed(state);
                return;
            }
            pause(kIdleAfterEmptyWakeMs);
            break;
        }
    }
}
