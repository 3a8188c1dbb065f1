#include "capture/LiveFeed.h"

#include "core/state/SnapshotInterval.h"
#include "http/stream/LatestFrame.h"
#include "image/FileReplace.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

// The fields /health and status.json share; status.json counts frames in
// its own `frame`, which the page reads, so it does not say it twice.
void insertHealth(QJsonObject& object, const LiveStatus& status, bool withFrames)
{
    object.insert(QStringLiteral("camera"), QString::fromLatin1(cameraState(status)));
    object.insert(QStringLiteral("lastFrameAgeMs"), status.lastFrameAgeMs < 0
                      ? QJsonValue(QJsonValue::Null) : QJsonValue(static_cast<qint64>(status.lastFrameAgeMs)));
    if (withFrames)
        object.insert(QStringLiteral("frames"), static_cast<qint64>(status.frame));
    object.insert(QStringLiteral("viewers"), status.viewers);
}

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

bool fresh(const LiveStatus& status)
{
    return status.lastFrameAgeMs >= 0 && status.lastFrameAgeMs < freshForMs(status.rate);
}

int64_t steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

int64_t freshForMs(int rate)
{
    return std::max<int64_t>(2000, 3 * int64_t{snapshotInterval(static_cast<int16_t>(std::clamp(rate, 1, 5)))});
}

const char* cameraState(const LiveStatus& status)
{
    if (fresh(status))
        return "ok";
    // A capture that fails now says more than the age of the last good one.
    if (status.cameraFailing)
        return "failing";
    return status.lastFrameAgeMs < 0 ? "no frame yet" : "stale";
}

QByteArray healthJson(const LiveStatus& status)
{
    QJsonObject object;
    insertHealth(object, status, true);
    return compact(object);
}

QByteArray statusJson(const LiveStatus& status)
{
    QJsonObject object;
    object.insert(QStringLiteral("rate"), status.rate);
    object.insert(QStringLiteral("frame"), static_cast<qint64>(status.frame));
    object.insert(QStringLiteral("lastGood"), static_cast<qint64>(status.lastGoodMs));
    object.insert(QStringLiteral("cameraFailing"), status.cameraFailing);
    insertHealth(object, status, false);
    QJsonValue stream(QJsonValue::Null);
    if (status.streamPort > 0)
        stream = QJsonObject{{QStringLiteral("port"), status.streamPort}, {QStringLiteral("path"), QStringLiteral("/stream")}};
    object.insert(QStringLiteral("stream"), stream);
    return compact(object);
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
                   std::function<int64_t()> wallClockMs, std::function<int64_t()> steadyClockMs)
    : m_state(state)
    , m_frame(frame)
    , m_sb3(sb3)
    , m_viewers(std::move(viewers))
    , m_wallClockMs(std::move(wallClockMs))
    , m_steadyClockMs(std::move(steadyClockMs))
{
    if (!m_wallClockMs)
        m_wallClockMs = [] { return QDateTime::currentMSecsSinceEpoch(); };
    if (!m_steadyClockMs)
        m_steadyClockMs = steadyMs;
}

StreamServer::Health LiveFeed::health() const
{
    // The status of the last snapshot, aged to now: a cycle that stopped
    // coming must show as stale.
    LiveStatus now = m_status;
    now.rate = m_state.rate;
    now.frame = m_frame.sequence();
    now.viewers = m_viewers ? m_viewers() : 0;
    now.lastFrameAgeMs = frameAgeMs();
    return {fresh(now) ? 200 : 503, healthJson(now)};
}

int64_t LiveFeed::frameAgeMs() const
{
    return m_lastGoodSteadyMs < 0 ? -1 : std::max<int64_t>(0, m_steadyClockMs() - m_lastGoodSteadyMs);
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
        m_lastGoodSteadyMs = m_steadyClockMs();
    }
    if (!jpeg.isEmpty())
        m_snapshotBytes = jpeg.size();
    m_status.frame = m_frame.sequence();
    m_status.cameraFailing = !captureOk;
    m_status.rate = m_state.rate;
    m_status.viewers = m_viewers ? m_viewers() : 0;
    m_status.lastFrameAgeMs = frameAgeMs();
    m_status.streamPort = m_streamPort ? m_streamPort() : 0;

    const QByteArray json = statusJson(m_status);
    replaceFileKeepingStamps(statusPath(), reinterpret_cast<const std::uint8_t*>(json.constData()),
                             static_cast<std::size_t>(json.size()));

    const QString tip = viewersTip(m_status.viewers, m_snapshotBytes, m_state.rate);
    if (m_sb3.toolTip() != tip) {
        m_sb3.setToolTip(tip);
        m_sb3.setAccessibleDescription(tip);
    }
}
