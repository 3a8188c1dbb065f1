#pragma once

#include "shell/chrome/PictureBox.h"

#include <QObject>
#include <QPointer>

class QKeyEvent;
class QPaintEvent;
#include <functional>

// The one button mechanism of the program. A receiver widget takes the mouse:
// the caption label lying over a text button's face, or the face picture box
// itself for a picture button. A press of any mouse button shows the pressed
// face, then runs the press action; the release of that same mouse button,
// wherever the pointer is by then (the receiver holds the mouse grab while a
// button is down), restores the normal face and then runs the release action.
// Faces are copied whole from two source picture boxes, which keep theirs.
//
// The button is a child of the receiver and lives as long as it does. The
// three picture boxes must be siblings of the receiver (or the receiver
// itself); a box that is gone is simply not touched.
//
// The keyboard works the button as the mouse does: the receiver takes focus
// by Tab, Space or Return pressed on it is the press and their release the
// release (held keys repeat nothing by themselves). A focus mark in the
// skin's link colour shows once the keyboard is in use, so a mouse-only user
// sees the windows unchanged. Screen readers see a push button named by the
// caption (a label receiver) or the accessible name (a picture receiver),
// described by the tooltip.
class PushImageButton : public QObject {
    Q_OBJECT
public:
    PushImageButton(QWidget* receiver, PictureBox* face, PictureBox* pressedFrom, PictureBox* normalFrom);

    // Either action may close or delete the window the button is on; the
    // button touches nothing of itself after running it.
    void setPressAction(std::function<void()> action) { m_pressAction = std::move(action); }
    void setReleaseAction(std::function<void()> action) { m_releaseAction = std::move(action); }

    // Run right after the press action when the press comes from the
    // keyboard (an arrow steps at once on a key press).
    void setKeyPressAction(std::function<void()> action) { m_keyPressAction = std::move(action); }

    // A whole click: press then release, as the keyboard or a screen reader gives it.
    void click();

    QWidget* receiver() const { return m_receiver; }
    bool isHeld() const { return m_held != Qt::NoButton || m_keyHeld; }
    bool showsFocusMark() const { return m_focusMark; }

    // The button whose receiver is `widget`, if any.
    static PushImageButton* of(const QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void press(Qt::MouseButton button);
    void release(Qt::MouseButton button);
    bool keyEvent(QKeyEvent* key);
    void setFocusMark(bool shown);
    void paintFocusMark(QPaintEvent* event);
    // Face change then action; false when the action deleted the button.
    bool runPress();
    void runRelease();

    QPointer<QWidget> m_receiver;
    QPointer<PictureBox> m_face;
    QPointer<PictureBox> m_pressedFrom;
    QPointer<PictureBox> m_normalFrom;
    std::function<void()> m_pressAction;
    std::function<void()> m_releaseAction;
    std::function<void()> m_keyPressAction;
    Qt::MouseButtons m_held;
    bool m_keyHeld = false;
    bool m_focusMark = false;
};
