#pragma once

#include "core/state/MainState.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class CaptureControl;
class LiveFeed;
class PictureBox;
class QLabel;
class QTimer;
struct SnapshotOutcome;

// One snapshot cycle of the main window: the capture control's current
// frame goes through a bitmap file into a picture, which is written as the
// JPEG snapshot under the web root; the video area then shows that JPEG and
// the status bar the data rate one viewer needs. The files and the encoding
// run on a worker thread, given only values; what touches the window runs
// on the UI thread before and after. All the references belong to frmMain
// and must outlive this object.
class SnapshotCycle {
public:
    SnapshotCycle(MainState& state, CaptureControl& cam, PictureBox& pic, QLabel& sb1, QLabel& sb3,
                  QTimer& timeTb);
    // Finishes a cycle still running.
    ~SnapshotCycle();

    // The whole cycle, done when it returns. Each step stands on its own:
    // one that fails is skipped silently and the next runs, so a failed
    // capture re-encodes the picture the video area already holds.
    void TakeSnapshot();
    // Starts a cycle and returns; its window part follows from the event
    // loop. False (nothing started) while one is still running.
    bool startSnapshot();
    // Finishes the running cycle now, window part included; nothing when
    // none runs. Before the settings are saved or the window goes.
    void waitForCycle();
    bool cycleRunning() const;

    // TempPath/imageName.bmp and TempPath/root/images/imageName.jpg.
    QString bitmapPath() const;
    QString snapshotPath() const;

    // Gets every snapshot's outcome and bytes after the cycle; may be null.
    void setLiveFeed(LiveFeed* feed) { m_feed = feed; }
    // Told the path and bytes of each snapshot file as soon as it is in place.
    using WrittenHook = std::function<void(const QString& path, const QByteArray& jpeg)>;
    void setSnapshotWritten(WrittenHook hook) { m_written = std::move(hook); }

private:
    struct Worker;
    void showOutcome(const SnapshotOutcome& outcome);
    void showSnapshot(const QByteArray& jpeg);
    void captureFailed(const QString& tip);

    MainState& m_state;
    CaptureControl& m_cam;
    PictureBox& m_pic;
    QLabel& m_sb1;
    QLabel& m_sb3;
    QTimer& m_timeTb;
    LiveFeed* m_feed = nullptr;
    WrittenHook m_written;
    QByteArray m_shown;  // the JPEG the video area was last given to decode
    std::unique_ptr<Worker> m_worker;
};
