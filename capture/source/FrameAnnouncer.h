#pragma once

#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <functional>
#include <utility>

// Tells a source on the UI thread, from the thread that makes its frames,
// that frames came: at most one notice is on its way, so the source hears
// once however many frames came before its event loop got round to it.
class FrameAnnouncer {
public:
    // `announce` runs on the receiver's thread.
    FrameAnnouncer(QObject* receiver, std::function<void()> announce)
        : m_receiver(receiver), m_announce(std::move(announce))
    {
    }

    // On the thread that makes frames, after each one published.
    void frameArrived()
    {
        if (m_pending.exchange(true))
            return;
        const unsigned generation = m_generation;
        QMetaObject::invokeMethod(
            m_receiver,
            [this, generation] {
                if (generation != m_generation)
                    return;
                m_pending = false;
                m_announce();
            },
            Qt::QueuedConnection);
    }

    // On the receiver's thread once the frames' thread has stopped: a notice
    // still queued is about frames from before, and is dropped.
    void forgetQueued()
    {
        ++m_generation;
        m_pending = false;
    }

private:
    QObject* const m_receiver;
    const std::function<void()> m_announce;
    std::atomic<bool> m_pending{false};
    std::atomic<unsigned> m_generation{0};
};
