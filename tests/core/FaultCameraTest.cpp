#include "FaultSupport.h"

#include <QLabel>

namespace {

using CameraFault = FaultWindow;

constexpr int kJpegTolerance = 6; // mean colour of a flat picture after JPEG

// Checks the snapshot served now: whole, the file on disk, and the picture of `colour`.
void expectServedPicture(int16_t port, const QByteArray& onDisk, const QColor& colour)
{
    const HttpAnswer answer = fetch(port, "/images/VelmarixCamImage.jpg?t");
    ASSERT_TRUE(answer.complete);
    EXPECT_EQ(answer.contentType, "image/jpeg");
    EXPECT_EQ(answer.body, onDisk);
    QSize size;
    const QColor served = meanColour(answer.body, &size);
    EXPECT_EQ(size, QSize(320, 240));
    EXPECT_LE(colourDistance(served, colour), kJpegTolerance) << served.name().toStdString() << " vs "
                                                              << colour.name().toStdString();
}

TEST_F(CameraFault, VanishesAndComesBackWhileServing)
{
    frmMain& w = loadOnFreePort();
    ASSERT_EQ(w.sb2->text(), "Server: ON");
    const int16_t port = w.state().My_PORT;
    tick(w.time);
    tick(w.timeTb);
    ASSERT_EQ(w.sb1->text(), "Snapshot: 60");
    const QColor lastGood = camera->lastColour;
    const QByteArray beforeFailure = snapshotBytes();
    expectServedPicture(port, beforeFailure, lastGood);

    camera->present = false;
    for (int i = 0; i < 3; ++i) {
        tick(w.time);
        EXPECT_EQ(w.sb1->text(), "Check video...");
        EXPECT_FALSE(w.timeTb->isActive());
        EXPECT_TRUE(w.time->isActive());
        // The cycle re-encodes the picture it holds, so the last frame is what viewers keep getting.
        expectServedPicture(port, snapshotBytes(), lastGood);
    }
    EXPECT_EQ(camera->lastColour, lastGood);
    EXPECT_TRUE(fetch(port, "/").complete);

    camera->present = true;
    tick(w.time);
    ASSERT_NE(camera->lastColour, lastGood);
    EXPECT_GT(colourDistance(camera->lastColour, lastGood), 3 * kJpegTolerance);
    expectServedPicture(port, snapshotBytes(), camera->lastColour);
    EXPECT_FALSE(QFile::exists(web.tempPath() + "/VelmarixCamImage.bmp"));
    // A failed capture stops the countdown for the rest of the run.
    EXPECT_EQ(w.sb1->text(), "Check video...");
    EXPECT_FALSE(w.timeTb->isActive());
}

TEST_F(CameraFault, NoCameraAtStartServesTheErrorPageUntilOneAppears)
{
    camera->present = false;
    frmMain& w = loadOnFreePort();
    ASSERT_EQ(w.sb2->text(), "Server: ON");
    const int16_t port = w.state().My_PORT;
    EXPECT_EQ(w.sb1->text(), "Check video...");
    EXPECT_FALSE(w.timeTb->isActive());
    EXPECT_FALSE(QFile::exists(snapshotPath()));
    tick(w.time);
    EXPECT_FALSE(QFile::exists(snapshotPath()));
    const HttpAnswer missing = fetch(port, "/images/VelmarixCamImage.jpg");
    ASSERT_TRUE(missing.complete);
    EXPECT_EQ(missing.contentType, "text/html");
    EXPECT_EQ(missing.body, "<html>error</html>\n");

    camera->present = true;
    tick(w.time);
    ASSERT_TRUE(QFile::exists(snapshotPath()));
    expectServedPicture(port, snapshotBytes(), camera->lastColour);
}

} // namespace
