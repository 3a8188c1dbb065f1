#include "shell/chrome/SkinnedWindow.h"

#include "shell/chrome/DragWindow.h"

#include <QMouseEvent>
#include <QPainter>

SkinnedWindow::SkinnedWindow(const QImage& background, const QString& caption, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , m_background(background)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(m_background.size());
    setWindowTitle(caption);
}

void SkinnedWindow::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.drawImage(event->rect(), m_background, event->rect());
}

void SkinnedWindow::mousePressEvent(QMouseEvent* event)
{
    // Presses that a child ignored bubble up here too; only the bare
    // background moves the window.
    if (!m_draggable || childAt(event->position().toPoint())) {
        event->ignore();
        return;
    }
    event->accept();
    emit backgroundPressed();
    DragWindow(this);
}
