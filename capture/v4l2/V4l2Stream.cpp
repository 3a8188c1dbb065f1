#include "capture/v4l2/V4l2Stream.h"

#include "capture/v4l2/FramePicture.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <linux/videodev2.h>

namespace {

constexpr quint32 kWantedBuffers = 4;
constexpr quint32 kMaxBuffers = 32;
// A driver that never runs dry would keep us here forever; frames beyond
// this many per wake-up wait for the next one.
constexpr int kMaxTakesPerCall = 64;

// Errors after which the stream cannot go on; others refuse just one call.
bool isDeviceFailure(int error)
{
    return error == -ENODEV || error == -EIO || error == -ENXIO || error == -EBADF;
}

v4l2_buffer captureBuffer(quint32 index = 0)
{
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = index;
    return buffer;
}

} // namespace

bool copyFrame(const unsigned char* data, const V4l2Format& format, QImage* image)
{
    if (image->isNull() || image->size() != format.size() || image->format() != QImage::Format_BGR888
        || !image->isDetached())
        *image = QImage(format.size(), QImage::Format_BGR888);
    if (image->isNull())
        return false;
    const size_t rowBytes = size_t(format.width) * 3;
    for (int y = 0; y < format.height; ++y)
        std::memcpy(image->scanLine(y), data + qint64(y) * format.bytesPerLine, rowBytes);
    return true;
}

V4l2Stream::V4l2Stream(VideoDevice& device, int fd, const V4l2Format& format)
    : m_device(device), m_fd(fd), m_format(format)
{
}

V4l2Stream::~V4l2Stream()
{
    stop();
}

int V4l2Stream::start(Method method)
{
    stop();
    m_method = method;
    m_error = 0;
    if (method == Method::Mmap)
        return startMmap();
    const size_t frameBytes = size_t(m_format.imageSize);
    try {
        m_readFrame.assign(frameBytes, 0);
        m_readSpare.assign(frameBytes, 0);
    } catch (const std::bad_alloc&) {
        stop();
        return -ENOMEM;
    }
    m_streaming = true;
    return 0;
}

int V4l2Stream::startMmap()
{
    v4l2_requestbuffers request{};
    request.count = kWantedBuffers;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (const int result = m_device.ioctl(m_fd, VIDIOC_REQBUFS, &request); result < 0)
        return result;
    if (request.count == 0 || request.count > kMaxBuffers) {
        stop();
        return -ENOMEM;
    }
    for (quint32 index = 0; index < request.count; ++index) {
        v4l2_buffer buffer = captureBuffer(index);
        int result = m_device.ioctl(m_fd, VIDIOC_QUERYBUF, &buffer);
        void* address = nullptr;
        if (result == 0)
            result = m_device.mmap(m_fd, buffer.length, buffer.m.offset, &address);
        if (result < 0) {
            stop();
            return result;
        }
        m_buffers.emplace_back(&m_device, address, buffer.length);
    }
    for (quint32 index = 0; index < request.count; ++index) {
        if (const int result = queueBuffer(index); result < 0) {
            stop();
            return result;
        }
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (const int result = m_device.ioctl(m_fd, VIDIOC_STREAMON, &type); result < 0) {
        stop();
        return result;
    }
    m_streaming = true;
    return 0;
}

void V4l2Stream::stop()
{
    // Best effort: on a vanished device these fail, and the mappings and
    // the fd still have to go.
    if (m_method == Method::Mmap && (m_streaming || !m_buffers.empty())) {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (m_streaming)
            m_device.ioctl(m_fd, VIDIOC_STREAMOFF, &type);
        m_buffers.clear();
        m_setAside.clear();
        v4l2_requestbuffers release{};
        release.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        release.memory = V4L2_MEMORY_MMAP;
        m_device.ioctl(m_fd, VIDIOC_REQBUFS, &release);
    }
    m_readFrame.clear();
    m_readSpare.clear();
    m_streaming = false;
}

int V4l2Stream::queueBuffer(quint32 index)
{
    v4l2_buffer buffer = captureBuffer(index);
    return m_device.ioctl(m_fd, VIDIOC_QBUF, &buffer);
}

int V4l2Stream::giveBack(quint32 index)
{
    const int result = queueBuffer(index);
    if (result == 0 || isDeviceFailure(result))
        return result;
    // One refused buffer costs one buffer's worth of slack, not the stream.
    ++m_refused;
    m_setAside.push_back(index);
    return 0;
}

int V4l2Stream::retryRefused()
{
    std::vector<quint32> pending;
    pending.swap(m_setAside);
    for (quint32 index : pending) {
        if (const int result = giveBack(index); result < 0)
            return result;
    }
    // With every buffer refused nothing can ever arrive: start over.
    if (!m_buffers.empty() && m_setAside.size() == m_buffers.size())
        return -EIO;
    return 0;
}

V4l2Stream::Result V4l2Stream::fail(int error)
{
    m_error = error;
    return Result::Gone;
}

V4l2Stream::Result V4l2Stream::takeNewest(Frame* frame)
{
    if (!m_streaming)
        return fail(m_error ? m_error : -ENODEV);
    return m_method == Method::Mmap ? takeNewestMmap(frame) : takeNewestRead(frame);
}

bool V4l2Stream::isComplete(const unsigned char* data, qint64 bytes) const
{
    if (bytes < m_format.minimumFrameBytes())
        return false;
    return !m_format.isJpeg() || jpegLooksWhole(data, bytes);
}

void V4l2Stream::fill(Frame* frame, const unsigned char* data, qint64 bytes, qint64 captureTimeUs) const
{
    frame->fourcc = m_format.pixelFormat;
    frame->size = m_format.size();
    frame->bytesPerLine = m_format.bytesPerLine;
    // A copy: the buffer goes back to the driver at once, and the frame
    // may be read on any thread for as long as anyone holds it.
    frame->bytes = QByteArray(reinterpret_cast<const char*>(data), qsizetype(bytes));
    frame->captureTimeUs = captureTimeUs;
}

V4l2Stream::Result V4l2Stream::takeNewestMmap(Frame* frame)
{
    const qint64 needed = m_format.minimumFrameBytes();
    int held = -1;
    qint64 heldBytes = 0;
    qint64 heldTime = 0;
    int error = retryRefused();
    for (int take = 0; take < kMaxTakesPerCall && error == 0; ++take) {
        // DQBUF only what is there: libv4l2 prints a line for every DQBUF
        // that fails, EAGAIN included, when it passes the format through.
        const int ready = m_device.waitReadable(m_fd, 0, -1);
        if (ready < 0)
            error = ready;  // a failed or unplugged stream polls as an error
        if (ready <= 0)
            break;
        v4l2_buffer buffer = captureBuffer();
        const int result = m_device.ioctl(m_fd, VIDIOC_DQBUF, &buffer);
        if (result == -EAGAIN)
            break;
        if (result < 0) {
            error = result;
            break;
        }
        if (buffer.index >= m_buffers.size()) {
            error = -EIO;
            break;
        }
        const qint64 filled = qMin<qint64>(buffer.bytesused, qint64(m_buffers[buffer.index].length()));
        if ((buffer.flags & V4L2_BUF_FLAG_ERROR) || filled < needed
            || !isComplete(m_buffers[buffer.index].data(), filled)) {
            ++m_dropped;
            error = giveBack(buffer.index);
            continue;
        }
        // The newer frame wins; the older buffer goes straight back.
        if (held >= 0)
            error = giveBack(quint32(held));
        held = int(buffer.index);
        heldBytes = filled;
        const bool monotonic = (buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
        heldTime = monotonic ? qint64(buffer.timestamp.tv_sec) * 1000000 + buffer.timestamp.tv_usec : 0;
    }
    if (error < 0)
        return fail(error);
    if (held < 0)
        return Result::NoFrame;
    fill(frame, m_buffers[size_t(held)].data(), heldBytes, wallClockUs(heldTime));
    if (const int requeued = giveBack(quint32(held)); requeued < 0)
        return fail(requeued);
    return Result::Frame;
}

V4l2Stream::Result V4l2Stream::takeNewestRead(Frame* frame)
{
    const qint64 needed = m_format.minimumFrameBytes();
    qint64 frameBytes = 0;
    for (int take = 0; take < kMaxTakesPerCall; ++take) {
        const qint64 result = m_device.read(m_fd, m_readSpare.data(), m_readSpare.size());
        if (result == -EAGAIN)
            break;
        // A capture device never ends its stream; 0 means it has stopped
        // working, and would otherwise wake us again and again.
        if (result == 0)
            return fail(-EIO);
        if (result < 0)
            return fail(int(result));
        if (result < needed || !isComplete(m_readSpare.data(), result)) {
            ++m_dropped;
            continue;
        }
        m_readFrame.swap(m_readSpare);
        frameBytes = result;
    }
    if (frameBytes == 0)
        return Result::NoFrame;
    fill(frame, m_readFrame.data(), frameBytes, wallClockUs(0));
    return Result::Frame;
}
