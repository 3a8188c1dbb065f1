#include "shell/chrome/PushImageButton.h"

#include <QMouseEvent>

PushImageButton::PushImageButton(QWidget* receiver, PictureBox* face, PictureBox* pressedFrom,
                                 PictureBox* normalFrom)
    : QObject(receiver)
    , m_receiver(receiver)
    , m_face(face)
    , m_pressedFrom(pressedFrom)
    , m_normalFrom(normalFrom)
{
    if (receiver)
        receiver->installEventFilter(this);
}

bool PushImageButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_receiver)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    // The second press of a double click arrives as its own event type; the
    // button treats it as the press it is, so its release finds it held.
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        // Consumed so that the press never reaches the window background,
        // which would start a window move.
        mouse->accept();
        press(mouse->button());
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        mouse->accept();
        release(mouse->button());
        return true;
    }
    default:
        return false;
    }
}

void PushImageButton::press(Qt::MouseButton button)
{
    if (button == Qt::NoButton)
        return;
    m_held |= button;
    if (m_face && m_pressedFrom)
        m_face->setPicture(m_pressedFrom->picture());
    if (m_pressAction) {
        // A copy, so that an action that deletes this button runs to its end.
        const auto action = m_pressAction;
        action();
    }
}

void PushImageButton::release(Qt::MouseButton button)
{
    // Only the release that ends a press begun on this element counts.
    if (button == Qt::NoButton || !m_held.testFlag(button))
        return;
    m_held &= ~Qt::MouseButtons(button);
    if (m_face && m_normalFrom)
        m_face->setPicture(m_normalFrom->picture());
    if (m_releaseAction) {
        const auto action = m_releaseAction;
        action();
    }
}
