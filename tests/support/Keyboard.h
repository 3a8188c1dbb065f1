#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

// Key events delivered straight to a widget, as the window system would to
// the focused one.
namespace Keyboard {

inline bool send(QWidget* widget, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers = {},
                 bool autoRepeat = false)
{
    QKeyEvent event(type, key, modifiers, QString(), autoRepeat);
    QApplication::sendEvent(widget, &event);
    return event.isAccepted();
}

inline bool press(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = {})
{
    return send(widget, QEvent::KeyPress, key, modifiers);
}

inline bool release(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = {})
{
    return send(widget, QEvent::KeyRelease, key, modifiers);
}

// What the window system sends while the key stays down.
inline void repeat(QWidget* widget, int key)
{
    send(widget, QEvent::KeyRelease, key, {}, true);
    send(widget, QEvent::KeyPress, key, {}, true);
}

inline void tap(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = {})
{
    press(widget, key, modifiers);
    release(widget, key, modifiers);
}

} // namespace Keyboard
