#include "shell/chrome/Skin.h"

#include "shell/chrome/SkinPalette.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

namespace Colour = Skin::Palette;

QImage canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Colour::backBottom);
    return image;
}

void fillVertical(QPainter& painter, const QRect& rect, const QColor& top, const QColor& bottom)
{
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    painter.fillRect(rect, gradient);
}

// A one-pixel frame: `topLeft` on the upper and left edges, `bottomRight`
// on the others. Light over dark reads as raised, dark over light as sunken.
void bevel(QPainter& painter, const QRect& rect, const QColor& topLeft, const QColor& bottomRight)
{
    painter.setPen(topLeft);
    painter.drawLine(rect.topLeft(), rect.topRight());
    painter.drawLine(rect.topLeft(), rect.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    painter.drawLine(rect.topRight(), rect.bottomRight());
}

// A recessed well whose outer edge is `rect`.
void sunken(QPainter& painter, const QRect& rect)
{
    painter.fillRect(rect, Colour::well);
    bevel(painter, rect, Colour::edgeDark, Colour::edgeLight);
}

void raisedPanel(QPainter& painter, const QRect& rect)
{
    fillVertical(painter, rect, Colour::bandBottom, Colour::backBottom);
    bevel(painter, rect, Colour::edgeLight, Colour::edgeDark);
}

void liveDot(QPainter& painter, const QPointF& centre, qreal radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient glow(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
    glow.setColorAt(0, Colour::live.lighter(150));
    glow.setColorAt(1, Colour::live.darker(130));
    painter.setPen(QPen(Colour::edgeDark, 1));
    painter.setBrush(glow);
    painter.drawEllipse(centre, radius, radius);
    painter.restore();
}

// The caption strip across the top of a window; `text` at its left.
void titleStrip(QPainter& painter, int width, int height, const QString& text)
{
    const QRect strip(0, 0, width, height);
    fillVertical(painter, strip, Colour::bandTop, Colour::bandBottom);
    painter.setPen(Colour::edgeDark);
    painter.drawLine(0, height - 1, width - 1, height - 1);
    liveDot(painter, QPointF(12.5, height / 2.0), 4.5);
    if (text.isEmpty())
        return;
    QFont font = Skin::labelFont();
    font.setPixelSize(13);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Colour::text);
    painter.drawText(QRect(24, 0, width - 24, height - 1), Qt::AlignLeft | Qt::AlignVCenter, text);
}

void windowFrame(QPainter& painter, const QSize& size)
{
    bevel(painter, QRect(QPoint(0, 0), size), Colour::edgeLight, Colour::edgeDark);
}

// The camera lens of the start-up window.
void lensEmblem(QPainter& painter, const QRect& rect)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient ring(outer.topLeft(), outer.bottomRight());
    ring.setColorAt(0, QColor(0x70, 0x7b, 0x90));
    ring.setColorAt(1, QColor(0x1c, 0x20, 0x27));
    painter.setPen(QPen(Colour::edgeDark, 1));
    painter.setBrush(ring);
    painter.drawEllipse(outer);

    const QRectF glass = outer.adjusted(9, 9, -9, -9);
    QRadialGradient depth(glass.center(), glass.width() / 2);
    depth.setColorAt(0, QColor(0x1d, 0x3b, 0x48));
    depth.setColorAt(1, QColor(0x05, 0x07, 0x09));
    painter.setBrush(depth);
    painter.drawEllipse(glass);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Colour::accent, 2));
    painter.drawEllipse(glass.adjusted(6, 6, -6, -6));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 150));
    painter.drawEllipse(QPointF(glass.left() + glass.width() * 0.34, glass.top() + glass.height() * 0.32), 3.5, 3.5);
    painter.restore();
    liveDot(painter, QPointF(rect.right() - 5, rect.top() + 6), 5);
}

// The common button body: a dark outline around a raised (or pressed-in) face.
QImage buttonBody(int width, int height, bool pressed)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    const QRect all(0, 0, width, height);
    const QRect inner = all.adjusted(1, 1, -1, -1);
    painter.fillRect(all, Colour::edgeDark);
    if (pressed) {
        fillVertical(painter, inner, Colour::pressedFace.top, Colour::pressedFace.bottom);
        bevel(painter, inner, Colour::pressedFace.lit, Colour::pressedFace.shade);
        painter.setPen(Colour::accent.darker(140));
        painter.drawLine(inner.bottomLeft() + QPoint(1, 0), inner.bottomRight() - QPoint(1, 0));
    } else {
        fillVertical(painter, inner, Colour::raisedFace.top, Colour::raisedFace.bottom);
        bevel(painter, inner, Colour::raisedFace.lit, Colour::raisedFace.shade);
    }
    return image;
}

QColor glyphColor(bool pressed)
{
    return pressed ? Colour::accent : Colour::text;
}

} // namespace

namespace Skin {

QImage mainBackground()
{
    QImage image = canvas(324, 335);
    QPainter painter(&image);
    fillVertical(painter, image.rect(), Colour::backTop, Colour::backBottom);
    titleStrip(painter, 324, 27, QStringLiteral("Talvex"));

    // The video area, in a sunken frame.
    painter.fillRect(MainLayout::videoArea, Qt::black);
    bevel(painter, MainLayout::videoArea.adjusted(-1, -1, 1, 1), Colour::edgeDark, Colour::edgeLight);

    // Control panel: label wells beside the arrow pairs, then the text buttons.
    raisedPanel(painter, QRect(1, 270, 322, 47));
    sunken(painter, MainLayout::qualityWell);
    sunken(painter, MainLayout::rateWell);
    painter.setPen(Colour::edgeDark);
    painter.drawLine(108, 273, 108, 313);
    painter.drawLine(157, 273, 157, 313);

    // Status bar: three recessed cells.
    for (const QRect& well : MainLayout::statusWells)
        sunken(painter, well);

    windowFrame(painter, image.size());
    return image;
}

QImage beginBackground()
{
    QImage image = canvas(324, 260);
    QPainter painter(&image);
    fillVertical(painter, image.rect(), Colour::backTop, Colour::backBottom);
    titleStrip(painter, 324, 20, QString());
    fillVertical(painter, QRect(0, 20, 324, 88), Colour::bandBottom, Colour::backTop);
    painter.setPen(Colour::edgeDark);
    painter.drawLine(0, 108, 323, 108);
    painter.setPen(Colour::edgeLight);
    painter.drawLine(0, 109, 323, 109);
    lensEmblem(painter, BeginLayout::emblem);

    sunken(painter, BeginLayout::statusWell);
    raisedPanel(painter, QRect(1, 200, 322, 58));
    windowFrame(painter, image.size());
    return image;
}

QImage aboutBackground()
{
    QImage image = canvas(324, 240);
    QPainter painter(&image);
    fillVertical(painter, image.rect(), Colour::backTop, Colour::backBottom);
    fillVertical(painter, QRect(0, 0, 324, 37), Colour::bandTop, Colour::bandBottom);
    painter.setPen(Colour::edgeDark);
    painter.drawLine(0, 37, 323, 37);
    sunken(painter, AboutLayout::descriptionWell);
    raisedPanel(painter, QRect(1, 200, 322, 38));
    windowFrame(painter, image.size());
    return image;
}

QImage aboutBadge()
{
    QImage image(65, 15, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, 15);
    gradient.setColorAt(0, Colour::accent.lighter(120));
    gradient.setColorAt(1, Colour::accent.darker(150));
    painter.setPen(QPen(Colour::edgeDark, 1));
    painter.setBrush(gradient);
    painter.drawRoundedRect(QRectF(0.5, 0.5, 64, 14), 4, 4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Colour::live);
    painter.drawEllipse(QPointF(8, 7.5), 3, 3);
    QFont font = labelFont();
    font.setPixelSize(10);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    painter.setFont(font);
    painter.setPen(Colour::edgeDark);
    painter.drawText(QRect(14, 0, 51, 15), Qt::AlignCenter, QStringLiteral("TALVEX"));
    return image;
}

QImage textFace(bool pressed)
{
    return buttonBody(81, 21, pressed);
}

QImage closeFace(bool pressed)
{
    QImage image = buttonBody(23, 22, pressed);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(pressed ? Colour::live.lighter(120) : Colour::text, 2, Qt::SolidLine, Qt::RoundCap));
    const QPointF shift = pressed ? QPointF(1, 1) : QPointF(0, 0);
    painter.drawLine(QPointF(7.5, 7) + shift, QPointF(15.5, 15) + shift);
    painter.drawLine(QPointF(15.5, 7) + shift, QPointF(7.5, 15) + shift);
    return image;
}

QImage minFace(bool pressed)
{
    QImage image = buttonBody(22, 22, pressed);
    QPainter painter(&image);
    const int shift = pressed ? 1 : 0;
    painter.fillRect(QRect(6 + shift, 13 + shift, 10, 2), glyphColor(pressed));
    return image;
}

QImage arrowFace(bool up, bool pressed)
{
    QImage image = buttonBody(23, 15, pressed);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(glyphColor(pressed));
    const qreal shift = pressed ? 1 : 0;
    QPolygonF triangle;
    if (up)
        triangle << QPointF(11.5, 4) << QPointF(16.5, 10) << QPointF(6.5, 10);
    else
        triangle << QPointF(6.5, 5) << QPointF(16.5, 5) << QPointF(11.5, 11);
    triangle.translate(shift, shift);
    painter.drawPolygon(triangle);
    return image;
}

QFont labelFont()
{
    // Small enough that "Video Quality 90%" fits its 103-pixel well.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(10);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QColor textColor()
{
    return Colour::text;
}

QColor linkColor()
{
    return Colour::link;
}

void styleLabel(QLabel* label)
{
    if (!label)
        return;
    label->setFont(labelFont());
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Colour::text);
    palette.setColor(QPalette::Text, Colour::text);
    label->setPalette(palette);
    label->setAutoFillBackground(false);
}

} // namespace Skin
