#include "capture/SnapshotCycle.h"

#include "capture/control/CaptureControl.h"
#include "capture/GuardedStep.h"
#include "capture/DataRateText.h"
#include "capture/LiveFeed.h"
#include "capture/SnapshotWork.h"
#include "image/MemoryDibPlatform.h"
#include "image/PictureApply.h"
#include "shell/chrome/PictureBox.h"

#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <future>

// One thread, kept for the whole run with what it reuses: its JPEG
// compressor, its image handles and the bitmap file's buffer.
struct SnapshotCycle::Worker {
    Worker()
    {
        pool.setMaxThreadCount(1);
        pool.setExpiryTimeout(-1);
    }
    QThreadPool pool;
    MemoryDibPlatform platform;
    std::vector<uint8_t> bitmap;
    QObject context;  // receives the news of a finished job on the UI thread
    std::future<SnapshotOutcome> running;
    quint64 cycle = 0;  // counts started cycles
};

SnapshotCycle::SnapshotCycle(MainState& state, CaptureControl& cam, PictureBox& pic, QLabel& sb1, QLabel& sb3,
                             QTimer& timeTb)
    : m_state(state)
    , m_cam(cam)
    , m_pic(pic)
    , m_sb1(sb1)
    , m_sb3(sb3)
    , m_timeTb(timeTb)
    , m_worker(std::make_unique<Worker>())
{
}

SnapshotCycle::~SnapshotCycle()
{
    // The window part is not shown: what it touches may be going too.
    // The job holds nothing of the window, so it may end on its own.
    m_worker->pool.waitForDone();
}

QString SnapshotCycle::bitmapPath() const
{
    return m_state.TempPath + QLatin1Char('/') + m_state.imageName + QStringLiteral(".bmp");
}

QString SnapshotCycle::snapshotPath() const
{
    return m_state.TempPath + QStringLiteral("/root/images/") + m_state.imageName + QStringLiteral(".jpg");
}

void SnapshotCycle::TakeSnapshot()
{
    waitForCycle();
    startSnapshot();
    waitForCycle();
}

bool SnapshotCycle::cycleRunning() const
{
    return m_worker->running.valid();
}

bool SnapshotCycle::startSnapshot()
{
    // A tick while a cycle runs is not made up later.
    if (cycleRunning())
        return false;
    SnapshotJob job;
    guarded([&] { job.still = m_cam.takeStill(); });
    // Only what the area has already decoded is passed as a picture.
    guarded([&] {
        if (m_pic.hasDeferredPicture() && !m_shown.isEmpty())
            job.held.jpeg = m_shown;
        else
            job.held.picture = m_pic.picture();
    });
    job.bitmapPath = bitmapPath();
    job.snapshotPath = snapshotPath();
    job.quality = m_state.quality;

    Worker* worker = m_worker.get();
    auto task = std::make_shared<std::packaged_task<SnapshotOutcome()>>(
        [job = std::move(job), worker] { return runSnapshotJob(job, worker->bitmap, worker->platform); });
    worker->running = task->get_future();
    const quint64 cycle = ++worker->cycle;
    worker->pool.start([this, task, worker, cycle] {
        (*task)();
        QMetaObject::invokeMethod(
            &worker->context,
            [this, worker, cycle] {
                // Finished already by waitForCycle(), or a later cycle's.
                if (cycle == worker->cycle)
                    waitForCycle();
            },
            Qt::QueuedConnection);
    });
    return true;
}

void SnapshotCycle::waitForCycle()
{
    if (!cycleRunning())
        return;
    SnapshotOutcome outcome;
    guarded([&] { outcome = m_worker->running.get(); });
    m_worker->running = {};
    showOutcome(outcome);
}

void SnapshotCycle::showOutcome(const SnapshotOutcome& out)
{
    if (!out.frame.isNull()) {
        guarded([&] {
            m_pic.clearSurface();
            m_pic.setPicture(out.frame);
        });
    }
    if (out.captureFailed)
        guarded([&] { captureFailed(out.captureTip); });
    if (out.snapshotTip)
        guarded([&] { m_sb1.setToolTip(*out.snapshotTip); });
    if (m_written && out.fileWritten)
        guarded([&] { m_written(out.snapshotPath, out.encoded); });
    // Viewers of the stream get the frame before the window redraws.
    if (m_feed)
        guarded([&] { m_feed->snapshotTaken(!out.captureFailed, out.encoded); });
    guarded([&] { m_cam.setLiveDisplay(true); });
    guarded([&] { showSnapshot(out.shown); });
    guarded([&] {
        const QFileInfo info(out.snapshotPath);
        if (!info.isFile())
            return;
        if (const std::optional<QString> text = dataRateText(info.size(), m_state.rate))
            m_sb3.setText(*text);
    });
    guarded([&] { m_sb3.repaint(); });
}

void SnapshotCycle::showSnapshot(const QByteArray& jpeg)
{
    // The video area shows the JPEG exactly as viewers get it, but in the
    // live view it lies hidden under the capture control; decoding it every
    // cycle cost about a third of the cycle. So only the file's bytes are
    // kept here, and the area decodes them when it is painted (the Video Out
    // view) or its picture is asked for (the thumbnail, a failed capture).
    if (jpeg.isEmpty())
        return;
    m_shown = jpeg;
    m_pic.setDeferredPicture([jpeg] { return QImage::fromData(jpeg, "JPEG"); });
    // A picture turned upright would be cut in half by the area: it is shown
    // whole instead, with bars at the sides (and so is the thumbnail).
    m_pic.setKeepShape(pictureSlot().options()->rotation % 180 != 0);
}

void SnapshotCycle::captureFailed(const QString& tip)
{
    m_sb1.setToolTip(tip);
    m_timeTb.stop();
    m_sb1.setText(QStringLiteral("Check video..."));
    m_sb1.repaint();
}
