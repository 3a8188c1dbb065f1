#pragma once

// What the benchmarks and the long runs share to stand the snapshot cycle up
// offscreen: the platform set-up, a scratch web root that also holds the
// capture control's remembered choices, the part of the main window a cycle
// touches, and a probe of the longest event-loop stall.

#include "capture/SnapshotCycle.h"
#include "capture/control/CaptureControl.h"
#include "capture/source/TestPatternSource.h"
#include "core/state/MainState.h"
#include "shell/chrome/PictureBox.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace stress {

// Before the application object: no display needed, and Qt's own event
// dispatcher, as the program itself runs. `keepGiven` leaves a platform the
// caller chose (an X server for a bench that wants one).
inline void useOffscreenPlatform(bool keepGiven = false)
{
    if (!keepGiven || !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QT_NO_GLIB", "1", 1);
}

// A temporary working folder with root/images. The capture control remembers
// its source and frame size in the user's configuration; that goes here too,
// so a run never touches the real one.
class ScratchRoot {
public:
    ScratchRoot()
    {
        m_ok = m_dir.isValid() && QDir(m_dir.path()).mkpath(QStringLiteral("root/images"));
        if (m_ok)
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("config")));
    }
    bool isValid() const { return m_ok; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
};

// The part of the main window a cycle touches, on the test pattern.
struct CycleWindow {
    CycleWindow(const QString& tempPath, const QSize& frameSize)
    {
        state.TempPath = tempPath;
        state.imageName = QStringLiteral("VelmarixCamImage");
        state.quality = 75;
        state.rate = 5;
        pic.resize(320, 240);
        cam = new CaptureControl(createTestPatternCatalog(), &pic);
        cam->setGeometry(0, 0, 320, 240);
        cam->selectFrameSize(frameSize);
        timeTb.start(1000);
        cycle = std::make_unique<SnapshotCycle>(state, *cam, pic, sb1, sb3, timeTb);
    }

    MainState state;
    PictureBox pic;
    CaptureControl* cam = nullptr; // owned by pic
    QLabel sb1;
    QLabel sb3;
    QTimer timeTb;
    std::unique_ptr<SnapshotCycle> cycle;
};

// Records the longest gap between ticks of a 1 ms timer: how long the event
// loop was held by anything.
class StallProbe {
public:
    StallProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longestNs = std::max(m_longestNs, now - m_lastNs);
            m_lastNs = now;
        });
    }
    void restart()
    {
        m_clock.start();
        m_lastNs = 0;
        m_longestNs = 0;
        m_timer.start(1);
    }
    double longestMs() const { return m_longestNs / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_longestNs = 0;
};

} // namespace stress
