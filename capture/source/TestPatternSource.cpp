#include "capture/source/TestPatternSource.h"

#include "core/state/UserConfig.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QDateTime>
#include <QTime>

#include <linux/videodev2.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>
#include <system_error>

namespace {

// 75 % bars, as on a broadcast test card: white, yellow, cyan, green,
// magenta, red, blue.
constexpr QRgb barColours[] = {0xbfbfbf, 0xbfbf00, 0x00bfbf, 0x00bf00, 0xbf00bf, 0xbf0000, 0x0000bf};
constexpr int stepsAcross = 120; // frames the box needs to cross the picture once

} // namespace

TestPatternSource::TestPatternSource(QObject* parent)
    : VideoSource(parent)
{
    setFrameRate(configuredFrameRate());
    drawBackground();
}

TestPatternSource::~TestPatternSource()
{
    stopDrawing();
}

double TestPatternSource::configuredFrameRate()
{
    bool ok = false;
    const double rate = userConfig().value(QStringLiteral("Capture/TestPatternFps")).toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(rate))
        return 1000.0 / frameIntervalMs;
    return std::clamp(rate, 1.0, maxFrameRate);
}

void TestPatternSource::setFrameRate(double rate)
{
    const double clamped = std::isnan(rate) ? 1.0 : std::clamp(rate, 1.0, maxFrameRate);
    m_intervalMs = int(1000.0 / clamped + 0.5);
}

bool TestPatternSource::open()
{
    if (!isOpen()) {
        renderFrame();
        startDrawing();
    }
    return true;
}

void TestPatternSource::close()
{
    stopDrawing();
}

bool TestPatternSource::isOpen() const
{
    return m_thread.joinable();
}

void TestPatternSource::startDrawing()
{
    {
        MutexLocker lock(m_stopLock);
        m_stopping = false;
    }
    try {
        m_thread = std::thread(&TestPatternSource::run, this);
    } catch (const std::system_error&) {
        // No thread to be had: stills are still drawn on demand.
    }
}

void TestPatternSource::stopDrawing()
{
    if (!m_thread.joinable())
        return;
    {
        MutexLocker lock(m_stopLock);
        m_stopping = true;
    }
    m_stopChanged.notify_all();
    m_thread.join();
    m_announcer.forgetQueued();
}

void TestPatternSource::run()
{
    using Clock = std::chrono::steady_clock;
    auto next = Clock::now();
    for (;;) {
        next += std::chrono::milliseconds(m_intervalMs.load());
        // Behind (a busy machine): the next frame comes one period from now,
        // rather than a burst to catch up.
        if (next < Clock::now())
            next = Clock::now() + std::chrono::milliseconds(m_intervalMs.load());
        {
            MutexLocker lock(m_stopLock);
            if (lock.waitFor(m_stopChanged, next - Clock::now(),
                             [this]() TALVEX_THREAD_ATTRIBUTE(no_thread_safety_analysis) { return m_stopping; }))
                return;
        }
        renderFrame();
        m_announcer.frameArrived();
    }
}

QImage TestPatternSource::latestFrame() const
{
    const auto frame = m_frames.latest();
    return frame ? frame->picture : QImage();
}

QImage TestPatternSource::grabStill(QString* error)
{
    if (error)
        error->clear();
    // The newest frame, unless an earlier still had it already: a still
    // always shows the box moved on. Drawing one here waits for the thread
    // only while it draws a frame of its own.
    const auto frame = isOpen() ? m_frames.latest() : nullptr;
    if (frame && frame->sequence != m_stillSequence) {
        m_stillSequence = frame->sequence;
        return frame->picture;
    }
    const QImage drawn = renderFrame();
    m_stillSequence = m_frames.sequence();
    return drawn;
}

QList<QSize> TestPatternSource::frameSizes() const
{
    return {QSize(320, 240), QSize(640, 480), QSize(1280, 720), QSize(1920, 1080)};
}

QSize TestPatternSource::frameSize() const
{
    return m_size;
}

bool TestPatternSource::setFrameSize(const QSize& size)
{
    if (!frameSizes().contains(size))
        return false;
    if (size != m_size) {
        // The drawing state is the thread's while it runs.
        const bool wasOpen = isOpen();
        stopDrawing();
        m_size = size;
        drawBackground();
        m_frames.clear();
        if (wasOpen)
            open();
    }
    return true;
}

void TestPatternSource::drawBackground()
{
    MutexLocker lock(m_drawLock);
    m_clock = QImage();
    const int w = m_size.width();
    const int h = m_size.height();
    m_background = QImage(m_size, QImage::Format_BGR888);
    m_background.fill(Qt::black);
    QPainter p(&m_background);
    const int barsHeight = h * 2 / 3;
    const int bars = int(std::size(barColours));
    for (int i = 0; i < bars; ++i) {
        const int left = w * i / bars;
        const int right = w * (i + 1) / bars;
        p.fillRect(left, 0, right - left, barsHeight, QColor(barColours[i]));
    }
    // A grey ramp under the bars shows banding and level clipping.
    const int steps = 8;
    const int rampTop = barsHeight;
    const int rampHeight = h / 12;
    for (int i = 0; i < steps; ++i) {
        const int left = w * i / steps;
        const int right = w * (i + 1) / steps;
        const int level = 255 * i / (steps - 1);
        p.fillRect(left, rampTop, right - left, rampHeight, QColor(level, level, level));
    }
}

QImage TestPatternSource::renderFrame()
{
    MutexLocker lock(m_drawLock);
    QImage frame = m_background.copy();
    if (frame.isNull()) {
        // Out of memory: the previous frame is the best there is.
        const auto previous = m_frames.latest();
        return previous ? previous->picture : QImage();
    }

    const int w = frame.width();
    const int h = frame.height();
    QPainter p(&frame);

    // The box bounces across the bars, one step per frame.
    const int box = std::max(8, h / 8);
    const int travel = std::max(1, w - box);
    const quint64 phase = m_frameNumber % (2 * stepsAcross);
    const quint64 along = phase < stepsAcross ? phase : 2 * stepsAcross - phase;
    const int x = int(along * quint64(travel) / stepsAcross);
    const int y = h / 3 - box / 2;
    p.fillRect(x, y, box, box, Qt::white);
    p.fillRect(x + box / 4, y + box / 4, box / 2, box / 2, Qt::black);

    const int textTop = h * 2 / 3 + h / 12;
    const QRect textArea(0, textTop, w, h - textTop);
    const QString clock = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    if (clock != m_clockText || m_clock.isNull()) {
        // Glyphs this large are filled as paths, not taken from Qt's glyph
        // cache: drawn once a second and copied in, not drawn for every frame.
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPixelSize(std::max(10, h / 10));
        font.setBold(true);
        // A little room round the box for the anti-aliased edges.
        const QRect bounds =
            QFontMetrics(font).boundingRect(textArea, Qt::AlignCenter, clock).adjusted(-2, -2, 2, 2) & textArea;
        m_clock = QImage(bounds.size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
        m_clock.fill(Qt::transparent);
        QPainter text(&m_clock);
        text.setFont(font);
        text.setPen(Qt::white);
        text.drawText(textArea.translated(-bounds.topLeft()), Qt::AlignCenter, clock);
        m_clockAt = bounds.topLeft();
        m_clockText = clock;
    }
    p.drawImage(m_clockAt, m_clock);
    p.end();

    ++m_frameNumber;
    // Shared, not copied: a QImage is never changed under its readers.
    Frame published;
    published.fourcc = V4L2_PIX_FMT_BGR24;
    published.size = frame.size();
    published.bytesPerLine = frame.bytesPerLine();
    published.picture = frame;
    published.captureTimeUs = QDateTime::currentMSecsSinceEpoch() * 1000;
    m_frames.publish(std::move(published));
    return frame;
}
