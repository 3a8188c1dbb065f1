#include "MainWindowFixture.h"

#include "capture/control/CaptureControl.h"
#include "shell/Mouse.h"
#include "shell/chrome/PictureBox.h"
#include "shell/chrome/frmAbout.h"

#include <QLabel>
#include <QTimer>

namespace {

// One tick, delivered at once instead of waiting for the timer.
void tick(QTimer* timer)
{
    QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
}

class MainButtons : public MainWindowFixture {
protected:
    MainButtons()
    {
        writeSettings("75\r\n2\r\n\"True\"\r\n" + QByteArray::number(freePortRun(1)) + "\r\n");
        load();
    }
    frmMain& w() { return *window; }
};

TEST_F(MainButtons, HeldArrowStepsOnTicksWithAnyMouseButton)
{
    Mouse::press(w().qualityUp, Qt::RightButton);
    EXPECT_EQ(w().qualityUp->picture(), w().arrowUp->picture());  // pressed face
    EXPECT_TRUE(w().sliTimer->isActive());
    EXPECT_EQ(w().state().quality, 75);  // the press alone steps nothing
    tick(w().sliTimer);
    tick(w().sliTimer);
    EXPECT_EQ(w().state().quality, 85);
    EXPECT_EQ(w().lblQuality->text(), "Video Quality 85%");

    // Released with the pointer far off the button: still the release.
    Mouse::release(w().qualityUp, Qt::RightButton, {}, QPoint(-200, -200));
    EXPECT_FALSE(w().sliTimer->isActive());
    EXPECT_EQ(w().qualityUp->picture(), w().rateUp->picture());  // normal face copied from rateUp
}

TEST_F(MainButtons, HoldingRateUpReachesFiveAndRetimesTheSnapshots)
{
    w().state().rate = 1;
    Mouse::press(w().rateUp, Qt::LeftButton);
    for (int i = 0; i < 4; ++i)
        tick(w().sliTimer);
    Mouse::release(w().rateUp, Qt::LeftButton);
    EXPECT_EQ(w().state().rate, 5);
    EXPECT_EQ(w().time->interval(), 200);
    EXPECT_EQ(w().lblRate->text(), "Frames Rate 5/s");
}

TEST_F(MainButtons, VideoOutAndBackAgain)
{
    Mouse::press(w().lblVideoInOut, Qt::LeftButton);
    EXPECT_EQ(w().btnVideoInOut->picture(), w().btnPush->picture());
    EXPECT_EQ(w().lblVideoInOut->text(), "Video Out");  // nothing runs on the press
    Mouse::release(w().lblVideoInOut, Qt::LeftButton);
    EXPECT_EQ(w().btnVideoInOut->picture(), w().btnOpenChat->picture());
    EXPECT_EQ(w().lblVideoInOut->text(), "Video In");
    EXPECT_EQ(w().lblVideoInOut->toolTip(), "Show Video In");
    EXPECT_TRUE(w().cam->isHidden());
    EXPECT_FALSE(w().cam->liveDisplay());
    EXPECT_TRUE(w().time->isActive());  // the cycle goes on in both views

    Mouse::click(w().lblVideoInOut, Qt::RightButton);
    EXPECT_EQ(w().lblVideoInOut->text(), "Video Out");
    EXPECT_EQ(w().lblVideoInOut->toolTip(), "Show Video Out");
    EXPECT_FALSE(w().cam->isHidden());
    EXPECT_TRUE(w().cam->liveDisplay());
}

TEST_F(MainButtons, AboutTwiceShowsOneWindow)
{
    Mouse::click(w().lblOpenChat, Qt::LeftButton);
    frmAbout* first = frmAbout::openOne();
    ASSERT_NE(first, nullptr);
    Mouse::click(w().lblOpenChat, Qt::LeftButton);
    EXPECT_EQ(frmAbout::openOne(), first);
    EXPECT_EQ(w().btnOpenChat->picture(), w().btnVideoInOut->picture());
    first->close();
}

TEST_F(MainButtons, CloseReleasedOffTheButtonEndsAndWritesSettings)
{
    w().state().quality = 60;
    w().state().keepTb = "False";
    Mouse::press(w().btnClose, Qt::LeftButton);
    EXPECT_EQ(w().btnClose->picture(), w().btnClosePush->picture());
    EXPECT_EQ(ended, 0);
    Mouse::release(w().btnClose, Qt::LeftButton, {}, QPoint(500, 500));
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(settingsBytes().startsWith("60\r\n2\r\n\"False\"\r\n"));
    EXPECT_FALSE(w().time->isActive());
}

TEST_F(MainButtons, ThumbnailClickSwitchesTheMode)
{
    Mouse::click(w().picTb, Qt::LeftButton);
    EXPECT_EQ(w().state().keepTb, "False");
    EXPECT_EQ(w().picTb->toolTip(), "Keep preview snapshot");
}

TEST_F(MainButtons, ControlsExposeTheirCaptionsAndTips)
{
    EXPECT_EQ(w().qualityUp->accessibleName(), "Up Video Quality");
    EXPECT_EQ(w().rateDown->toolTip(), "Down Frames Rate");
    EXPECT_EQ(w().lblOpenChat->toolTip(), "About Talvex");
    EXPECT_EQ(w().lblVideoSource->toolTip(), "Set Video Source");
    EXPECT_EQ(w().lblVideoFormat->toolTip(), "Set Video Format");
    EXPECT_EQ(w().windowTitle(), "Talvex");
    EXPECT_EQ(w().size(), QSize(324, 335));
}

}  // namespace
