#include "capture/LiveFeed.h"

#include "http/stream/LatestFrame.h"
#include "image/FileReplace.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>

#include <cmath>

QByteArray statusJson(const LiveStatus& status)
{
    QJsonObject object;
    object.insert(QStringLiteral("rate"), status.rate);
    object.insert(QStringLiteral("frame"), static_cast<qint64>(status.frame));
    object.insert(QStringLiteral("lastGood"), static_cast<qint64>(status.lastGoodMs));
    object.insert(QStringLiteral("cameraFailing"), status.cameraFailing);
    object.insert(QStringLiteral("viewers"), status.viewers);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QString viewersTip(int viewers, int64_t snapshotBytes, int rate)
{
    if (viewers <= 0)
        return QStringLiteral("No viewers");
    const double total = static_cast<double>(snapshotBytes) * rate * viewers / 1024.0;
    const QString who = viewers == 1 ? QStringLiteral("1 viewer") : QStringLiteral("%1 viewers").arg(viewers);
    return QStringLiteral("%1, about %2 KB/s in all").arg(who).arg(static_cast<qint64>(std::nearbyint(total)));
}

LiveFeed::LiveFeed(MainState& state, LatestFrame& frame, QLabel& sb3, std::function<int()> viewers,
                   std::function<int64_t()> wallClockMs)
    : m_state(state)
    , m_frame(frame)
    , m_sb3(sb3)
    , m_viewers(std::move(viewers))
    , m_wallClockMs(std::move(wallClockMs))
{
    if (!m_wallClockMs)
        m_wallClockMs = [] { return QDateTime::currentMSecsSinceEpoch(); };
}

QString LiveFeed::statusPath() const
{
    return m_state.TempPath + QStringLiteral("/root/images/status.json");
}

void LiveFeed::snapshotTaken(bool captureOk, const QByteArray& jpeg)
{
    // A failed capture re-encodes the old picture: the file keeps it for the
    // page, but the stream and the counter wait for a real frame.
    if (captureOk && !jpeg.isEmpty()) {
        // While the stream encoder feeds the stream from the camera, a
        // snapshot among its frames would be a step back in time.
        if (!m_frame.cameraFed())
            m_frame.publish(jpeg);
        m_status.lastGoodMs = m_wallClockMs();
    }
    if (!jpeg.isEmpty())
        m_snapshotBytes = jpeg.size();
    m_status.frame = m_frame.sequence();
    m_status.cameraFailing = !captureOk;
    m_status.rate = m_state.rate;
    m_status.viewers = m_viewers ? m_viewers() : 0;

    const QByteArray json = statusJson(m_status);
    replaceFileKeepingStamps(statusPath(), reinterpret_cast<const std::uint8_t*>(json.constData()),
                             static_cast<std::size_t>(json.size()));

    const QString tip = viewersTip(m_status.viewers, m_snapshotBytes, m_state.rate);
    if (m_sb3.toolTip() != tip) {
        m_sb3.setToolTip(tip);
        m_sb3.setAccessibleDescription(tip);
    }
}
