#include "capture/DataRateText.h"
#include "capture/SnapshotCycle.h"
#include "image/cDIBSection.h"
#include "image/mIntelJPEGLibrary.h"
#include "shell/chrome/PictureBox.h"

#include "CaptureTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// The main window's part of the cycle: state, video area with the capture
// control inside, the two status labels and the thumbnail timer.
class SnapshotCycleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearCaptureSettings();
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir(m_dir.path()).mkpath("root/images"));
        m_state.TempPath = m_dir.path();
        m_state.imageName = "VelmarixCamImage";
        m_state.quality = 75;
        m_state.rate = 2;
        m_pic.resize(320, 240);
        m_fake.cam->setGeometry(0, 0, 320, 240);
        m_sb1.setText("Ready");
        m_sb3.setText("KB/s");
        m_timeTb.start(1000);
    }
    void TearDown() override { clearCaptureSettings(); }

    FakeVideoSource& source() { return m_fake.source(); }
    QString jpegPath() const { return m_dir.filePath("root/images/VelmarixCamImage.jpg"); }
    QString bitmapPath() const { return m_dir.filePath("VelmarixCamImage.bmp"); }

    void expectCaptureFailureShown()
    {
        EXPECT_EQ(m_sb1.text(), "Check video...");
        EXPECT_FALSE(m_timeTb.isActive());
    }

    QTemporaryDir m_dir;
    MainState m_state;
    PictureBox m_pic;
    FakeCam m_fake{&m_pic};
    QLabel m_sb1;
    QLabel m_sb3;
    QTimer m_timeTb;
    SnapshotCycle m_cycle{m_state, *m_fake.cam, m_pic, m_sb1, m_sb3, m_timeTb};
};

TEST_F(SnapshotCycleTest, SuccessfulCycleWritesTheFrameSizedJpegAndCleansUp)
{
    ASSERT_TRUE(m_fake.cam->selectFrameSize(QSize(640, 480)));
    m_fake.cam->setLiveDisplay(false);

    m_cycle.TakeSnapshot();

    const QImage jpeg(jpegPath(), "JPEG");
    ASSERT_FALSE(jpeg.isNull());
    EXPECT_EQ(jpeg.size(), QSize(640, 480));
    EXPECT_FALSE(QFile::exists(bitmapPath()));
    EXPECT_EQ(m_pic.picture().size(), QSize(640, 480)) << "the video area shows the JPEG just written";
    const QColor shown = m_pic.picture().pixelColor(300, 300);
    EXPECT_NEAR(shown.blue(), source().colour.blue(), 6);
    EXPECT_NEAR(shown.red(), source().colour.red(), 6);
    EXPECT_EQ(m_sb3.text(), *dataRateText(QFileInfo(jpegPath()).size(), 2));
    EXPECT_TRUE(m_fake.cam->liveDisplay());
    EXPECT_EQ(m_sb1.text(), "Ready");
    EXPECT_TRUE(m_timeTb.isActive());
}

TEST_F(SnapshotCycleTest, FailedCaptureReencodesThePictureAlreadyShown)
{
    m_cycle.TakeSnapshot();
    ASSERT_TRUE(QFile::remove(jpegPath()));

    source().colour = QColor(250, 10, 10);
    source().failingStills = 1;
    m_cycle.TakeSnapshot();

    expectCaptureFailureShown();
    const QImage jpeg(jpegPath(), "JPEG");
    ASSERT_EQ(jpeg.size(), QSize(320, 240)) << "the snapshot is rewritten from the video area";
    EXPECT_NEAR(jpeg.pixelColor(100, 100).blue(), 220, 8) << "old picture, not the new colour";
    EXPECT_EQ(m_sb3.text(), *dataRateText(QFileInfo(jpegPath()).size(), 2));
}

TEST_F(SnapshotCycleTest, NoCameraAndNoPictureLeavesNoSnapshot)
{
    source().vanish();
    m_cycle.TakeSnapshot();
    m_cycle.TakeSnapshot();

    expectCaptureFailureShown();
    EXPECT_FALSE(QFile::exists(jpegPath()));
    EXPECT_TRUE(m_pic.picture().isNull());
    EXPECT_EQ(m_sb3.text(), "KB/s");
}

TEST_F(SnapshotCycleTest, AFailureStaysShownWhenLaterCyclesSucceed)
{
    source().failingStills = 1;
    m_cycle.TakeSnapshot();
    m_cycle.TakeSnapshot();
    EXPECT_TRUE(QFile::exists(jpegPath()));
    EXPECT_FALSE(QFile::exists(bitmapPath()));
    expectCaptureFailureShown();
}

TEST_F(SnapshotCycleTest, UnwritableBitmapTakesTheFailureBranchAndKeepsThePicture)
{
    m_cycle.TakeSnapshot();
    const QImage before = m_pic.picture();
    ASSERT_FALSE(before.isNull());
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("VelmarixCamImage.bmp")); // the path is taken by a directory

    m_cycle.TakeSnapshot();

    expectCaptureFailureShown();
    EXPECT_EQ(m_pic.picture().size(), before.size());
    EXPECT_TRUE(QFile::exists(jpegPath()));
}

TEST_F(SnapshotCycleTest, MissingImagesDirectoryLeavesTheCapturedFrameAndTheRateText)
{
    ASSERT_TRUE(QDir(m_dir.filePath("root/images")).removeRecursively());
    m_cycle.TakeSnapshot();

    EXPECT_FALSE(QFile::exists(jpegPath()));
    EXPECT_FALSE(QFile::exists(bitmapPath()));
    EXPECT_EQ(m_pic.picture().size(), QSize(320, 240)) << "the frame from the bitmap stays";
    EXPECT_EQ(m_sb3.text(), "KB/s");
    EXPECT_EQ(m_sb1.text(), "Ready");
    EXPECT_TRUE(m_fake.cam->liveDisplay());
}

// The JPEG the writer makes from a picture, as bytes.
QByteArray encoded(const QImage& picture, const QString& path)
{
    cDIBSection image;
    image.CreateFromPicture(picture);
    if (!mIntelJPEGLibrary::SaveJpegFile(image, path, 75))
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(SnapshotCycleTest, LiveViewLeavesTheHiddenPictureUndecoded)
{
    m_pic.show();
    QCoreApplication::processEvents();
    m_fake.cam->setLiveDisplay(true);
    m_cycle.TakeSnapshot();
    // Painting happens now; the control covers the whole area.
    QCoreApplication::processEvents();
    m_pic.repaint();
    EXPECT_TRUE(m_pic.hasDeferredPicture()) << "the JPEG under the live view was decoded";

    // Asked for, it is the JPEG just written, pixel for pixel.
    EXPECT_EQ(m_pic.picture(), QImage(jpegPath(), "JPEG"));
    EXPECT_FALSE(m_pic.hasDeferredPicture());
}

TEST_F(SnapshotCycleTest, VideoOutViewShowsEachNewSnapshot)
{
    m_pic.show();
    QCoreApplication::processEvents();
    m_fake.cam->hide(); // the Video Out view
    m_cycle.TakeSnapshot();
    m_pic.repaint();
    EXPECT_FALSE(m_pic.hasDeferredPicture());
    const QImage shown = m_pic.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, QImage(jpegPath(), "JPEG").convertToFormat(QImage::Format_RGB32));
}

TEST_F(SnapshotCycleTest, FailedCaptureEncodesTheDecodedSnapshotAsBefore)
{
    m_cycle.TakeSnapshot();
    const QImage previous(jpegPath(), "JPEG");
    const QByteArray expected = encoded(previous, m_dir.filePath("expected.jpg"));
    ASSERT_FALSE(expected.isEmpty());

    source().failingStills = 1;
    m_cycle.TakeSnapshot();
    QFile written(jpegPath());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), expected) << "the re-encoded snapshot is the decoded JPEG, not the raw frame";
}

TEST_F(SnapshotCycleTest, SnapshotLeftByAnEarlierRunGoesWhenThisRunHasNoFrame)
{
    {
        QFile old(jpegPath());
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an earlier run's picture");
    }
    source().vanish();
    m_cycle.TakeSnapshot();
    expectCaptureFailureShown();
    EXPECT_FALSE(QFile::exists(jpegPath())) << "viewers must get the error page, not an old picture";
    EXPECT_TRUE(QDir(m_dir.filePath("root/images")).exists());
}

} // namespace
