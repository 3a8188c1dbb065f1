#pragma once

#include "shell/chrome/PictureBox.h"

#include <QObject>
#include <QPointer>
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
// itself); a box that is gone is simply not touched. There is no keyboard
// access. A label receiver exposes its caption as its accessible name by
// itself; a picture receiver needs setAccessibleName().
class PushImageButton : public QObject {
    Q_OBJECT
public:
    PushImageButton(QWidget* receiver, PictureBox* face, PictureBox* pressedFrom, PictureBox* normalFrom);

    // Either action may close or delete the window the button is on; the
    // button touches nothing of itself after running it.
    void setPressAction(std::function<void()> action) { m_pressAction = std::move(action); }
    void setReleaseAction(std::function<void()> action) { m_releaseAction = std::move(action); }

    QWidget* receiver() const { return m_receiver; }
    bool isHeld() const { return m_held != Qt::NoButton; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void press(Qt::MouseButton button);
    void release(Qt::MouseButton button);

    QPointer<QWidget> m_receiver;
    QPointer<PictureBox> m_face;
    QPointer<PictureBox> m_pressedFrom;
    QPointer<PictureBox> m_normalFrom;
    std::function<void()> m_pressAction;
    std::function<void()> m_releaseAction;
    Qt::MouseButtons m_held;
};
