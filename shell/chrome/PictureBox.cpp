#include "shell/chrome/PictureBox.h"

#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

const QImage& PictureBox::picture() const
{
    makeDeferred();
    return m_picture;
}

void PictureBox::setPicture(const QImage& picture)
{
    m_deferred = nullptr;
    m_picture = picture;
    update();
}

void PictureBox::setDeferredPicture(std::function<QImage()> make)
{
    m_deferred = std::move(make);
    update();
}

void PictureBox::makeDeferred() const
{
    if (!m_deferred)
        return;
    // Taken out first: the maker must not run twice, even if it throws.
    const std::function<QImage()> make = std::move(m_deferred);
    m_deferred = nullptr;
    QImage made = make();
    if (!made.isNull())
        m_picture = std::move(made);
}

void PictureBox::clearSurface()
{
    m_deferred = nullptr;
    m_picture = QImage();
    update();
}

void PictureBox::paintPictureStretched(const QImage& source, bool keepShape)
{
    QImage painted(size(), QImage::Format_RGB32);
    painted.fill(m_backColor);
    if (!source.isNull() && keepShape) {
        QPainter painter(&painted);
        painter.drawImage(fittedRect(source.size(), rect()), source);
    } else if (!source.isNull()) {
        painted = source.scaled(size(), Qt::IgnoreAspectRatio, Qt::FastTransformation)
                      .convertToFormat(QImage::Format_RGB32);
    }
    setPicture(painted);
}

void PictureBox::setKeepShape(bool on)
{
    if (on == m_keepShape)
        return;
    m_keepShape = on;
    update();
}

QRect PictureBox::fittedRect(const QSize& picture, const QRect& area)
{
    if (picture.isEmpty() || area.isEmpty())
        return {};
    const QSize fitted = picture.scaled(area.size(), Qt::KeepAspectRatio);
    return QRect(QPoint(area.x() + (area.width() - fitted.width()) / 2,
                        area.y() + (area.height() - fitted.height()) / 2),
                 fitted);
}

void PictureBox::setBackColor(const QColor& color)
{
    m_backColor = color;
    update();
}

void PictureBox::setToolTip(const QString& tip)
{
    QWidget::setToolTip(tip);
    // Screen readers (and UI tests through AT-SPI) read the tooltip here.
    setAccessibleDescription(tip);
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_backColor);
    const QImage& shown = picture();
    if (shown.isNull())
        return;
    if (m_keepShape) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(fittedRect(shown.size(), rect()), shown);
    } else {
        painter.drawImage(QPoint(0, 0), shown);
    }
}

void PictureBox::mousePressEvent(QMouseEvent* event)
{
    // Qt grabs the mouse for the widget that took the press, so the matching
    // release comes here wherever the pointer is by then.
    m_held |= event->button();
    emit pressed(event->button());
    event->accept();
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    const bool wasHeld = m_held.testFlag(event->button());
    m_held &= ~Qt::MouseButtons(event->button());
    if (!wasHeld)
        return;
    emit released(event->button());
    if (rect().contains(event->position().toPoint()))
        emit clicked();
    event->accept();
}
