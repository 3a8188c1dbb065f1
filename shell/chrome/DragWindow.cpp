#include "shell/chrome/DragWindow.h"

#include <QWidget>
#include <QWindow>

void DragWindow(QWidget* window)
{
    if (!window)
        return;
    QWindow* handle = window->window()->windowHandle();
    if (handle)
        handle->startSystemMove();
}
