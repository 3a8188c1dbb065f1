#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

// Every message of the program is a modal box titled with the program's title
// and an OK button only. The box runs its own event loop, so timers and
// sockets keep being served while it is open.
void showMessage(QMessageBox::Icon icon, const QString& text);

using MessageHook = std::function<void(QMessageBox::Icon icon, const QString& title, const QString& text)>;

// Replaces the box, so that tests can record messages instead of blocking.
// An empty function restores the real box.
void setMessageHook(MessageHook hook);
