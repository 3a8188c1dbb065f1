#include "capture/StreamEncoder.h"

#include "capture/source/FrameSlot.h"
#include "http/stream/LatestFrame.h"
#include "image/PictureApply.h"

#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;

// Longest the thread waits in a slot at a time: the most a source change
// waits for it to let go.
constexpr std::chrono::milliseconds kWaitSlice{10};
// With no frame handed over for this long the camera has stopped, and the
// snapshots feed the stream again.
constexpr int kFedTimeoutMs = 1000;

CameraImage cameraImage(const Frame& frame)
{
    return CameraImage{frame.fourcc, frame.size, frame.bytesPerLine, frame.bytes, frame.picture};
}

} // namespace

StreamEncoder::StreamEncoder(LatestFrame& frames, QObject* parent)
    : QObject(parent)
    , m_frames(frames)
{
    m_fedTimeout.setSingleShot(true);
    m_fedTimeout.setInterval(kFedTimeoutMs);
    connect(&m_fedTimeout, &QTimer::timeout, this, [this] { m_frames.setCameraFed(false); });
}

StreamEncoder::~StreamEncoder()
{
    {
        std::lock_guard lock(m_stateMutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    m_frames.setCameraFed(false);
}

void StreamEncoder::setFrameSlot(const FrameSlot* slot)
{
    {
        std::lock_guard lock(m_slotMutex);
        m_slot = slot;
        ++m_slotGeneration;
    }
    m_wake.notify_all();
}

void StreamEncoder::setClients(int count)
{
    {
        std::lock_guard lock(m_stateMutex);
        m_clients = std::max(0, count);
    }
    if (m_clients > 0 && !m_thread.joinable())
        m_thread = std::thread([this] { run(); });
    m_wake.notify_all();
    if (m_clients == 0) {
        m_fedTimeout.stop();
        m_frames.setCameraFed(false);
    }
}

StreamEncoder::Counts StreamEncoder::counts() const
{
    return Counts{m_encoded.load(), m_passedThrough.load(), m_broken.load(), m_skipped.load()};
}

void StreamEncoder::run()
{
    FrameJpeg jpeg;
    quint64 generation = 0;
    quint64 after = 0; // the last frame taken from the current slot
    Clock::time_point due = Clock::now();
    for (;;) {
        {
            std::unique_lock lock(m_stateMutex);
            m_wake.wait(lock, [this] { return m_quit || m_clients > 0; });
            if (m_quit)
                return;
            // The rate cap: no frame before its turn. Interrupted by the end
            // or the last client leaving.
            if (m_wake.wait_until(lock, due, [this] { return m_quit || m_clients == 0; }))
                continue;
        }
        std::shared_ptr<const Frame> frame;
        bool haveSlot = false;
        {
            std::lock_guard lock(m_slotMutex);
            if (generation != m_slotGeneration) {
                generation = m_slotGeneration;
                after = 0;
            }
            haveSlot = m_slot != nullptr;
            if (haveSlot)
                frame = m_slot->waitNewer(after, kWaitSlice);
        }
        if (!frame) {
            if (!haveSlot) {
                std::unique_lock lock(m_stateMutex);
                m_wake.wait_for(lock, kWaitSlice, [this] { return m_quit; });
            }
            continue;
        }
        // The last client may have gone during the wait: the frame stays
        // for when someone watches again.
        if (m_clients == 0)
            continue;
        if (after && frame->sequence > after + 1)
            m_skipped += frame->sequence - after - 1;
        after = frame->sequence;
        // Turns on a grid, so a source at the cap's own rate loses no frame
        // to jitter; after a pause the grid restarts rather than burst.
        const auto now = Clock::now();
        const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / m_maxFps));
        due = std::max(due + interval, now + interval / 2);
        const QByteArray encoded = encodeFrame(*frame, jpeg);
        if (!encoded.isEmpty())
            handOver(encoded, frame->captureTimeUs);
    }
}

QByteArray StreamEncoder::encodeFrame(const Frame& frame, FrameJpeg& jpeg)
{
    if (m_beforeEncode)
        m_beforeEncode(frame);
    FrameJpeg::Outcome outcome = FrameJpeg::Outcome::Broken;
    // The picture options in force now, kept for the whole frame.
    const std::shared_ptr<const PictureOptions> picture = pictureSlot().options();
    const QByteArray result = jpeg.encode(cameraImage(frame), m_quality, m_passthrough, &outcome, picture.get());
    if (result.isEmpty()) {
        ++m_broken;
        return result;
    }
    ++m_encoded;
    if (outcome == FrameJpeg::Outcome::PassedThrough)
        ++m_passedThrough;
    return result;
}

void StreamEncoder::handOver(const QByteArray& jpeg, qint64 captureTimeUs)
{
    {
        std::lock_guard lock(m_pendingMutex);
        m_pendingJpeg = jpeg;
        m_pendingTimeUs = captureTimeUs;
    }
    // One call in the UI thread's queue at most; it takes whatever is newest then.
    if (!m_deliveryQueued.exchange(true))
        QMetaObject::invokeMethod(this, &StreamEncoder::deliver, Qt::QueuedConnection);
}

void StreamEncoder::deliver()
{
    m_deliveryQueued = false;
    QByteArray jpeg;
    qint64 captureTimeUs = 0;
    {
        std::lock_guard lock(m_pendingMutex);
        jpeg = std::exchange(m_pendingJpeg, QByteArray());
        captureTimeUs = m_pendingTimeUs;
    }
    if (jpeg.isEmpty() || m_clients == 0)
        return;
    m_frames.setCameraFed(true);
    m_fedTimeout.start();
    m_frames.publish(jpeg, captureTimeUs);
}
