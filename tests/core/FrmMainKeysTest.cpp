#include "MainWindowFixture.h"

#include "capture/control/CaptureControl.h"
#include "shell/chrome/PictureBox.h"
#include "support/Keyboard.h"

#include <QDialog>
#include <QLabel>

// Space on a focused arrow steps at once, where the mouse waits for the
// timer. The other buttons run their commands from the release, which the
// button's own key table covers for every button.
namespace {

class MainKeys : public MainWindowFixture {
protected:
    MainKeys()
    {
        writeSettingsWithPort(freePortRun(1));
        load();
        window->cam->setDialogRunner([this](QDialog& d) { dialogs << d.windowTitle(); });
    }
    QStringList dialogs;
};

struct MainKeyCase {
    const char* name;
    QWidget* (*pick)(frmMain&);
    // What the click did, read back after the key's press and release.
    QString (*outcome)(frmMain&, const QStringList& dialogs, int ended);
    const char* expected;
};

class MainKeyActivation : public MainKeys, public ::testing::WithParamInterface<MainKeyCase> {};

TEST_P(MainKeyActivation, SpaceActsAsAClick)
{
    const MainKeyCase c = GetParam();
    QWidget* receiver = c.pick(*window);
    Keyboard::tap(receiver, Qt::Key_Space);
    EXPECT_EQ(c.outcome(*window, dialogs, ended), QString::fromUtf8(c.expected));
}

#define PICK(member) [](frmMain& w) -> QWidget* { return w.member; }
#define OUTCOME(expr) [](frmMain& w, const QStringList& dialogs, int ended) -> QString { \
    Q_UNUSED(w); Q_UNUSED(dialogs); Q_UNUSED(ended); return expr; }
INSTANTIATE_TEST_SUITE_P(
    EveryButton, MainKeyActivation,
    ::testing::Values(
        // An arrow steps once at the key press (the mouse waits for the timer).
        MainKeyCase{"QualityUp", PICK(qualityUp), OUTCOME(w.lblQuality->text()), "Video Quality 80%"},
        MainKeyCase{"QualityDown", PICK(qualityDown), OUTCOME(w.lblQuality->text()), "Video Quality 70%"},
        MainKeyCase{"RateUp", PICK(rateUp), OUTCOME(w.lblRate->text()), "Frames Rate 3/s"},
        MainKeyCase{"RateDown", PICK(rateDown), OUTCOME(w.lblRate->text()), "Frames Rate 1/s"}),
    [](const auto& info) { return std::string(info.param.name); });
#undef PICK
#undef OUTCOME

TEST_F(MainKeys, HeldArrowKeyRepeatsOnTheTimerAndStopsOnRelease)
{
    Keyboard::press(window->rateUp, Qt::Key_Return);
    EXPECT_EQ(window->state().rate, 3);
    EXPECT_TRUE(window->sliTimer->isActive());
    Keyboard::repeat(window->rateUp, Qt::Key_Return);  // the window system's repeat adds nothing
    tick(window->sliTimer);
    EXPECT_EQ(window->state().rate, 4);
    Keyboard::release(window->rateUp, Qt::Key_Return);
    EXPECT_FALSE(window->sliTimer->isActive());
}

TEST_F(MainKeys, TabOrderAndEscapeLeavesTheWindowOpen)
{
    frmMain& w = *window;
    const QWidget* order[] = {w.qualityDown, w.qualityUp, w.rateDown, w.rateUp, w.lblVideoInOut,
                              w.lblVideoSource, w.lblOpenChat, w.lblVideoFormat, w.btnMin, w.btnClose};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        // The chain holds every widget; Tab skips those that take no focus.
        QWidget* next = order[i - 1]->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i]) << i;
    }

    w.show();
    Keyboard::tap(&w, Qt::Key_Escape);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(ended, 0);
    w.hide();
}

} // namespace
