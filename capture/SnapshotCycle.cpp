#include "capture/SnapshotCycle.h"

#include "image/BitmapReader.h"
#include "capture/control/CaptureControl.h"
#include "capture/GuardedStep.h"
#include "capture/DataRateText.h"
#include "capture/WriteProblem.h"
#include "capture/LiveFeed.h"
#include "http/FileExists.h"
#include "image/PictureApply.h"
#include "image/cDIBSection.h"
#include "image/mIntelJPEGLibrary.h"
#include "shell/chrome/PictureBox.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QTimer>

SnapshotCycle::SnapshotCycle(MainState& state, CaptureControl& cam, PictureBox& pic, QLabel& sb1, QLabel& sb3,
                             QTimer& timeTb)
    : m_state(state)
    , m_cam(cam)
    , m_pic(pic)
    , m_sb1(sb1)
    , m_sb3(sb3)
    , m_timeTb(timeTb)
{
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
    guarded([this] { CaptureFrame(); });
    guarded([this] { encodeSnapshot(); });
    // Viewers of the stream get the frame before the window redraws.
    if (m_feed)
        guarded([this] { m_feed->snapshotTaken(!m_captureFailed, m_encoded); });
    guarded([this] { m_cam.setLiveDisplay(true); });
    guarded([this] { showSnapshot(); });
    guarded([this] { showDataRate(); });
    guarded([this] { m_sb3.repaint(); });
}

void SnapshotCycle::encodeSnapshot()
{
    m_encoded.clear();
    m_fileWritten = false;
    // After a failed capture this decodes the previous snapshot, if the
    // video area still owes it, and encodes that again.
    const QImage& picture = m_pic.picture();
    if (picture.isNull()) {
        // No frame yet in this run: a snapshot left by an earlier run would
        // be served as if it were live, so viewers get the error page instead.
        if (FileExists(snapshotPath()))
            QFile::remove(snapshotPath());
        return;
    }
    // One image per snapshot, released when this step ends.
    cDIBSection image;
    guarded([&] { image.CreateFromPicture(picture); });
    bool written = false;
    guarded([&] { written = mIntelJPEGLibrary::SaveJpegFile(image, snapshotPath(), m_state.quality, &m_encoded); });
    // The caption stays as it is (the countdown owns it); the tooltip says
    // why viewers get no new picture, and goes once one is written again.
    if (written) {
        m_fileWritten = !m_encoded.isEmpty();
        if (m_written && m_fileWritten)
            guarded([&] { m_written(snapshotPath(), m_encoded); });
        if (!m_captureFailed)
            m_sb1.setToolTip(QString());
    } else if (image.Width() > 0 && !m_captureFailed) { // the first cause stays shown
        const QString problem = folderProblem(snapshotPath());
        m_sb1.setToolTip(QStringLiteral("Snapshot not written: ")
                         + (problem.isEmpty() ? QStringLiteral("cannot write ") + snapshotPath() : problem));
    }
}

void SnapshotCycle::showSnapshot()
{
    // The video area shows the JPEG exactly as viewers get it, but in the
    // live view it lies hidden under the capture control; decoding it every
    // cycle cost about a third of the cycle. So only the file's bytes are
    // kept here, and the area decodes them when it is painted (the Video Out
    // view) or its picture is asked for (the thumbnail, a failed capture).
    QByteArray written = m_fileWritten ? m_encoded : QByteArray();
    if (written.isEmpty()) {
        QFile file(snapshotPath());
        if (!file.open(QIODevice::ReadOnly))
            return;
        written = file.readAll();
    }
    if (written.isEmpty())
        return;
    m_pic.setDeferredPicture([written] { return QImage::fromData(written, "JPEG"); });
    // A picture turned upright would be cut in half by the area: it is shown
    // whole instead, with bars at the sides (and so is the thumbnail).
    m_pic.setKeepShape(pictureSlot().options()->rotation % 180 != 0);
}

void SnapshotCycle::showDataRate()
{
    const QFileInfo info(snapshotPath());
    if (!info.isFile())
        return;
    if (const std::optional<QString> text = dataRateText(info.size(), m_state.rate))
        m_sb3.setText(*text);
}

void SnapshotCycle::CaptureFrame()
{
    m_captureFailed = false;
    try {
        const QString bitmap = bitmapPath();
        if (!m_cam.CaptureStill() || !m_cam.WriteStillBitmap(bitmap))
            return captureFailed();
        // Loaded before the area is cleared: a bitmap that cannot be read
        // must not leave the video area, and so the next snapshot, empty.
        const QImage frame = readBitmapFile(bitmap);
        if (frame.isNull())
            return captureFailed();
        m_pic.clearSurface();
        m_pic.setPicture(frame);
        if (FileExists(bitmap) && !QFile::remove(bitmap))
            return captureFailed();
    } catch (...) {
        captureFailed();
    }
}

void SnapshotCycle::captureFailed()
{
    // The frame passes through a file beside the program, so an unwritable
    // folder looks like a lost camera; the tooltip tells them apart.
    const QString problem = folderProblem(bitmapPath());
    m_sb1.setToolTip(problem.isEmpty() ? QStringLiteral("No picture from the video device")
                                       : QStringLiteral("Frame not written: ") + problem);
    m_captureFailed = true;
    m_timeTb.stop();
    m_sb1.setText(QStringLiteral("Check video..."));
    m_sb1.repaint();
}
