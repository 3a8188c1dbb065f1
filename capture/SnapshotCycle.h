#pragma once

#include "core/state/MainState.h"

#include <QByteArray>
#include <QString>

#include <functional>

class CaptureControl;
class LiveFeed;
class PictureBox;
class QLabel;
class QTimer;

// One snapshot cycle of the main window: the capture control writes its
// current frame as a bitmap file, the video area loads it, the picture is
// written as the JPEG snapshot under the web root and loaded back, and the
// status bar shows the data rate one viewer needs. All the references belong
// to frmMain and must outlive this object.
class SnapshotCycle {
public:
    SnapshotCycle(MainState& state, CaptureControl& cam, PictureBox& pic, QLabel& sb1, QLabel& sb3,
                  QTimer& timeTb);

    // The whole cycle. Each step stands on its own: one that fails is
    // skipped silently and the next runs, so a failed capture re-encodes the
    // picture the video area already holds.
    void TakeSnapshot();
    // Gets a frame from the capture control into the video area. On failure
    // shows "Check video..." and stops the thumbnail timer, then returns.
    void CaptureFrame();

    // TempPath/imageName.bmp and TempPath/root/images/imageName.jpg.
    QString bitmapPath() const;
    QString snapshotPath() const;

    // Gets every snapshot's outcome and bytes after the cycle; may be null.
    void setLiveFeed(LiveFeed* feed) { m_feed = feed; }
    // Told the path and bytes of each snapshot file as soon as it is in place.
    using WrittenHook = std::function<void(const QString& path, const QByteArray& jpeg)>;
    void setSnapshotWritten(WrittenHook hook) { m_written = std::move(hook); }

private:
    void encodeSnapshot();
    void showSnapshot();
    void showDataRate();
    void captureFailed();

    MainState& m_state;
    CaptureControl& m_cam;
    PictureBox& m_pic;
    QLabel& m_sb1;
    QLabel& m_sb3;
    QTimer& m_timeTb;
    bool m_captureFailed = false; // by the last CaptureFrame
    LiveFeed* m_feed = nullptr;
    WrittenHook m_written;
    QByteArray m_encoded;
    bool m_fileWritten = false; // m_encoded is what the snapshot file holds
};
