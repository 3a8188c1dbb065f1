#include "image/PictureCaption.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <vector>

namespace {

// A line of about a twenty-fourth of the shorter side: 10 px at 320 x 240,
// 45 px at 1080p, the same in a picture turned upright; never below 9 px,
// the smallest size that still reads.
int pixelSize(const QSize& size)
{
    return std::max(9, std::min(size.width(), size.height()) / 24);
}

QFont captionFont(const QSize& size)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize(size));
    font.setBold(true);
    return font;
}

int marginFor(const QSize& size)
{
    return std::max(2, pixelSize(size) / 3);
}

} // namespace

QString captionText(const QString& pattern, std::time_t when)
{
    if (pattern.isEmpty())
        return {};
    std::tm local{};
    if (!localtime_r(&when, &local))
        return {};
    const QByteArray format = pattern.toUtf8();
    // strftime gives 0 both for an empty result and for a buffer too small,
    // so the buffer grows a few times before the result counts as empty.
    for (std::size_t capacity = 256; capacity <= 16384; capacity *= 4) {
        std::vector<char> buffer(capacity);
        const std::size_t length = std::strftime(buffer.data(), buffer.size(), format.constData(), &local);
        if (length > 0)
            return QString::fromUtf8(buffer.data(), qsizetype(length));
    }
    return {};
}

QRect captionBand(const QSize& size, const QString& text, PictureOptions::Corner corner)
{
    if (text.isEmpty() || size.isEmpty())
        return {};
    const QFontMetrics metrics(captionFont(size));
    const int margin = marginFor(size);
    // One pixel over the rounded advance: glyph positions are fractional.
    const int width = std::min(size.width(), metrics.horizontalAdvance(text) + 2 * margin + 1);
    const int height = std::min(size.height(), metrics.height() + margin);
    const bool right = corner == PictureOptions::Corner::TopRight || corner == PictureOptions::Corner::BottomRight;
    const bool bottom = corner == PictureOptions::Corner::BottomLeft || corner == PictureOptions::Corner::BottomRight;
    return QRect(right ? size.width() - width : 0, bottom ? size.height() - height : 0, width, height);
}

namespace {

// Paints the band and the text for a picture of `size`; the painter may be
// on the picture or on an overlay that starts at the band's corner.
void paintCaption(QPainter& painter, const QSize& size, const QString& text, const QRect& band)
{
    const QFont font = captionFont(size);
    const int margin = marginFor(size);
    // Cut, not wrapped: what does not fit ends in an ellipsis inside the band.
    const bool fits = band.width() < size.width();
    const QString shown = fits ? text : QFontMetrics(font).elidedText(text, Qt::ElideRight, band.width() - 2 * margin);
    painter.setClipRect(band);
    painter.fillRect(band, QColor(0, 0, 0, 160));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(band.adjusted(margin, 0, -margin, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     shown);
}

} // namespace

void drawCaption(QImage& picture, const QString& text, PictureOptions::Corner corner)
{
    const QRect band = captionBand(picture.size(), text, corner);
    if (band.isEmpty())
        return;
    QPainter painter(&picture);
    paintCaption(painter, picture.size(), text, band);
}

namespace {

// The caption drawn on a clear overlay the band's size. The stream draws
// the same text on every frame of a second, so each thread keeps its last
// overlay and draws anew only when the text, the size or the corner changes.
struct CaptionOverlay {
    QSize size;
    QString text;
    PictureOptions::Corner corner = PictureOptions::Corner::BottomLeft;
    QRect band;
    QImage image;
};

const CaptionOverlay& overlayFor(const QSize& size, const QString& text, PictureOptions::Corner corner)
{
    thread_local CaptionOverlay last;
    if (last.size == size && last.text == text && last.corner == corner)
        return last;
    last = {size, text, corner, captionBand(size, text, corner), QImage()};
    if (last.band.isEmpty())
        return last;
    last.image = QImage(last.band.size(), QImage::Format_ARGB32_Premultiplied);
    last.image.fill(Qt::transparent);
    QPainter painter(&last.image);
    painter.translate(-last.band.topLeft());
    paintCaption(painter, size, text, last.band);
    return last;
}

} // namespace

void drawCaptionOnPlanes(const YuvPlanes& planes, const QSize& size, const QString& text,
                         PictureOptions::Corner corner)
{
    if (!planes.luma || planes.xStep < 1 || planes.yStep < 1)
        return;
    const CaptionOverlay& overlay = overlayFor(size, text, corner);
    const QRect band = overlay.band;
    if (band.isEmpty())
        return;
    // Laid over the planes grey on grey, so the chroma only fades towards neutral.
    for (int y = 0; y < band.height(); ++y) {
        const auto* over = reinterpret_cast<const QRgb*>(overlay.image.constScanLine(y));
        const int row = band.top() + y;
        uchar* samples = planes.luma + row * planes.lumaLine + band.left();
        for (int x = 0; x < band.width(); ++x) {
            const int keep = 255 - qAlpha(over[x]);
            samples[x] = uchar(qRed(over[x]) + (samples[x] * keep + 127) / 255);
        }
        if (!planes.cb || !planes.cr || row % planes.yStep)
            continue;
        const qint64 chromaRow = qint64(row / planes.yStep) * planes.chromaLine;
        for (int x = band.left() + (planes.xStep - band.left() % planes.xStep) % planes.xStep; x <= band.right();
             x += planes.xStep) {
            const int keep = 255 - qAlpha(over[x - band.left()]);
            const qint64 at = chromaRow + x / planes.xStep;
            planes.cb[at] = uchar(128 + ((planes.cb[at] - 128) * keep) / 255);
            planes.cr[at] = uchar(128 + ((planes.cr[at] - 128) * keep) / 255);
        }
    }
}
