#include "shell/chrome/ClickAction.h"

#include <QMouseEvent>
#include <QWidget>

ClickAction::ClickAction(QWidget* widget, std::function<void()> action)
    : QObject(widget)
    , m_widget(widget)
    , m_action(std::move(action))
{
    if (widget) {
        widget->installEventFilter(this);
        widget->setCursor(Qt::PointingHandCursor);
    }
}

bool ClickAction::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_widget)
        return false;
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick
        && event->type() != QEvent::MouseButtonRelease)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton)
        return false;
    // Taken here so that a press on the link never moves the window.
    mouse->accept();
    if (event->type() != QEvent::MouseButtonRelease) {
        m_pressed = true;
        return true;
    }
    const bool clicked = m_pressed && m_widget->rect().contains(mouse->position().toPoint());
    m_pressed = false;
    if (clicked && m_action) {
        const auto action = m_action;
        action();
    }
    return true;
}
