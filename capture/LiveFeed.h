#pragma once

#include "core/state/MainState.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

class LatestFrame;
class QLabel;

// What one snapshot, as viewers see it, says about the picture's life.
struct LiveStatus {
    int rate = 0;             // snapshots per second
    quint64 frame = 0;        // good frames so far; stands still while the camera fails
    int64_t lastGoodMs = 0;   // wall-clock time of the last good capture, 0 before the first
    bool cameraFailing = false;
    int viewers = 0;
};

// images/status.json: one small JSON object, fields as in LiveStatus.
QByteArray statusJson(const LiveStatus& status);
// The tooltip of the data-rate label: "3 viewers, about 81 KB/s in all".
QString viewersTip(int viewers, int64_t snapshotBytes, int rate);

// Passes each snapshot on to viewers beyond the JPEG file: a good frame's
// bytes become the stream's latest frame, images/status.json is rewritten
// (atomically) and the data-rate label's tooltip tells who is watching.
// All references must outlive it.
class LiveFeed {
public:
    LiveFeed(MainState& state, LatestFrame& frame, QLabel& sb3, std::function<int()> viewers,
             std::function<int64_t()> wallClockMs = {});

    // After each snapshot cycle: whether the camera gave a frame, and the
    // JPEG bytes written (empty when encoding failed).
    void snapshotTaken(bool captureOk, const QByteArray& jpeg);

    const LiveStatus& status() const { return m_status; }
    QString statusPath() const;

private:
    MainState& m_state;
    LatestFrame& m_frame;
    QLabel& m_sb3;
    std::function<int()> m_viewers;
    std::function<int64_t()> m_wallClockMs;
    LiveStatus m_status;
    int64_t m_snapshotBytes = 0;
};
