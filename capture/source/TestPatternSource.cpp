#include "capture/source/TestPatternSource.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QDateTime>
#include <QTime>

#include <linux/videodev2.h>

#include <algorithm>
#include <iterator>

namespace {

// 75 % bars, as on a broadcast test card: white, yellow, cyan, green,
// magenta, red, blue.
constexpr QRgb barColours[] = {0xbfbfbf, 0xbfbf00, 0x00bfbf, 0x00bf00, 0xbf00bf, 0xbf0000, 0x0000bf};
constexpr int stepsAcross = 120; // frames the box needs to cross the picture once

} // namespace

TestPatternSource::TestPatternSource(QObject* parent)
    : VideoSource(parent)
{
    m_timer.setInterval(frameIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        renderFrame();
        emit frameReady();
    });
    drawBackground();
}

void TestPatternSource::setFrameRate(double rate)
{
    const double clamped = std::clamp(rate, 1.0, maxFrameRate);
    m_timer.setInterval(int(1000.0 / clamped + 0.5));
}

bool TestPatternSource::open()
{
    if (!m_timer.isActive()) {
        renderFrame();
        m_timer.start();
    }
    return true;
}

void TestPatternSource::close()
{
    m_timer.stop();
}

bool TestPatternSource::isOpen() const
{
    return m_timer.isActive();
}

QImage TestPatternSource::latestFrame() const
{
    return m_latest;
}

QImage TestPatternSource::grabStill(QString* error)
{
    if (error)
        error->clear();
    return renderFrame();
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
        m_size = size;
        m_clock = QImage();
        drawBackground();
        m_latest = QImage();
        m_frames.clear();
        if (isOpen())
            renderFrame();
    }
    return true;
}

void TestPatternSource::drawBackground()
{
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
    QImage frame = m_background.copy();
    if (frame.isNull())
        return m_latest; // out of memory: the previous frame is the best there is

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
    m_latest = frame;
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
