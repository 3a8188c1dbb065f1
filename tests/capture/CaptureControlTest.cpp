#include "capture/control/CaptureControl.h"
#include "capture/control/CaptureSettings.h"
#include "capture/source/TestPatternSource.h"
#include "shell/chrome/PictureBox.h"

#include "CaptureTestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class CaptureControlTest : public ::testing::Test {
protected:
    void SetUp() override { clearCaptureSettings(); }
    void TearDown() override { clearCaptureSettings(); }
};

TEST_F(CaptureControlTest, FirstStartTakesTheFirstDeviceOrElseTheTestPattern)
{
    FakeCam withDevices;
    EXPECT_EQ(withDevices.cam->source()->id(), "/dev/fake0");

    FakeCam none(nullptr, {}, {});
    EXPECT_EQ(none.cam->source()->id(), TestPatternSource::sourceId());
}

TEST_F(CaptureControlTest, RestoresTheRememberedSourceAndSizeWhileTheDeviceIsListed)
{
    CaptureSettings::setSourceId("/dev/fake1");
    CaptureSettings::setFrameSize(QSize(1280, 720));
    FakeCam cam;
    EXPECT_EQ(cam.cam->source()->id(), "/dev/fake1");
    EXPECT_EQ(cam.cam->source()->frameSize(), QSize(1280, 720));

    CaptureSettings::setSourceId("/dev/unplugged");
    CaptureSettings::setFrameSize(QSize(999, 1));
    FakeCam fallback;
    EXPECT_EQ(fallback.cam->source()->id(), "/dev/fake0");
    EXPECT_EQ(fallback.cam->source()->frameSize(), QSize(320, 240)) << "an unknown size keeps the default";
}

TEST_F(CaptureControlTest, LiveDisplayFollowsFramesAndOffFreezesThePicture)
{
    FakeCam fake;
    CaptureControl& cam = *fake.cam;
    FakeVideoSource& source = fake.source();
    cam.show();

    cam.setLiveDisplay(true);
    cam.setLiveDisplay(true);
    EXPECT_TRUE(source.isOpen());
    EXPECT_EQ(source.openCalls, 1) << "switching on again while open must not reopen";

    source.colour = QColor(0, 200, 0);
    source.pushFrame();
    EXPECT_EQ(cam.grab().toImage().pixelColor(160, 120), QColor(0, 200, 0));

    cam.setLiveDisplay(false);
    EXPECT_FALSE(cam.liveDisplay());
    source.colour = QColor(200, 0, 200);
    source.pushFrame();
    EXPECT_EQ(cam.grab().toImage().pixelColor(160, 120), QColor(0, 200, 0)) << "picture must stand still";

    cam.setLiveDisplay(true);
    EXPECT_EQ(cam.grab().toImage().pixelColor(160, 120), QColor(200, 0, 200));
}

TEST_F(CaptureControlTest, HiddenControlLetsTheVideoAreaShowThrough)
{
    PictureBox pic;
    pic.resize(320, 240);
    QImage still(320, 240, QImage::Format_RGB32);
    still.fill(QColor(250, 250, 0));
    pic.setPicture(still);
    FakeCam fake(&pic);
    fake.cam->setGeometry(0, 0, 320, 240);
    pic.show();
    fake.cam->setLiveDisplay(true);
    fake.source().pushFrame();
    EXPECT_EQ(pic.grab().toImage().pixelColor(100, 100), fake.source().colour);

    fake.cam->setLiveDisplay(false);
    fake.cam->setVisible(false);
    EXPECT_EQ(pic.grab().toImage().pixelColor(100, 100), QColor(250, 250, 0));
    fake.cam->setLiveDisplay(true);
    fake.cam->setVisible(true);
    EXPECT_EQ(pic.grab().toImage().pixelColor(100, 100), fake.source().colour);
}

TEST_F(CaptureControlTest, StillsFailWithAReasonAndRecoverWhenTheDeviceReturns)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("still.bmp");
    FakeCam fake;
    CaptureControl& cam = *fake.cam;

    EXPECT_FALSE(cam.WriteStillBitmap(path)) << "nothing held yet";
    EXPECT_FALSE(cam.errorString().isEmpty());

    fake.source().failingStills = 1;
    EXPECT_FALSE(cam.CaptureStill());
    EXPECT_EQ(cam.errorString(), "scripted failure");
    EXPECT_FALSE(cam.WriteStillBitmap(path)) << "a failed still drops the one held before";

    fake.source().vanish();
    EXPECT_FALSE(cam.CaptureStill());
    EXPECT_FALSE(cam.errorString().isEmpty());

    fake.source().comeBack();
    ASSERT_TRUE(cam.CaptureStill());
    EXPECT_TRUE(cam.errorString().isEmpty());
    ASSERT_TRUE(cam.WriteStillBitmap(path));
    EXPECT_EQ(QImage(path).size(), QSize(320, 240));
}

TEST_F(CaptureControlTest, StillsTakeTheChosenFormatSize)
{
    QTemporaryDir dir;
    FakeCam fake;
    ASSERT_TRUE(fake.cam->selectFrameSize(QSize(1280, 720)));
    EXPECT_EQ(CaptureSettings::frameSize(), QSize(1280, 720));
    ASSERT_TRUE(fake.cam->CaptureStill());
    ASSERT_TRUE(fake.cam->WriteStillBitmap(dir.filePath("s.bmp")));
    const QImage written(dir.filePath("s.bmp"));
    EXPECT_EQ(written.size(), QSize(1280, 720));
    EXPECT_EQ(written.pixelColor(0, 0), QColor(Qt::red)) << "top-left stays top-left";

    EXPECT_FALSE(fake.cam->selectFrameSize(QSize(1920, 1080)));
    EXPECT_EQ(fake.cam->source()->frameSize(), QSize(1280, 720));
    EXPECT_EQ(CaptureSettings::frameSize(), QSize(1280, 720));
}

TEST_F(CaptureControlTest, SwitchingSourceIsRememberedUnlessTheSourceCannotOpen)
{
    FakeCam fake;
    CaptureControl& cam = *fake.cam;
    cam.setLiveDisplay(true);

    ASSERT_TRUE(cam.selectSource("/dev/fake1"));
    EXPECT_EQ(cam.source()->id(), "/dev/fake1");
    EXPECT_TRUE(cam.source()->isOpen()) << "the live display goes on with the new source";
    EXPECT_EQ(CaptureSettings::sourceId(), "/dev/fake1");

    *fake.prepare = [](FakeVideoSource& s) { s.present = false; };
    EXPECT_FALSE(cam.selectSource("/dev/fake0"));
    EXPECT_EQ(cam.source()->id(), "/dev/fake1");
    EXPECT_EQ(CaptureSettings::sourceId(), "/dev/fake1");

    EXPECT_FALSE(cam.selectSource("/dev/unknown"));
    EXPECT_EQ(cam.source()->id(), "/dev/fake1");
}

struct ShapeCase {
    QSize frame;
    QSize area;
    QRect shown;
};

class LiveViewShape : public ::testing::TestWithParam<ShapeCase> {};

// The live view keeps the picture's shape: bars above and below a wide
// picture, at the sides of a tall one, none when the shapes agree.
TEST_P(LiveViewShape, PictureKeepsItsShapeBetweenBlackBars)
{
    clearCaptureSettings();
    const ShapeCase c = GetParam();
    FakeCam fake(nullptr, [&c](FakeVideoSource& s) { s.sizes = {c.frame}; s.setFrameSize(c.frame); });
    fake.cam->resize(c.area);
    fake.cam->show();
    fake.cam->setLiveDisplay(true);
    fake.source().colour = QColor(0, 200, 0);
    fake.source().pushFrame();

    EXPECT_EQ(CaptureControl::pictureRect(c.frame, QRect(QPoint(0, 0), c.area)), c.shown);
    const QImage painted = fake.cam->grab().toImage();
    for (int y = 0; y < c.area.height(); ++y) {
        for (int x = 0; x < c.area.width(); ++x) {
            // Edges of a scaled picture may blend; look one pixel inside or outside.
            const QRect inner = c.shown.adjusted(1, 1, -1, -1);
            const QRect outer = c.shown.adjusted(-1, -1, 1, 1);
            const bool redCorner = x < c.shown.left() + 3 && y < c.shown.top() + 3; // the frame's red pixel
            if (inner.contains(x, y) && !redCorner) {
                ASSERT_EQ(painted.pixelColor(x, y), QColor(0, 200, 0)) << x << "," << y;
            } else if (!outer.contains(x, y)) {
                ASSERT_EQ(painted.pixelColor(x, y), QColor(Qt::black)) << x << "," << y;
            }
        }
    }
    clearCaptureSettings();
}

INSTANTIATE_TEST_SUITE_P(Shapes, LiveViewShape,
                         ::testing::Values(ShapeCase{{1280, 720}, {320, 240}, QRect(0, 30, 320, 180)},
                                           ShapeCase{{640, 480}, {320, 180}, QRect(40, 0, 240, 180)},
                                           ShapeCase{{640, 480}, {320, 240}, QRect(0, 0, 320, 240)},
                                           ShapeCase{{1920, 1080}, {321, 241}, QRect(0, 30, 321, 180)}));

} // namespace
