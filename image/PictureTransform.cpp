#include "image/PictureTransform.h"

#include <QTransform>

#include <cmath>

FoldedTurn foldTurn(const PictureOptions& options)
{
    FoldedTurn folded{((options.rotation % 360) + 360) % 360, options.flipHorizontal};
    if (options.flipVertical) {
        folded.rotation = (folded.rotation + 180) % 360;
        folded.mirror = !folded.mirror;
    }
    return folded;
}

QSize turnedSize(const QSize& size, const PictureOptions& options)
{
    return options.rotation % 180 ? size.transposed() : size;
}

QImage turnPicture(const QImage& picture, const PictureOptions& options)
{
    if (picture.isNull() || !options.turnsOrFlips())
        return picture;
    const FoldedTurn folded = foldTurn(options);
    if (folded.rotation == 0)
        return picture.mirrored(folded.mirror, false);
    if (folded.rotation == 180)
        return picture.mirrored(!folded.mirror, true);
    // Qt turns by quarters with a tiled copy, so the turn is the cheap part.
    QImage turned = picture.transformed(QTransform().rotate(folded.rotation));
    if (folded.mirror)
        turned.mirror(true, false);
    return turned;
}

QSize streamSize(const QSize& size, int width)
{
    if (width <= 0 || size.isEmpty() || width >= size.width())
        return size;
    const int height = std::max(1, int(std::lround(double(size.height()) * width / size.width())));
    return {width, height};
}
