#pragma once

#include "capture/source/FrameSlot.h"
#include "capture/source/VideoSource.h"

#include <QTimer>

// The built-in source: colour bars with a moving box and the current time,
// for machines without a camera. The bars are drawn once per frame size;
// each frame copies them and draws only the moving parts, which keeps even
// 1920 x 1080 cheap. Frames are Format_BGR888, the bitmap file's own order.
class TestPatternSource : public VideoSource {
    Q_OBJECT
public:
    explicit TestPatternSource(QObject* parent = nullptr);

    static QString sourceId() { return QStringLiteral("testpattern"); }
    static QString sourceName() { return tr("Test pattern"); }
    // Frame period of the live display while open unless set (about 12
    // frames a second), and the fastest rate that can be set.
    static constexpr int frameIntervalMs = 80;
    static constexpr double maxFrameRate = 30;

    QString id() const override { return sourceId(); }
    QString displayName() const override { return sourceName(); }

    bool open() override;
    void close() override;
    bool isOpen() const override;

    QImage latestFrame() const override;
    // Renders a fresh frame; never fails, open or not.
    QImage grabStill(QString* error) override;

    QList<QSize> frameSizes() const override;
    QSize frameSize() const override;
    double frameRate() const override { return 1000.0 / m_timer.interval(); }
    // Frames a second while open, 1 to maxFrameRate; others are clamped.
    void setFrameRate(double rate);
    const FrameSlot* frameSlot() const override { return &m_frames; }
    // Only the offered sizes are accepted.
    bool setFrameSize(const QSize& size) override;

    // Draws the next frame (the box moves one step), keeps it as the latest
    // frame and returns it. The timer calls this while the source is open.
    QImage renderFrame();

private:
    void drawBackground();

    QTimer m_timer;
    FrameSlot m_frames;
    QSize m_size{640, 480};
    QImage m_background;
    QImage m_latest;
    QImage m_clock;       // the time of day, drawn once a second
    QPoint m_clockAt;
    QString m_clockText;
    quint64 m_frameNumber = 0;
};
