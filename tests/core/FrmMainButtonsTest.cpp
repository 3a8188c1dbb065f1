#include "MainWindowFixture.h"

#include "capture/control/CaptureControl.h"
#include "support/Mouse.h"
#include "shell/chrome/PictureBox.h"
#include "shell/chrome/frmAbout.h"

#include <QLabel>

// The buttons reach their commands: faces, stepping and the device
// commands are tested with their own classes.
namespace {

class MainButtons : public MainWindowFixture {
protected:
    MainButtons()
    {
        writeSettingsWithPort(freePortRun(1));
        load();
    }
    frmMain& w() { return *window; }
};

TEST_F(MainButtons, HeldArrowsStepOnTicksWithAnyMouseButton)
{
    Mouse::press(w().qualityUp, Qt::RightButton);
    EXPECT_EQ(w().qualityUp->picture(), w().arrowUp->picture()); // pressed face
    EXPECT_EQ(w().state().quality, 75);                          // the press alone steps nothing
    tick(w().sliTimer);
    tick(w().sliTimer);
    EXPECT_EQ(w().lblQuality->text(), "Video Quality 85%");
    // Released with the pointer far off the button: still the release.
    Mouse::release(w().qualityUp, Qt::RightButton, {}, QPoint(-200, -200));
    EXPECT_FALSE(w().sliTimer->isActive());
    EXPECT_EQ(w().qualityUp->picture(), w().rateUp->picture());

    Mouse::press(w().rateUp, Qt::LeftButton);
    tick(w().sliTimer);
    Mouse::release(w().rateUp, Qt::LeftButton);
    EXPECT_EQ(w().state().rate, 3);
    EXPECT_EQ(w().time->interval(), 333);
}

TEST_F(MainButtons, VideoOutAndBackAgain)
{
    Mouse::press(w().lblVideoInOut, Qt::LeftButton);
    EXPECT_EQ(w().btnVideoInOut->picture(), w().btnPush->picture());
    EXPECT_EQ(w().lblVideoInOut->text(), "Video Out"); // nothing runs on the press
    Mouse::release(w().lblVideoInOut, Qt::LeftButton);
    EXPECT_EQ(w().btnVideoInOut->picture(), w().btnOpenChat->picture());
    EXPECT_EQ(w().lblVideoInOut->text(), "Video In");
    EXPECT_EQ(w().lblVideoInOut->toolTip(), "Show Video In");
    EXPECT_TRUE(w().cam->isHidden());
    EXPECT_FALSE(w().cam->liveDisplay());
    EXPECT_TRUE(w().time->isActive()); // the cycle goes on in both views

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
    first->close();
}

TEST_F(MainButtons, ThumbnailClickThenCloseReleasedOffTheButtonWritesTheMode)
{
    Mouse::click(w().picTb, Qt::LeftButton);
    EXPECT_EQ(w().picTb->toolTip(), "Keep preview snapshot");
    Mouse::press(w().btnClose, Qt::LeftButton);
    EXPECT_EQ(w().btnClose->picture(), w().btnClosePush->picture());
    EXPECT_EQ(ended, 0);
    Mouse::release(w().btnClose, Qt::LeftButton, {}, QPoint(500, 500));
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(settingsBytes().startsWith("75\r\n2\r\n\"False\"\r\n"));
}

}  // namespace
