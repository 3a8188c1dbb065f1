#include "shell/chrome/PictureBox.h"
#include "shell/chrome/PushImageButton.h"
#include "shell/chrome/Skin.h"

#include "support/Keyboard.h"
#include "support/Mouse.h"

#include <QFocusEvent>
#include <QLabel>
#include <QPointer>
#include <gtest/gtest.h>

namespace {

QImage solid(const QColor& color)
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// A window with a face, its two face sources and a caption label over the face.
struct ButtonRig {
    QWidget window;
    PictureBox* face = new PictureBox(&window);
    PictureBox* pressedFrom = new PictureBox(&window);
    PictureBox* normalFrom = new PictureBox(&window);
    QLabel* caption = new QLabel(QStringLiteral("Open"), &window);
    QStringList log;

    ButtonRig()
    {
        face->setGeometry(10, 10, 81, 21);
        caption->setGeometry(10, 10, 81, 21);
        face->setPicture(solid(Qt::gray));
        pressedFrom->setPicture(solid(Qt::darkBlue));
        normalFrom->setPicture(solid(Qt::green));
        pressedFrom->hide();
        normalFrom->hide();
    }

    PushImageButton* make(QWidget* receiver)
    {
        auto* button = new PushImageButton(receiver, face, pressedFrom, normalFrom);
        button->setPressAction([this] { log << "press:" + faceName(); });
        button->setReleaseAction([this] { log << "release:" + faceName(); });
        return button;
    }

    QString faceName() const
    {
        if (pressedFrom && face->picture() == pressedFrom->picture())
            return QStringLiteral("pressed");
        if (face->picture() == normalFrom->picture())
            return QStringLiteral("normal");
        return QStringLiteral("other");
    }
};

struct PressCase {
    const char* name;
    Qt::MouseButton button;
    bool pictureReceiver; // the face itself takes the mouse, not a label over it
    bool releaseOutside;  // the pointer has left the button before the release
};

class PushImageButtonPress : public ::testing::TestWithParam<PressCase> {};

TEST_P(PushImageButtonPress, PressShowsPressedFaceThenActsAndReleaseRestoresThenActs)
{
    const PressCase c = GetParam();
    ButtonRig rig;
    QWidget* receiver = c.pictureReceiver ? static_cast<QWidget*>(rig.face) : rig.caption;
    PushImageButton* button = rig.make(receiver);

    Mouse::press(receiver, c.button, Qt::ShiftModifier, QPoint(5, 5));
    EXPECT_EQ(rig.faceName(), "pressed");
    EXPECT_TRUE(button->isHeld());

    const QPoint releaseAt = c.releaseOutside ? QPoint(400, -30) : QPoint(6, 6);
    Mouse::release(receiver, c.button, Qt::NoModifier, releaseAt);
    EXPECT_EQ(rig.faceName(), "normal");
    EXPECT_FALSE(button->isHeld());
    EXPECT_EQ(rig.log, QStringList({"press:pressed", "release:normal"}));
    // The sources keep their own pictures.
    EXPECT_EQ(rig.pressedFrom->picture(), solid(Qt::darkBlue));
    EXPECT_EQ(rig.normalFrom->picture(), solid(Qt::green));
}

INSTANTIATE_TEST_SUITE_P(
    AnyButtonAnywhere, PushImageButtonPress,
    ::testing::Values(PressCase{"LeftOnLabel", Qt::LeftButton, false, false},
                      PressCase{"RightOnLabel", Qt::RightButton, false, false},
                      PressCase{"MiddleOnLabel", Qt::MiddleButton, false, false},
                      PressCase{"LeftOnLabelReleasedOff", Qt::LeftButton, false, true},
                      PressCase{"RightOnLabelReleasedOff", Qt::RightButton, false, true},
                      PressCase{"LeftOnPicture", Qt::LeftButton, true, false},
                      PressCase{"RightOnPicture", Qt::RightButton, true, false},
                      PressCase{"LeftOnPictureReleasedOff", Qt::LeftButton, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PushImageButton, ReleaseWithoutPressOnTheElementDoesNothing)
{
    ButtonRig rig;
    PushImageButton* button = rig.make(rig.caption);

    Mouse::release(rig.caption, Qt::LeftButton);
    EXPECT_EQ(rig.faceName(), "other");
    EXPECT_TRUE(rig.log.isEmpty());

    // A release of another mouse button than the one held is not the end of the press.
    Mouse::press(rig.caption, Qt::LeftButton);
    Mouse::release(rig.caption, Qt::RightButton);
    EXPECT_EQ(rig.faceName(), "pressed");
    EXPECT_TRUE(button->isHeld());
    EXPECT_EQ(rig.log, QStringList({"press:pressed"}));
}

TEST(PushImageButton, SecondPressOfDoubleClickIsAPress)
{
    ButtonRig rig;
    rig.make(rig.caption);
    Mouse::doubleClick(rig.caption, Qt::LeftButton);
    EXPECT_EQ(rig.log, QStringList({"press:pressed", "release:normal", "press:pressed", "release:normal"}));
    EXPECT_EQ(rig.faceName(), "normal");
}

TEST(PushImageButton, PressOnCaptionDoesNotReachTheWindow)
{
    ButtonRig rig;
    rig.make(rig.caption);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    press.ignore();
    QCoreApplication::sendEvent(rig.caption, &press);
    // A plain label ignores presses, which would then bubble up to the background.
    EXPECT_TRUE(press.isAccepted());
}

TEST(PushImageButton, ReleaseActionMayUnloadTheWindowOrDropTheButton)
{
    auto* window = new QWidget;
    auto* face = new PictureBox(window);
    auto* pressedFrom = new PictureBox(window);
    auto* normalFrom = new PictureBox(window);
    auto* caption = new QLabel(window);
    auto* closeButton = new PushImageButton(caption, face, pressedFrom, normalFrom);
    QPointer<QWidget> alive = window;
    closeButton->setReleaseAction([window] { window->deleteLater(); });

    // A second button whose release action deletes the button itself.
    auto* otherCaption = new QLabel(window);
    QPointer<PushImageButton> selfDropping = new PushImageButton(otherCaption, face, pressedFrom, normalFrom);
    selfDropping->setReleaseAction([&selfDropping] { delete selfDropping.data(); });
    Mouse::press(otherCaption, Qt::RightButton);
    Mouse::release(otherCaption, Qt::RightButton);
    EXPECT_TRUE(selfDropping.isNull());

    Mouse::press(caption, Qt::LeftButton);
    Mouse::release(caption, Qt::LeftButton);
    EXPECT_FALSE(alive.isNull());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
}

TEST(PushImageButton, VanishedFaceSourceLeavesTheFaceAlone)
{
    ButtonRig rig;
    rig.make(rig.caption);
    delete rig.pressedFrom;
    rig.pressedFrom = nullptr;
    Mouse::press(rig.caption, Qt::LeftButton);
    EXPECT_EQ(rig.face->picture(), solid(Qt::gray));
    Mouse::release(rig.caption, Qt::LeftButton);
    EXPECT_EQ(rig.faceName(), "normal");
}

struct KeyCase {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    bool repeats;      // auto-repeat events come while the key is down
    bool focusLost;    // focus leaves before the key comes up
    QStringList log;   // actions in order
};

class PushImageButtonKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(PushImageButtonKeys, KeyWorksTheButtonAsTheMouseDoes)
{
    const KeyCase c = GetParam();
    ButtonRig rig;
    PushImageButton* button = rig.make(rig.caption);
    button->setKeyPressAction([&rig] { rig.log << "key"; });
    EXPECT_EQ(rig.caption->focusPolicy(), Qt::TabFocus);
    Keyboard::press(rig.caption, c.key, c.modifiers);
    if (c.repeats) {
        Keyboard::repeat(rig.caption, c.key);
        Keyboard::repeat(rig.caption, c.key);
    }
    if (c.focusLost) {
        QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(rig.caption, &out);
    }
    Keyboard::release(rig.caption, c.key, c.modifiers);
    EXPECT_EQ(rig.log, c.log);
    EXPECT_FALSE(button->isHeld());
}

const QStringList kClick{"press:pressed", "key", "release:normal"};

INSTANTIATE_TEST_SUITE_P(
    Keys, PushImageButtonKeys,
    ::testing::Values(KeyCase{"Space", Qt::Key_Space, {}, false, false, kClick},
                      KeyCase{"Return", Qt::Key_Return, {}, false, false, kClick},
                      KeyCase{"KeypadEnter", Qt::Key_Enter, Qt::KeypadModifier, false, false, kClick},
                      KeyCase{"HeldSpaceIsOnePress", Qt::Key_Space, {}, true, false, kClick},
                      KeyCase{"FocusLostEndsThePress", Qt::Key_Space, {}, false, true, kClick},
                      KeyCase{"AltReturnIsNotForTheButton", Qt::Key_Return, Qt::AltModifier, false, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PushImageButtonFocus, MarkShowsForTheKeyboardOnly)
{
    ButtonRig rig;
    PushImageButton* button = rig.make(rig.caption);
    QFocusEvent byMouse(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(rig.caption, &byMouse);
    EXPECT_FALSE(button->showsFocusMark());
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(rig.caption, &out);
    QFocusEvent byTab(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(rig.caption, &byTab);
    EXPECT_TRUE(button->showsFocusMark());

    // The mark is drawn over the caption in the skin's link colour.
    rig.caption->setStyleSheet("background: black");
    const QImage drawn = rig.caption->grab().toImage();
    int marked = 0;
    for (int x = 0; x < drawn.width(); ++x)
        marked += drawn.pixelColor(x, 1) == Skin::linkColor();
    EXPECT_GT(marked, drawn.width() / 4) << "no mark along the top edge";
    QApplication::sendEvent(rig.caption, &out);
    EXPECT_FALSE(button->showsFocusMark());
}

} // namespace
