#include "shell/chrome/SkinnedWindow.h"

#include "shell/chrome/ChromeAccessible.h"
#include "shell/chrome/DragWindow.h"
#include "shell/chrome/PictureBox.h"
#include "shell/chrome/Skin.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

SkinnedWindow::SkinnedWindow(const QImage& background, const QString& caption, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , m_background(background)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(m_background.size());
    setWindowTitle(caption);
    installChromeAccessibility();
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

QLabel* SkinnedWindow::addLabel(const QRect& geometry, Qt::Alignment alignment, const QString& caption)
{
    auto* label = new QLabel(caption, this);
    Skin::styleLabel(label);
    label->setAlignment(alignment);
    label->setGeometry(geometry);
    return label;
}

PictureBox* SkinnedWindow::addPicture(const QRect& geometry, const QImage& picture, bool visible)
{
    auto* box = new PictureBox(this);
    box->setGeometry(geometry);
    box->setPicture(picture);
    box->setVisible(visible);
    return box;
}

PictureBox* SkinnedWindow::addFace(const QPoint& position, bool pressed)
{
    return addPicture(QRect(position, QSize(81, 21)), Skin::textFace(pressed));
}
