#include "shell/chrome/PictureBox.h"
#include "shell/chrome/PushImageButton.h"
#include "shell/chrome/Skin.h"

#include "support/Keyboard.h"
#include "support/Mouse.h"

#include <QFocusEvent>
#include <QLabel>
#include <gtest/gtest.h>

namespace {

// A caption label over a face; the log records each action with the face it saw.
struct KeyRig {
    QWidget window;
    PictureBox* face = new PictureBox(&window);
    PictureBox* pressedFrom = new PictureBox(&window);
    PictureBox* normalFrom = new PictureBox(&window);
    QLabel* caption = new QLabel(QStringLiteral("Open"), &window);
    PushImageButton* button = new PushImageButton(caption, face, pressedFrom, normalFrom);
    QStringList log;

    KeyRig()
    {
        QImage pressed(4, 4, QImage::Format_RGB32);
        pressed.fill(Qt::blue);
        QImage normal(4, 4, QImage::Format_RGB32);
        normal.fill(Qt::green);
        pressedFrom->setPicture(pressed);
        normalFrom->setPicture(normal);
        caption->setGeometry(0, 0, 81, 21);
        button->setPressAction([this] { log << "press:" + faceName(); });
        button->setReleaseAction([this] { log << "release:" + faceName(); });
        button->setKeyPressAction([this] { log << "key"; });
    }
    QString faceName() const { return face->picture() == pressedFrom->picture() ? "pressed" : "normal"; }
};

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
    KeyRig rig;
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
    EXPECT_FALSE(rig.button->isHeld());
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
    KeyRig rig;
    QFocusEvent byMouse(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(rig.caption, &byMouse);
    EXPECT_FALSE(rig.button->showsFocusMark());
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(rig.caption, &out);
    QFocusEvent byTab(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(rig.caption, &byTab);
    EXPECT_TRUE(rig.button->showsFocusMark());

    // The mark is drawn over the caption in the skin's link colour.
    rig.caption->setStyleSheet("background: black");
    const QImage drawn = rig.caption->grab().toImage();
    int marked = 0;
    for (int x = 0; x < drawn.width(); ++x)
        marked += drawn.pixelColor(x, 1) == Skin::linkColor();
    EXPECT_GT(marked, drawn.width() / 4) << "no mark along the top edge";
    QApplication::sendEvent(rig.caption, &out);
    EXPECT_FALSE(rig.button->showsFocusMark());
}

} // namespace
