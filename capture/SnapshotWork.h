#pragma once

#include "capture/control/CaptureControl.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class DibPlatform;

// What the video area holds, for a cycle whose capture fails: a picture,
// or the snapshot bytes it has yet to decode (decoding them on the UI
// thread every cycle would cost a third of the cycle).
struct HeldPicture {
    QImage picture;
    QByteArray jpeg;
    // The picture as the area would give it; null when it holds none.
    QImage decode() const;
};

// The heavy half of one snapshot cycle, given only values so that it can
// run away from the UI thread.
struct SnapshotJob {
    TakenStill still;      // error set when none could be taken
    HeldPicture held;
    QString bitmapPath;
    QString snapshotPath;
    int32_t quality = 0;
};

// What the UI half does with the outcome.
struct SnapshotOutcome {
    QString snapshotPath;  // the job's
    bool captureFailed = false;
    QString captureTip;    // sb1's tooltip after a failed capture
    QImage frame;          // the frame read back, for the video area; may be
                           // set after a failed capture (its file stayed)
    QByteArray encoded;
    bool fileWritten = false;      // encoded is what the snapshot file holds
    std::optional<QString> snapshotTip;  // sb1's new tooltip; empty: none
    QByteArray shown;      // the snapshot file's bytes, for the video area
};

// Still -> bitmap file -> picture read back -> image -> JPEG file, each
// step on its own: a failed capture encodes the held picture again. Any
// thread; `bitmap` and `platform` belong to the caller and serve one job at
// a time.
SnapshotOutcome runSnapshotJob(const SnapshotJob& job, std::vector<uint8_t>& bitmap, DibPlatform& platform);
