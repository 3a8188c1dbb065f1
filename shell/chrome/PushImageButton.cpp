#include "shell/chrome/PushImageButton.h"

#include "shell/chrome/ChromeAccessible.h"
#include "shell/chrome/Skin.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

bool isActivationKey(int key)
{
    return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

PushImageButton::PushImageButton(QWidget* receiver, PictureBox* face, PictureBox* pressedFrom,
                                 PictureBox* normalFrom)
    : QObject(receiver)
    , m_receiver(receiver)
    , m_face(face)
    , m_pressedFrom(pressedFrom)
    , m_normalFrom(normalFrom)
{
    if (!receiver)
        return;
    // Tab focus only: a click leaves focus where it was, as it always did.
    receiver->setFocusPolicy(Qt::TabFocus);
    markAsButton(receiver);
    receiver->installEventFilter(this);
}

PushImageButton* PushImageButton::of(const QWidget* widget)
{
    return widget ? widget->findChild<PushImageButton*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void PushImageButton::click()
{
    QPointer<PushImageButton> self(this);
    if (runPress() && self)
        runRelease();
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
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return keyEvent(static_cast<QKeyEvent*>(event));
    case QEvent::FocusIn: {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason)
            setFocusMark(true);
        return false;
    }
    case QEvent::FocusOut:
        setFocusMark(false);
        // Focus lost with the key still down ends the press, as the release
        // of a mouse grab does.
        if (m_keyHeld) {
            m_keyHeld = false;
            runRelease();
        }
        return false;
    case QEvent::Paint:
        if (!m_focusMark)
            return false;
        paintFocusMark(static_cast<QPaintEvent*>(event));
        return true;
    default:
        return false;
    }
}

bool PushImageButton::keyEvent(QKeyEvent* key)
{
    if (!isActivationKey(key->key()) || key->modifiers() & (Qt::AltModifier | Qt::ControlModifier))
        return false;
    key->accept();
    setFocusMark(true);
    // Auto-repeat is swallowed: holding the key is one long press.
    if (key->isAutoRepeat())
        return true;
    if (key->type() == QEvent::KeyPress) {
        if (m_keyHeld || m_held != Qt::NoButton)
            return true;
        m_keyHeld = true;
        QPointer<PushImageButton> self(this);
        if (!runPress() || !self)
            return true;
        if (m_keyPressAction) {
            const auto action = m_keyPressAction;
            action();
        }
    } else if (m_keyHeld) {
        m_keyHeld = false;
        runRelease();
    }
    return true;
}

void PushImageButton::setFocusMark(bool shown)
{
    if (m_focusMark == shown)
        return;
    m_focusMark = shown;
    if (m_receiver)
        m_receiver->update();
}

void PushImageButton::paintFocusMark(QPaintEvent* event)
{
    // The receiver paints itself first; the mark goes over it.
    static_cast<QObject*>(m_receiver.data())->event(event);
    QPainter painter(m_receiver);
    QPen pen(Skin::linkColor());
    pen.setStyle(Qt::DotLine);
    painter.setPen(pen);
    painter.drawRect(m_receiver->rect().adjusted(1, 1, -2, -2));
}

void PushImageButton::press(Qt::MouseButton button)
{
    if (button == Qt::NoButton)
        return;
    m_held |= button;
    runPress();
}

void PushImageButton::release(Qt::MouseButton button)
{
    // Only the release that ends a press begun on this element counts.
    if (button == Qt::NoButton || !m_held.testFlag(button))
        return;
    m_held &= ~Qt::MouseButtons(button);
    runRelease();
}

bool PushImageButton::runPress()
{
    if (m_face && m_pressedFrom)
        m_face->setPicture(m_pressedFrom->picture());
    if (m_pressAction) {
        QPointer<PushImageButton> self(this);
        // A copy, so that an action that deletes this button runs to its end.
        const auto action = m_pressAction;
        action();
        return !self.isNull();
    }
    return true;
}

void PushImageButton::runRelease()
{
    if (m_face && m_normalFrom)
        m_face->setPicture(m_normalFrom->picture());
    if (m_releaseAction) {
        const auto action = m_releaseAction;
        action();
    }
}
