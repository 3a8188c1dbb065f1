#include "support/Mouse.h"
#include "chrome/Recorders.h"

#include "shell/chrome/AppInfo.h"
#include "shell/chrome/PictureBox.h"
#include "shell/frmBegin.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

// A start-up window whose main window and program end are recorded.
class FrmBegin : public ::testing::Test {
protected:
    void SetUp() override
    {
        begin = new frmBegin([this] {
            ++mainWindowsShown;
            beginAliveWhileMainLoads = !begin.isNull() && begin->isVisible();
            if (mainWindowFails)
                throw std::runtime_error("camera gone");
        });
        begin->setEndProgram([this] { ++programEnds; });
        begin->show();
    }

    void TearDown() override
    {
        delete begin.data();
        flushDeletes();
    }

    // The two ticks are driven by hand; the timer itself never fires here.
    void tick() { begin->delayTick(); }

    QPointer<frmBegin> begin;
    int mainWindowsShown = 0;
    int programEnds = 0;
    bool mainWindowFails = false;
    bool beginAliveWhileMainLoads = false;
    UrlRecorder browser;
    MessageRecorder messages;
};

TEST_F(FrmBegin, WaitsForOpen)
{
    EXPECT_TRUE(begin->lblDays->text().isEmpty());
    EXPECT_FALSE(begin->Delay->isActive());
    EXPECT_FALSE(begin->btnPush->isVisible());
    EXPECT_TRUE(begin->isDraggable());
}

TEST_F(FrmBegin, OpenArmsOnPressAndTwoTicksLaterShowsTheMainWindow)
{
    Mouse::press(begin->lblLogin, Qt::LeftButton);
    EXPECT_EQ(begin->btnLogin->picture(), begin->btnPush->picture());
    EXPECT_TRUE(begin->Delay->isActive());
    EXPECT_EQ(begin->Delay->interval(), 10);

    // Released off the button: the face comes back, the way stays armed.
    Mouse::release(begin->lblLogin, Qt::LeftButton, {}, QPoint(500, 500));
    EXPECT_EQ(begin->btnLogin->picture(), begin->btnClose->picture());
    EXPECT_TRUE(begin->Delay->isActive());
    EXPECT_TRUE(begin->lblDays->text().isEmpty());

    tick();
    EXPECT_EQ(begin->lblDays->text(), "Wait please...");
    EXPECT_TRUE(begin->Delay->isActive());
    EXPECT_EQ(begin->Delay->interval(), 100);
    EXPECT_EQ(mainWindowsShown, 0);

    tick();
    EXPECT_EQ(mainWindowsShown, 1);
    EXPECT_TRUE(beginAliveWhileMainLoads);
    ASSERT_FALSE(begin.isNull());
    EXPECT_FALSE(begin->isVisible());
    EXPECT_FALSE(begin->Delay->isActive());
    flushDeletes();
    EXPECT_TRUE(begin.isNull());
    EXPECT_EQ(programEnds, 0);
    EXPECT_TRUE(messages.messages.isEmpty());
}

TEST_F(FrmBegin, OpenAgainBeforeTheSecondTickStartsOver)
{
    Mouse::click(begin->lblLogin, Qt::RightButton);
    tick();
    ASSERT_EQ(begin->Delay->interval(), 100);

    Mouse::click(begin->lblLogin, Qt::LeftButton);
    EXPECT_EQ(begin->Delay->interval(), 10);
    EXPECT_TRUE(begin->Delay->isActive());
    tick();
    EXPECT_EQ(mainWindowsShown, 0);
    EXPECT_EQ(begin->Delay->interval(), 100);
    tick();
    EXPECT_EQ(mainWindowsShown, 1);
}

TEST_F(FrmBegin, LateTicksNeverOpenASecondMainWindow)
{
    Mouse::click(begin->lblLogin, Qt::LeftButton);
    tick();
    tick();
    // A tick the platform had already queued, delivered before the delete.
    tick();
    EXPECT_EQ(mainWindowsShown, 1);
}

TEST_F(FrmBegin, FailingMainWindowShowsTheFailureAndEnds)
{
    mainWindowFails = true;
    Mouse::click(begin->lblLogin, Qt::LeftButton);
    tick();
    tick();
    // The text itself belongs to the guarded load (SingleInstanceTest).
    ASSERT_EQ(messages.messages.size(), 1);
    EXPECT_TRUE(messages.messages[0].text.endsWith("camera gone"));
    EXPECT_EQ(programEnds, 1);
}

TEST_F(FrmBegin, CloseEndsTheProgramOnReleaseEvenOffTheButton)
{
    Mouse::press(begin->lblClose, Qt::RightButton);
    EXPECT_EQ(begin->btnClose->picture(), begin->btnPush->picture());
    EXPECT_EQ(programEnds, 0);
    EXPECT_TRUE(begin->isVisible());

    Mouse::release(begin->lblClose, Qt::RightButton, {}, QPoint(-40, 90));
    EXPECT_EQ(begin->btnClose->picture(), begin->btnLogin->picture());
    EXPECT_FALSE(begin->isVisible());
    EXPECT_EQ(programEnds, 1);
    EXPECT_EQ(mainWindowsShown, 0);
    flushDeletes();
    EXPECT_TRUE(begin.isNull());
}

TEST_F(FrmBegin, StatusLineClickOpensTheHomePageWhateverItShows)
{
    Mouse::click(begin->lblDays, Qt::LeftButton);
    EXPECT_EQ(browser.urls, QStringList{AppInfo::homePage()});

    Mouse::click(begin->lblLogin, Qt::LeftButton);
    tick();
    Mouse::click(begin->lblDays, Qt::LeftButton);
    EXPECT_EQ(browser.urls, QStringList({AppInfo::homePage(), AppInfo::homePage()}));
    // The home page label itself is no link here.
    Mouse::click(begin->lblHomePage, Qt::LeftButton);
    EXPECT_EQ(browser.urls.size(), 2);
}

TEST_F(FrmBegin, BackgroundPressMovesButButtonAndLinkPressesDoNot)
{
    int moves = 0;
    QObject::connect(begin.data(), &SkinnedWindow::backgroundPressed, [&moves] { ++moves; });
    Mouse::press(begin, Qt::RightButton, {}, QPoint(300, 190));
    EXPECT_EQ(moves, 1);
    Mouse::press(begin->lblLogin, Qt::LeftButton);
    Mouse::release(begin->lblLogin, Qt::LeftButton);
    Mouse::press(begin->lblDays, Qt::LeftButton);
    Mouse::release(begin->lblDays, Qt::LeftButton);
    EXPECT_EQ(moves, 1);
}

} // namespace

namespace {

struct BeginKeyCase {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    bool opens;  // true: Open armed; false: Close ended the program
};

class FrmBeginKeys : public FrmBegin, public ::testing::WithParamInterface<BeginKeyCase> {};

TEST_P(FrmBeginKeys, ReturnOpensAndEscapeCloses)
{
    const BeginKeyCase c = GetParam();
    // Keys that no button takes reach the window, wherever focus is.
    QKeyEvent press(QEvent::KeyPress, c.key, c.modifiers);
    QApplication::sendEvent(begin, &press);
    EXPECT_TRUE(press.isAccepted());
    if (c.opens) {
        EXPECT_TRUE(begin->Delay->isActive());
        EXPECT_EQ(begin->Delay->interval(), 10);
        EXPECT_EQ(programEnds, 0);
    } else {
        EXPECT_EQ(programEnds, 1);
        flushDeletes();
        EXPECT_TRUE(begin.isNull());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, FrmBeginKeys,
    ::testing::Values(BeginKeyCase{"Return", Qt::Key_Return, {}, true},
                      BeginKeyCase{"KeypadEnter", Qt::Key_Enter, Qt::KeypadModifier, true},
                      BeginKeyCase{"AltO", Qt::Key_O, Qt::AltModifier, true},
                      BeginKeyCase{"Escape", Qt::Key_Escape, {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FrmBegin, TabGoesFromOpenToClose)
{
    EXPECT_EQ(begin->lblLogin->nextInFocusChain(), begin->lblClose);
    EXPECT_EQ(begin->lblClose->focusPolicy(), Qt::TabFocus);
}

} // namespace
