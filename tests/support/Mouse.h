#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

// Mouse events delivered straight to a widget, the way the window system
// would after hit-testing (and after the implicit grab, for releases).
namespace Mouse {

inline bool send(QWidget* widget, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held,
                 Qt::KeyboardModifiers modifiers, QPoint position)
{
    if (position.isNull())
        position = widget->rect().center();
    QMouseEvent event(type, position, widget->mapToGlobal(position), button, held, modifiers);
    QApplication::sendEvent(widget, &event);
    return event.isAccepted();
}

inline bool press(QWidget* widget, Qt::MouseButton button, Qt::KeyboardModifiers modifiers = {},
                  QPoint position = {})
{
    return send(widget, QEvent::MouseButtonPress, button, button, modifiers, position);
}

inline bool release(QWidget* widget, Qt::MouseButton button, Qt::KeyboardModifiers modifiers = {},
                    QPoint position = {})
{
    return send(widget, QEvent::MouseButtonRelease, button, Qt::NoButton, modifiers, position);
}

inline void click(QWidget* widget, Qt::MouseButton button, QPoint position = {})
{
    press(widget, button, {}, position);
    release(widget, button, {}, position);
}

// The platform's double click: the second press comes as its own event type.
inline void doubleClick(QWidget* widget, Qt::MouseButton button)
{
    click(widget, button);
    send(widget, QEvent::MouseButtonDblClick, button, button, {}, {});
    release(widget, button);
}

} // namespace Mouse
