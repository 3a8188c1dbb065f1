#include "capture/source/FrameSlot.h"

#include <utility>

quint64 FrameSlot::publish(Frame frame)
{
    auto published = std::make_shared<Frame>(std::move(frame));
    std::shared_ptr<const Frame> previous;
    quint64 sequence = 0;
    {
        MutexLocker lock(m_mutex);
        sequence = ++m_sequence;
        published->sequence = sequence;
        previous = std::exchange(m_latest, std::move(published));
    }
    // The old frame is freed, and readers woken, outside the lock.
    m_changed.notify_all();
    return sequence;
}

std::shared_ptr<const Frame> FrameSlot::latest() const
{
    MutexLocker lock(m_mutex);
    return m_latest;
}

quint64 FrameSlot::sequence() const
{
    MutexLocker lock(m_mutex);
    return m_sequence;
}

std::shared_ptr<const Frame> FrameSlot::waitNewer(quint64 after, std::chrono::milliseconds timeout) const
{
    MutexLocker lock(m_mutex);
    const quint64 clears = m_clears;
    const bool ready = lock.waitFor(m_changed, timeout, [&]() TALVEX_THREAD_ATTRIBUTE(no_thread_safety_analysis) {
        return m_clears != clears || (m_latest && m_sequence > after);
    });
    if (!ready || m_clears != clears)
        return nullptr;
    return m_latest;
}

void FrameSlot::clear()
{
    std::shared_ptr<const Frame> previous;
    {
        MutexLocker lock(m_mutex);
        previous = std::move(m_latest);
        m_latest.reset();
        ++m_clears;
    }
    m_changed.notify_all();
}
