#pragma once

#include "core/state/MainState.h"
#include "http/stream/StreamServer.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

class QLabel;

// What one snapshot, as viewers see it, says about the picture's life.
struct LiveStatus {
    int rate = 0;             // snapshots per second
    quint64 frame = 0;        // good frames so far; stands still while the camera fails
    int64_t lastGoodMs = 0;   // wall-clock time of the last good capture, 0 before the first
    bool cameraFailing = false;
    int viewers = 0;
    int64_t lastFrameAgeMs = -1; // age of the last good capture, -1 before the first
    int streamPort = 0;          // where the MJPEG stream listens, 0: no stream
};

// The newest good frame counts as fresh while younger than this: 2 s, or
// three snapshot intervals at a rate that slow.
int64_t freshForMs(int rate);
// "ok" while the picture is fresh, else why not: "failing", "no frame yet"
// or "stale" (the cycle has not delivered for too long).
const char* cameraState(const LiveStatus& status);
// The stream port's /health body: camera, lastFrameAgeMs, frames, viewers.
QByteArray healthJson(const LiveStatus& status);
// images/status.json: one small JSON object, the fields of LiveStatus plus
// the health fields and where the stream is ("stream": port and path, or null).
QByteArray statusJson(const LiveStatus& status);
// The tooltip of the data-rate label: "3 viewers, about 81 KB/s in all".
QString viewersTip(int viewers, int64_t snapshotBytes, int rate);

// Passes each snapshot on to viewers beyond the JPEG file: a good frame's
// bytes become the stream's latest frame, images/status.json is rewritten
// (atomically) and the data-rate label's tooltip tells who is watching.
// All references must outlive it.
class LiveFeed {
public:
    // The clocks default to the system's wall clock and a steady one; the
    // frame's age is measured on the steady one, so clock steps do not age it.
    LiveFeed(MainState& state, LatestFrame& frame, QLabel& sb3, std::function<int()> viewers,
             std::function<int64_t()> wallClockMs = {}, std::function<int64_t()> steadyClockMs = {});

    // Where the stream listens now (0: none), asked at each snapshot.
    void setStreamPort(std::function<int()> port) { m_streamPort = std::move(port); }

    // After each snapshot cycle: whether the camera gave a frame, and the
    // JPEG bytes written (empty when encoding failed).
    void snapshotTaken(bool captureOk, const QByteArray& jpeg);

    const LiveStatus& status() const { return m_status; }
    // The answer to /health as of now.
    StreamServer::Health health() const;
    QString statusPath() const;

private:
    int64_t frameAgeMs() const;

    MainState& m_state;
    LatestFrame& m_frame;
    QLabel& m_sb3;
    std::function<int()> m_viewers;
    std::function<int64_t()> m_wallClockMs;
    std::function<int64_t()> m_steadyClockMs;
    std::function<int()> m_streamPort;
    LiveStatus m_status;
    int64_t m_lastGoodSteadyMs = -1;
    int64_t m_snapshotBytes = 0;
};
