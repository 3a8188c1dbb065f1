// Build-time tool: paints the program's icon (the drawing of talvex.svg)
// as PNG files of the sizes the desktop's icon theme wants, so that the
// build needs no SVG renderer. Usage: IconRender OUTDIR SIZE...
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <cstdio>

namespace {

// The same shapes as talvex.svg, in its 256 x 256 coordinates.
void paintIcon(QPainter& painter)
{
    const QColor dark(0x0a, 0x0c, 0x0f);
    QLinearGradient face(0, 8, 0, 248);
    face.setColorAt(0, QColor(0x3a, 0x41, 0x50));
    face.setColorAt(1, QColor(0x1b, 0x1f, 0x25));
    painter.setPen(QPen(dark, 4));
    painter.setBrush(face);
    painter.drawRoundedRect(QRectF(8, 8, 240, 240), 36, 36);
    painter.setPen(QPen(QColor(0x4e, 0x58, 0x6b), 3));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(14, 14, 228, 228), 31, 31);

    const QPointF centre(128, 134);
    QLinearGradient ring(40, 46, 216, 222);
    ring.setColorAt(0, QColor(0x70, 0x7b, 0x90));
    ring.setColorAt(1, QColor(0x1c, 0x20, 0x27));
    painter.setPen(QPen(dark, 4));
    painter.setBrush(ring);
    painter.drawEllipse(centre, 88, 88);

    QRadialGradient glass(centre, 62);
    glass.setColorAt(0, QColor(0x1d, 0x3b, 0x48));
    glass.setColorAt(1, QColor(0x05, 0x07, 0x09));
    painter.setPen(QPen(dark, 3));
    painter.setBrush(glass);
    painter.drawEllipse(centre, 62, 62);

    painter.setPen(QPen(QColor(0x3f, 0xb8, 0xd0), 8));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, 38, 38);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 153));
    painter.drawEllipse(QPointF(108, 113), 11, 11);

    painter.setPen(QPen(dark, 3));
    painter.setBrush(QColor(0xe2, 0x49, 0x3b));
    painter.drawEllipse(QPointF(206, 50), 20, 20);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTDIR SIZE...\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(out))
        return 1;
    for (int i = 2; i < argc; ++i) {
        const int size = QString::fromLatin1(argv[i]).toInt();
        if (size < 8 || size > 1024)
            return 2;
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 256.0, size / 256.0);
        paintIcon(painter);
        painter.end();
        const QString path = QStringLiteral("%1/talvex-%2.png").arg(out).arg(size);
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
