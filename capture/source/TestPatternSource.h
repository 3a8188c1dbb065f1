#pragma once

#include "capture/source/FrameAnnouncer.h"
#include "capture/source/FrameSlot.h"
#include "capture/source/ThreadAnnotations.h"
#include "capture/source/VideoSource.h"

#include <atomic>
#include <condition_variable>
#include <thread>

// The built-in source: colour bars with a moving box and the current time,
// for machines without a camera. The bars are drawn once per frame size;
// each frame copies them and draws only the moving parts, which keeps even
// 1920 x 1080 cheap. Frames are Format_BGR888, the bitmap file's own order.
// While open, frames are drawn on a thread of their own, as a camera's come;
// frameReady() follows on the UI thread, once for however many came.
class TestPatternSource : public VideoSource {
    Q_OBJECT
public:
    explicit TestPatternSource(QObject* parent = nullptr);
    ~TestPatternSource() override;

    static QString sourceId() { return QStringLiteral("testpattern"); }
    static QString sourceName() { return tr("Test pattern"); }
    // Frame period while open unless set (about 12 frames a second), and
    // the fastest rate that can be set.
    static constexpr int frameIntervalMs = 80;
    static constexpr double maxFrameRate = 30;
    // The rate in the user's configuration ("Capture/TestPatternFps"),
    // clamped to 1 .. maxFrameRate; the default period when absent or not
    // a number. A new source starts at this rate.
    static double configuredFrameRate();

    QString id() const override { return sourceId(); }
    QString displayName() const override { return sourceName(); }

    bool open() override;
    void close() override;
    bool isOpen() const override;

    QImage latestFrame() const override;
    // The newest frame while open, drawn afresh when a still had it already
    // or the source is closed. Never fails.
    QImage grabStill(QString* error) override;

    QList<QSize> frameSizes() const override;
    QSize frameSize() const override;
    double frameRate() const override { return 1000.0 / m_intervalMs; }
    // Frames a second while open, 1 to maxFrameRate; others are clamped.
    void setFrameRate(double rate);
    const FrameSlot* frameSlot() const override { return &m_frames; }
    // Only the offered sizes are accepted.
    bool setFrameSize(const QSize& size) override;

private:
    void startDrawing();
    void stopDrawing();
    void run();
    // Draws the next frame (the box moves one step), publishes it and
    // returns it. On the drawing thread while open, and for a still.
    QImage renderFrame() EXCLUDES(m_drawLock);
    // The bars, when the size is set: only while the thread is stopped.
    void drawBackground() EXCLUDES(m_drawLock);

    FrameSlot m_frames;
    std::atomic<int> m_intervalMs{frameIntervalMs};

    // The drawing thread and what stops it. The size changes only while it
    // is stopped; the rest of the drawing state is under m_drawLock.
    std::thread m_thread;
    Mutex m_stopLock;
    std::condition_variable m_stopChanged;
    bool m_stopping GUARDED_BY(m_stopLock) = false;
    FrameAnnouncer m_announcer{this, [this] { emit frameReady(); }};

    quint64 m_stillSequence = 0;  // the frame the last still showed

    QSize m_size{640, 480};
    Mutex m_drawLock;
    QImage m_background GUARDED_BY(m_drawLock);
    QImage m_clock GUARDED_BY(m_drawLock);  // the time of day, drawn once a second
    QPoint m_clockAt GUARDED_BY(m_drawLock);
    QString m_clockText GUARDED_BY(m_drawLock);
    quint64 m_frameNumber GUARDED_BY(m_drawLock) = 0;
};
