#include "shell/chrome/PictureBox.h"
#include "shell/chrome/PushImageButton.h"

#include <QLabel>
#include <QPointer>
#include "support/Mouse.h"
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

} // namespace
