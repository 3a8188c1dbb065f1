#include "capture/DataRateText.h"
#include "capture/LiveFeed.h"
#include "capture/LiveView.h"
#include "image/PictureApply.h"
#include "http/stream/LatestFrame.h"
#include "capture/SnapshotCycle.h"
#include "image/cDIBSection.h"
#include "image/mIntelJPEGLibrary.h"
#include "shell/chrome/PictureBox.h"
#include "support/EventLoop.h"
#include "support/FileSizeLimit.h"

#include "CaptureTestSupport.h"

#include <QCoreApplication>
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

    SourceScript& camera() { return *m_fake.fake0; }
    QString jpegPath() const { return m_dir.filePath("root/images/VelmarixCamImage.jpg"); }
    QString bitmapPath() const { return m_dir.filePath("VelmarixCamImage.bmp"); }
    QByteArray jpegBytes() const
    {
        QFile file(jpegPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList images() const { return QDir(m_dir.filePath("root/images")).entryList(QDir::Files | QDir::Hidden); }
    void expectCaptureFailureShown()
    {
        EXPECT_EQ(m_sb1.text(), "Check video...");
        EXPECT_FALSE(m_timeTb.isActive());
    }

    QTemporaryDir m_dir;
    MainState m_state;
    PictureBox m_pic;
    ScriptedCapture m_fake{&m_pic};
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
    ASSERT_EQ(jpeg.size(), QSize(640, 480));
    EXPECT_FALSE(QFile::exists(bitmapPath()));
    EXPECT_EQ(m_pic.picture().size(), QSize(640, 480)) << "the video area shows the JPEG just written";
    const QColor shown = m_pic.picture().pixelColor(300, 300);
    EXPECT_NEAR(shown.blue(), camera().colour.blue(), 6);
    EXPECT_NEAR(shown.red(), camera().colour.red(), 6);
    EXPECT_EQ(m_sb3.text(), *dataRateText(QFileInfo(jpegPath()).size(), 2));
    EXPECT_TRUE(m_fake.cam->liveDisplay());
    EXPECT_EQ(m_sb1.text(), "Ready");
    EXPECT_TRUE(m_timeTb.isActive());
}

TEST_F(SnapshotCycleTest, TheStreamGetsTheBytesWrittenAndOnlyForRealFrames)
{
    LatestFrame frames;
    LiveFeed feed(m_state, frames, m_sb3, [] { return 0; });
    m_cycle.setLiveFeed(&feed);
    const struct {
        int failing;
        quint64 sequence;
    } cycles[] = {{0, 1}, {1, 1}, {0, 2}};
    for (const auto& cycle : cycles) {
        camera().failingStills = cycle.failing;
        m_cycle.TakeSnapshot();
        EXPECT_EQ(frames.sequence(), cycle.sequence);
        EXPECT_EQ(feed.status().cameraFailing, cycle.failing != 0);
        QFile written(jpegPath());
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        if (!cycle.failing) {
            EXPECT_EQ(frames.jpeg(), written.readAll()) << "the very bytes of the file";
        }
    }
}

TEST_F(SnapshotCycleTest, FailedCaptureReencodesThePictureShownAndStaysShownAfterRecovery)
{
    m_cycle.TakeSnapshot();
    ASSERT_TRUE(QFile::remove(jpegPath()));
    camera().colour = QColor(250, 10, 10);
    camera().failingStills = 1;
    m_cycle.TakeSnapshot();

    expectCaptureFailureShown();
    const QImage jpeg(jpegPath(), "JPEG");
    ASSERT_EQ(jpeg.size(), QSize(320, 240)) << "the snapshot is rewritten from the video area";
    EXPECT_NEAR(jpeg.pixelColor(100, 100).blue(), 220, 8) << "old picture, not the new colour";
    EXPECT_EQ(m_sb3.text(), *dataRateText(QFileInfo(jpegPath()).size(), 2));

    m_cycle.TakeSnapshot();
    EXPECT_NEAR(QImage(jpegPath(), "JPEG").pixelColor(100, 100).red(), 250, 8) << "the new frame once it comes";
    EXPECT_FALSE(QFile::exists(bitmapPath()));
    expectCaptureFailureShown();
}

TEST_F(SnapshotCycleTest, NoCameraAndNoPictureLeavesNoSnapshot)
{
    camera().present = false;
    m_cycle.TakeSnapshot();
    m_cycle.TakeSnapshot();
    expectCaptureFailureShown();
    EXPECT_FALSE(QFile::exists(jpegPath()));
    EXPECT_TRUE(m_pic.picture().isNull());
    EXPECT_EQ(m_sb3.text(), "KB/s");
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

// A started cycle leaves the window alone until its worker half is done,
// skips the ticks that come meanwhile, and finishes from the event loop,
// also when the source is replaced in between.
TEST_F(SnapshotCycleTest, StartedCycleFinishesFromTheEventLoop)
{
    const struct {
        const char* name;
        int failing;
        bool replaceSource;
        QColor camera;
        QColor snapshot;  // afterwards
        const char* caption;
    } rows[] = {
        {"frame", 0, false, QColor(250, 10, 10), QColor(250, 10, 10), "Ready"},
        {"failed capture", 1, false, QColor(10, 10, 250), QColor(250, 10, 10), "Check video..."},
        {"source replaced meanwhile", 0, true, QColor(10, 250, 10), QColor(10, 250, 10), "Ready"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        m_cycle.TakeSnapshot();
        m_sb1.setText("Ready");
        m_sb3.setText("KB/s");
        m_timeTb.start();
        camera().colour = row.camera;
        camera().failingStills = row.failing;
        ASSERT_TRUE(m_cycle.startSnapshot());
        EXPECT_FALSE(m_cycle.startSnapshot()) << "a tick while it runs";
        if (row.replaceSource)
            ASSERT_TRUE(m_fake.cam->selectSource("/dev/fake1"));
        EXPECT_EQ(m_sb3.text(), "KB/s");
        EXPECT_TRUE(m_timeTb.isActive());

        ASSERT_TRUE(pumpUntil([&] { return !m_cycle.cycleRunning(); }));
        EXPECT_EQ(m_sb1.text(), row.caption);
        EXPECT_EQ(m_timeTb.isActive(), row.failing == 0);
        EXPECT_EQ(m_sb3.text(), *dataRateText(QFileInfo(jpegPath()).size(), 2));
        const QColor written = QImage(jpegPath(), "JPEG").pixelColor(100, 100);
        EXPECT_NEAR(written.red(), row.snapshot.red(), 8);
        EXPECT_NEAR(written.blue(), row.snapshot.blue(), 8);
        EXPECT_EQ(m_pic.picture(), QImage(jpegPath(), "JPEG"));
    }
}

// A limit of 0 refuses the first byte; 300 bytes let each file start and
// then cut it, which leaves a part-written file unless the writers clean up.
TEST_F(SnapshotCycleTest, FullDiskKeepsTheLastGoodSnapshotAndWritingResumes)
{
    for (const rlim_t limit : {rlim_t(0), rlim_t(300)}) {
        m_cycle.TakeSnapshot();
        const QByteArray lastGood = jpegBytes();
        ASSERT_FALSE(lastGood.isEmpty());
        {
            FileSizeLimit full(limit);
            ASSERT_TRUE(full.ok());
            camera().colour = QColor(250, 10, 10);
            m_cycle.TakeSnapshot();
            EXPECT_EQ(jpegBytes(), lastGood) << limit;
            EXPECT_EQ(images(), QStringList{"VelmarixCamImage.jpg"}) << limit;
        }
        expectCaptureFailureShown(); // the frame goes through a bitmap, which cannot be written either
        m_cycle.TakeSnapshot();
        EXPECT_NEAR(QImage(jpegPath(), "JPEG").pixelColor(100, 100).red(), 250, 8) << limit;
        EXPECT_EQ(images(), QStringList{"VelmarixCamImage.jpg"}) << limit;
        EXPECT_FALSE(QFile::exists(bitmapPath())) << limit;
        camera().colour = QColor(20, 120, 220);
    }
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
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath("root/images"))) << "the cycle never makes the directory";
}

// The status caption stays what it always was; its tooltip names the folder
// that stopped the snapshot, and goes once a snapshot is written again.
TEST_F(SnapshotCycleTest, TooltipNamesTheFolderThatStoppedTheSnapshot)
{
    const QString images = m_dir.filePath("root/images");
    const struct {
        const char* name;
        QString tempPath;   // where the cycle works
        QString removed;    // folder taken away before the cycle
        QString caption;    // sb1 afterwards
        QString tip;        // sb1's tooltip afterwards
    } rows[] = {
        {"images folder missing", m_dir.path(), images, "Ready",
         "Snapshot not written: folder " + images + " is missing"},
        {"working folder missing", m_dir.filePath("gone"), QString(), "Check video...",
         "Frame not written: folder " + m_dir.filePath("gone") + " is missing"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        m_sb1.setText("Ready");
        m_state.TempPath = m_dir.path();
        m_cycle.TakeSnapshot(); // a picture in the video area
        ASSERT_EQ(m_sb1.toolTip(), "");
        if (!row.removed.isEmpty()) {
            ASSERT_TRUE(QDir(row.removed).removeRecursively());
        }
        m_state.TempPath = row.tempPath;

        m_cycle.TakeSnapshot();
        EXPECT_EQ(m_sb1.text(), row.caption);
        EXPECT_EQ(m_sb1.toolTip(), row.tip);

        m_state.TempPath = m_dir.path();
        ASSERT_TRUE(QDir().mkpath(images));
        m_cycle.TakeSnapshot();
        EXPECT_EQ(m_sb1.toolTip(), "");
    }
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

    camera().failingStills = 1;
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
    camera().present = false;
    m_cycle.TakeSnapshot();
    expectCaptureFailureShown();
    EXPECT_FALSE(QFile::exists(jpegPath())) << "viewers must get the error page, not an old picture";
    EXPECT_TRUE(QDir(m_dir.filePath("root/images")).exists());
}


TEST_F(SnapshotCycleTest, TurnedPictureReachesTheSnapshotTheVideoAreaAndTheLiveView)
{
    PictureOptions options;
    options.rotation = 90;
    options.captionOn = true;
    pictureSlot().setOptions(options);
    ASSERT_TRUE(m_fake.cam->selectFrameSize(QSize(640, 480)));
    m_fake.cam->setClock([] { return std::time_t(1765022400); });
    m_pic.show();
    m_fake.cam->hide(); // the Video Out view
    m_cycle.TakeSnapshot();
    m_pic.repaint();
    const QImage snapshot(jpegPath(), "JPEG");
    EXPECT_EQ(snapshot.size(), QSize(480, 640));
    // Drawn whole: 180 x 240 in the middle of the 320 x 240 area, bars at the sides.
    const QImage shown = m_pic.grab().toImage();
    EXPECT_EQ(shown.pixelColor(20, 120), QColor(Qt::black));
    EXPECT_NEAR(shown.pixelColor(160, 60).blue(), camera().colour.blue(), 8);
    EXPECT_EQ(LiveView(*m_fake.cam, m_pic).currentPicture().size(), QSize(480, 640));
    m_fake.cam->show();
    EXPECT_EQ(LiveView(*m_fake.cam, m_pic).currentPicture().size(), QSize(480, 640));

    pictureSlot().setOptions(PictureOptions());
    m_cycle.TakeSnapshot();
    EXPECT_EQ(QImage(jpegPath(), "JPEG").size(), QSize(640, 480));
    EXPECT_FALSE(m_pic.keepsShape()) << "the defaults bring back the area's unscaled drawing";
}

} // namespace
