#include "capture/control/CaptureControl.h"
#include "capture/control/CaptureSettings.h"
#include "capture/control/SourceDialog.h"
#include "shell/chrome/PictureBox.h"

#include "capture/CaptureTestSupport.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class CaptureControlTest : public CaptureSettingsTest {};

const SourceChoice kFake0{"/dev/fake0", "Fake zero", "/dev/fake0"};
const SourceChoice kFake1{"/dev/fake1", "Fake one", "/dev/fake1"};
const SourceChoice kFake1ById{"by-id/fake1", "Fake one", "/dev/fake1"};
const SourceChoice kPattern{TestPatternSource::sourceId(), TestPatternSource::sourceName(), {}};

struct StartCase {
    const char* name;
    QString remembered;
    QList<SourceChoice> atStart;
    QString sourceAtStart;
    bool waiting;
    QList<SourceChoice> later;  // what the watch finds on its next tick
    QString sourceLater;
    QString rememberedAfter;
};

class CaptureStart : public CaptureControlTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(CaptureStart, OpensTheRememberedCameraWhereverAndWhenever)
{
    const StartCase& row = GetParam();
    CaptureSettings::setSourceId(row.remembered);
    ScriptedCapture fake(nullptr, row.atStart);
    CaptureControl& cam = *fake.cam;
    cam.setLiveDisplay(true);
    EXPECT_EQ(cam.sourceId(), row.sourceAtStart);
    EXPECT_EQ(cam.waitingForCamera(), row.waiting);
    // Waiting is a failing camera, never another one's picture.
    EXPECT_EQ(cam.CaptureStill(), !row.waiting);
    EXPECT_EQ(fake.notices.filter("not present, waiting").size(), row.waiting ? 1 : 0) << fake.notices.join('\n').toStdString();

    fake.catalog->setChoices(row.later);
    cam.checkSource();
    cam.checkSource();
    EXPECT_EQ(cam.sourceId(), row.sourceLater);
    // Found, it is opened at once, with no stand-in left behind.
    const bool stillWaiting = row.waiting && !row.later.contains(kFake1) && !row.later.contains(kFake1ById);
    EXPECT_EQ(cam.waitingForCamera(), stillWaiting);
    EXPECT_EQ(cam.source()->isOpen(), !stillWaiting);
    EXPECT_EQ(cam.CaptureStill(), !stillWaiting);
    EXPECT_EQ(CaptureSettings::sourceId(), row.rememberedAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CaptureStart,
    ::testing::Values(
        StartCase{"NothingChosenTakesTheFirstCamera", "", {kFake0, kFake1, kPattern}, "/dev/fake0", false,
                  {kFake1, kPattern}, "/dev/fake0", ""},
        StartCase{"NothingChosenNoCameraPatternUntilOneComes", "", {kPattern}, kPattern.id, false, {kFake1, kPattern},
                  "/dev/fake1", ""},
        StartCase{"RememberedPresent", "/dev/fake1", {kFake0, kFake1, kPattern}, "/dev/fake1", false,
                  {kFake0, kFake1, kPattern}, "/dev/fake1", "/dev/fake1"},
        StartCase{"RememberedMissingIsWaitedFor", "/dev/fake1", {kFake0, kPattern}, "/dev/fake1", true,
                  {kFake0, kFake1, kPattern}, "/dev/fake1", "/dev/fake1"},
        StartCase{"RememberedNeverComes", "/dev/fake1", {kFake0, kPattern}, "/dev/fake1", true, {kFake0, kPattern},
                  "/dev/fake1", "/dev/fake1"},
        StartCase{"ChosenPatternStays", kPattern.id, {kFake0, kPattern}, kPattern.id, false, {kFake0, kPattern},
                  kPattern.id, kPattern.id},
        StartCase{"OldNodeBecomesTheCamerasIdentity", "/dev/fake1", {kFake0, kFake1ById, kPattern}, "by-id/fake1",
                  false, {kFake0, kFake1ById, kPattern}, "by-id/fake1", "by-id/fake1"},
        StartCase{"OldNodeWaitedForBecomesTheCamerasIdentity", "/dev/fake1", {kFake0, kPattern}, "/dev/fake1", true,
                  {kFake0, kFake1ById, kPattern}, "by-id/fake1", "by-id/fake1"}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

TEST_F(CaptureControlTest, AnotherCameraOnTheNodeIsNotTakenForTheRememberedOne)
{
    const SourceChoice one{"v4l2:One@usb-1", "One", "/dev/fake1"};
    CaptureSettings::setSourceId(one.id);
    ScriptedCapture fake(nullptr, {one, kPattern});
    fake.cam->setLiveDisplay(true);
    ASSERT_TRUE(fake.cam->source()->isOpen());
    fake.cam->source()->close();
    fake.catalog->setChoices({{"v4l2:Two@usb-2", "Two", "/dev/fake1"}, kPattern});
    fake.cam->source()->open(); // its own reopen finds a node that is there again
    QCoreApplication::processEvents();
    EXPECT_TRUE(fake.cam->waitingForCamera());
    EXPECT_FALSE(fake.cam->CaptureStill());
}

TEST_F(CaptureControlTest, EachCameraKeepsItsOwnFrameSizeOlderConfigurationsTheirOne)
{
    CaptureSettings::setFrameSize(QSize(1280, 720));
    ScriptedCapture fake;
    CaptureControl& cam = *fake.cam;
    EXPECT_EQ(cam.source()->frameSize(), QSize(1280, 720)) << "the one size an older configuration kept";
    ASSERT_TRUE(cam.selectFrameSize(QSize(640, 480)));
    ASSERT_TRUE(cam.selectSource("/dev/fake1"));
    EXPECT_EQ(cam.source()->frameSize(), QSize(1280, 720));
    ASSERT_TRUE(cam.selectFrameSize(QSize(320, 240)));
    ASSERT_TRUE(cam.selectSource("/dev/fake0"));
    EXPECT_EQ(cam.source()->frameSize(), QSize(640, 480));
}

TEST_F(CaptureControlTest, LiveDisplayFollowsFramesAndOffFreezesThePicture)
{
    ScriptedCapture fake;
    CaptureControl& cam = *fake.cam;
    cam.show();
    cam.setLiveDisplay(true);
    cam.setLiveDisplay(true);
    EXPECT_TRUE(fake.source().isOpen());
    EXPECT_EQ(fake.fake0->opens, 1) << "switching on again while open must not reopen";

    fake.fake0->colour = QColor(0, 200, 0);
    fake.source().pushFrame();
    EXPECT_EQ(cam.grab().toImage().pixelColor(160, 120), QColor(0, 200, 0));

    cam.setLiveDisplay(false);
    fake.fake0->colour = QColor(200, 0, 200);
    fake.source().pushFrame();
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
    ScriptedCapture fake(&pic);
    fake.cam->setGeometry(0, 0, 320, 240);
    pic.show();
    fake.cam->setLiveDisplay(true);
    fake.source().pushFrame();
    EXPECT_EQ(pic.grab().toImage().pixelColor(100, 100), fake.fake0->colour);

    fake.cam->setLiveDisplay(false);
    fake.cam->setVisible(false);
    EXPECT_EQ(pic.grab().toImage().pixelColor(100, 100), QColor(250, 250, 0));
    fake.cam->setLiveDisplay(true);
    fake.cam->setVisible(true);
    EXPECT_EQ(pic.grab().toImage().pixelColor(100, 100), fake.fake0->colour);
}

TEST_F(CaptureControlTest, StillsFailWithAReasonAndRecoverWhenTheDeviceReturns)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("still.bmp");
    ScriptedCapture fake;
    CaptureControl& cam = *fake.cam;
    EXPECT_FALSE(cam.WriteStillBitmap(path)) << "nothing held yet";
    EXPECT_FALSE(cam.errorString().isEmpty());

    fake.fake0->failingStills = 1;
    EXPECT_FALSE(cam.CaptureStill());
    EXPECT_EQ(cam.errorString(), "scripted failure");
    EXPECT_FALSE(cam.WriteStillBitmap(path)) << "a failed still drops the one held before";

    fake.fake0->present = false;
    EXPECT_FALSE(cam.CaptureStill());
    EXPECT_FALSE(cam.errorString().isEmpty());

    fake.fake0->present = true;
    ASSERT_TRUE(cam.CaptureStill());
    EXPECT_TRUE(cam.errorString().isEmpty());
    ASSERT_TRUE(cam.WriteStillBitmap(path));
    EXPECT_EQ(QImage(path).size(), QSize(320, 240));
}

// Switching the source, by the control itself or from the Video Source
// dialog's list: remembered unless the source cannot open; the live display
// goes on with the source in use, and the list shows it.
TEST_F(CaptureControlTest, SwitchingSourceIsRememberedUnlessTheSourceCannotOpen)
{
    ScriptedCapture fake;
    CaptureControl& cam = *fake.cam;
    cam.setLiveDisplay(true);
    SourceDialog dialog(cam);
    auto* list = dialog.findChild<QComboBox*>("sourceList");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->currentData().toString(), "/dev/fake0");
    EXPECT_TRUE(list->itemText(1).contains("Fake one"));
    // The source tried, whether it is there, whether from the list, and what follows.
    const struct { QString id; bool present, fromList, switched; QString inUse, remembered; } steps[] = {
        {"/dev/fake1", false, true, false, "/dev/fake0", ""},
        {"/dev/fake1", true, true, true, "/dev/fake1", "/dev/fake1"},
        {"/dev/fake0", false, false, false, "/dev/fake1", "/dev/fake1"},
        {"/dev/unknown", true, false, false, "/dev/fake1", "/dev/fake1"},
        {"/dev/unknown", true, true, false, "/dev/fake1", "/dev/fake1"}, // a row past the list's end
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.id.toStdString() + (step.fromList ? " from the list" : ""));
        fake.catalog->script(step.id)->present = step.present;
        const int row = list->findData(step.id);
        EXPECT_EQ(step.fromList ? dialog.chooseSource(row < 0 ? 7 : row) : cam.selectSource(step.id), step.switched);
        EXPECT_EQ(cam.source()->id(), step.inUse);
        EXPECT_TRUE(cam.source()->isOpen());
        EXPECT_EQ(CaptureSettings::sourceId(), step.remembered);
        EXPECT_EQ(list->currentData().toString(), step.inUse);
    }
}

struct ShapeCase {
    QSize frame;
    QSize area;
    QRect shown;
};

class LiveViewShape : public CaptureSettingsTest, public ::testing::WithParamInterface<ShapeCase> {};

// The live view keeps the picture's shape: bars above and below a wide
// picture, at the sides of a tall one, none when the shapes agree.
TEST_P(LiveViewShape, PictureKeepsItsShapeBetweenBlackBars)
{
    const ShapeCase c = GetParam();
    ScriptedCapture fake(nullptr, ScriptedCatalog().choices(), [&c](SourceScript& s) { s.sizes = {c.frame}; });
    fake.cam->resize(c.area);
    fake.cam->show();
    fake.cam->setLiveDisplay(true);
    fake.fake0->colour = QColor(0, 200, 0);
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
}

INSTANTIATE_TEST_SUITE_P(Shapes, LiveViewShape,
                         ::testing::Values(ShapeCase{{1280, 720}, {320, 240}, QRect(0, 30, 320, 180)},
                                           ShapeCase{{640, 480}, {320, 180}, QRect(40, 0, 240, 180)},
                                           ShapeCase{{640, 480}, {320, 240}, QRect(0, 0, 320, 240)},
                                           ShapeCase{{1920, 1080}, {321, 241}, QRect(0, 30, 321, 180)}));

} // namespace
