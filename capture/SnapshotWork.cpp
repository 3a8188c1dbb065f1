#include "capture/SnapshotWork.h"

#include "capture/GuardedStep.h"
#include "capture/WriteProblem.h"
#include "http/FileExists.h"
#include "image/BitmapReader.h"
#include "image/BitmapWriter.h"
#include "image/cDIBSection.h"
#include "image/mIntelJPEGLibrary.h"

#include <QFile>

namespace {

// The frame from the still, through the bitmap file; false when a step
// fails. A frame read back stays even when its file cannot be deleted.
bool captureFrame(const SnapshotJob& job, std::vector<uint8_t>& bitmap, QImage& frame)
{
    try {
        const QImage still = job.still.develop(nullptr);
        if (still.isNull() || !writeBitmapFile(still, job.bitmapPath, bitmap))
            return false;
        // Read back before anything is shown: a bitmap that cannot be read
        // must not leave the video area, and so the next snapshot, empty.
        frame = readBitmapFile(job.bitmapPath);
        if (frame.isNull())
            return false;
        return !FileExists(job.bitmapPath) || QFile::remove(job.bitmapPath);
    } catch (...) {
        return false;
    }
}

void encodeSnapshot(const SnapshotJob& job, const QImage& picture, DibPlatform& platform, SnapshotOutcome& out)
{
    if (picture.isNull()) {
        // No frame yet in this run: a snapshot left by an earlier run would
        // be served as if it were live, so viewers get the error page instead.
        if (job.held.jpeg.isEmpty() && FileExists(job.snapshotPath))
            QFile::remove(job.snapshotPath);
        return;
    }
    // One image per snapshot, released when this step ends.
    cDIBSection image(platform);
    guarded([&] { image.CreateFromPicture(picture); });
    bool written = false;
    guarded([&] { written = mIntelJPEGLibrary::SaveJpegFile(image, job.snapshotPath, job.quality, &out.encoded); });
    // The caption stays as it is (the countdown owns it); the tooltip says
    // why viewers get no new picture, and goes once one is written again.
    if (written) {
        out.fileWritten = !out.encoded.isEmpty();
        if (!out.captureFailed)
            out.snapshotTip = QString();
    } else if (image.Width() > 0 && !out.captureFailed) { // the first cause stays shown
        const QString problem = folderProblem(job.snapshotPath);
        out.snapshotTip = QStringLiteral("Snapshot not written: ")
                          + (problem.isEmpty() ? QStringLiteral("cannot write ") + job.snapshotPath : problem);
    }
}

} // namespace

QImage HeldPicture::decode() const
{
    return jpeg.isEmpty() ? picture : QImage::fromData(jpeg, "JPEG");
}

SnapshotOutcome runSnapshotJob(const SnapshotJob& job, std::vector<uint8_t>& bitmap, DibPlatform& platform)
{
    SnapshotOutcome out;
    out.snapshotPath = job.snapshotPath;
    if (!captureFrame(job, bitmap, out.frame)) {
        out.captureFailed = true;
        // The frame passes through a file beside the program, so an
        // unwritable folder looks like a lost camera; the tooltip tells them apart.
        guarded([&] {
            const QString problem = folderProblem(job.bitmapPath);
            out.captureTip = problem.isEmpty() ? QStringLiteral("No picture from the video device")
                                               : QStringLiteral("Frame not written: ") + problem;
        });
    }
    // Without a frame this encodes the picture the video area holds.
    guarded([&] { encodeSnapshot(job, out.frame.isNull() ? job.held.decode() : out.frame, platform, out); });
    guarded([&] {
        out.shown = out.fileWritten ? out.encoded : QByteArray();
        if (out.shown.isEmpty()) {
            QFile file(job.snapshotPath);
            if (file.open(QIODevice::ReadOnly))
                out.shown = file.readAll();
        }
    });
    return out;
}
