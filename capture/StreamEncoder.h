#pragma once

#include "image/FrameJpeg.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class FrameSlot;
class LatestFrame;
struct Frame;

// Encodes the camera's frames for the stream on a thread of its own: each
// new frame once, for every client, at most maxFps a second. When it falls
// behind it takes the newest frame and skips the rest; nothing queues. Each
// JPEG is handed to the UI thread, which publishes it to `frames` with its
// capture time; only the newest not yet handed over is kept. While no client
// watches, the thread sleeps and encodes nothing. Calls come from the UI
// thread; `frames` must outlive it.
class StreamEncoder : public QObject {
    Q_OBJECT
public:
    struct Counts {
        quint64 encoded = 0;       // JPEGs made or passed through
        quint64 passedThrough = 0; // of which the camera's own
        quint64 broken = 0;        // frames that could not be used (a damaged JPEG...)
        quint64 skipped = 0;       // frames never looked at: a newer one came first
    };

    explicit StreamEncoder(LatestFrame& frames, QObject* parent = nullptr);
    ~StreamEncoder() override;

    // The slot of the current source, or null. Before a source goes, this
    // is called with null: returns once the thread has let go of the old
    // slot, which takes at most one short wait slice.
    void setFrameSlot(const FrameSlot* slot);
    // Encodes while `count` > 0 (the stream's clients).
    void setClients(int count);
    bool isRunning() const { return m_clients.load() > 0; }

    // Take effect from the next frame.
    void setQuality(int quality) { m_quality = quality; }
    void setMaxFps(int fps) { m_maxFps = fps > 0 ? fps : 1; }
    void setPassthrough(bool on) { m_passthrough = on; }
    int quality() const { return m_quality; }
    int maxFps() const { return m_maxFps; }

    Counts counts() const;
    // Runs on the encoder thread before each encode (tests make it slow).
    void setBeforeEncode(std::function<void(const Frame&)> hook) { m_beforeEncode = std::move(hook); }

private:
    void run();
    // The work of one frame: its JPEG, or empty when it cannot be used.
    QByteArray encodeFrame(const Frame& frame, FrameJpeg& jpeg);
    void handOver(const QByteArray& jpeg, qint64 captureTimeUs);
    void deliver();

    LatestFrame& m_frames;
    std::function<void(const Frame&)> m_beforeEncode;
    std::atomic<int> m_quality{75};
    std::atomic<int> m_maxFps{30};
    std::atomic<bool> m_passthrough{true};
    std::atomic<int> m_clients{0};
    std::atomic<quint64> m_encoded{0}, m_passedThrough{0}, m_broken{0}, m_skipped{0};

    // Wakes the thread for clients, a new slot and the end.
    std::mutex m_stateMutex;
    std::condition_variable m_wake;
    bool m_quit = false;

    // Held by the thread while it waits in the slot, so the slot cannot go
    // meanwhile; the waits are short so that taking it is too.
    std::mutex m_slotMutex;
    const FrameSlot* m_slot = nullptr;
    quint64 m_slotGeneration = 0;

    std::mutex m_pendingMutex;
    QByteArray m_pendingJpeg;
    qint64 m_pendingTimeUs = 0;
    std::atomic<bool> m_deliveryQueued{false};

    QTimer m_fedTimeout; // the stream falls back to the snapshots when frames stop
    std::thread m_thread;
};
