#include "shell/chrome/PushImageButton.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace {

// A dotted frame over the receiver while it has the focus, drawn in the
// receiver's own text colour so that it follows the skin.
class FocusMark : public QWidget {
public:
    explicit FocusMark(QWidget* receiver)
        : QWidget(receiver)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(QPen(parentWidget()->palette().color(QPalette::WindowText), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

class ButtonAccessible : public QAccessibleWidget {
public:
    explicit ButtonAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::Button)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            if (auto* label = qobject_cast<QLabel*>(widget()))
                return label->text();
        }
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override { return {pressAction()}; }

    void doAction(const QString& name) override
    {
        if (name != pressAction())
            return;
        if (auto* button = widget()->findChild<PushImageButton*>(QString(), Qt::FindDirectChildrenOnly))
            button->click();
    }
};

bool isPressKey(int key)
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
    // Registered up front: a factory would come after the stock one, which
    // already calls a label static text.
    QAccessible::registerAccessibleInterface(new ButtonAccessible(receiver));
    receiver->setFocusPolicy(Qt::TabFocus);
    m_focusMark = new FocusMark(receiver);
    receiver->installEventFilter(this);
}

void PushImageButton::click()
{
    press(Qt::LeftButton);
    release(Qt::LeftButton);
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
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!isPressKey(key->key()) || key->modifiers() & ~Qt::KeypadModifier)
            return false;
        key->accept();
        if (!key->isAutoRepeat() && m_heldKey == 0) {
            m_heldKey = key->key();
            press(Qt::LeftButton);
        }
        return true;
    }
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != m_heldKey || m_heldKey == 0)
            return false;
        key->accept();
        if (!key->isAutoRepeat()) {
            m_heldKey = 0;
            release(Qt::LeftButton);
        }
        return true;
    }
    case QEvent::FocusIn:
        if (m_focusMark) {
            m_focusMark->setGeometry(m_receiver->rect());
            m_focusMark->show();
            m_focusMark->raise();
        }
        return false;
    case QEvent::FocusOut:
        if (m_focusMark)
            m_focusMark->hide();
        // A key held while the focus leaves would never see its release.
        if (m_heldKey != 0) {
            m_heldKey = 0;
            release(Qt::LeftButton);
        }
        return false;
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
