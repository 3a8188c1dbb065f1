#include "image/PictureTransform.h"

#include <QTransform>

#include <cmath>

namespace {

// Any turn and mirror pair is one of eight; folded here into a clockwise
// turn followed by an optional left-right mirror (a top-bottom mirror is a
// half turn and a left-right mirror).
struct Folded {
    int rotation;
    bool mirror;
};

Folded fold(const PictureOptions& options)
{
    int rotation = ((options.rotation % 360) + 360) % 360;
    bool mirror = options.flipHorizontal;
    if (options.flipVertical) {
        rotation = (rotation + 180) % 360;
        mirror = !mirror;
    }
    return {rotation, mirror};
}

} // namespace

QSize turnedSize(const QSize& size, const PictureOptions& options)
{
    return options.rotation % 180 ? size.transposed() : size;
}

QImage turnPicture(const QImage& picture, const PictureOptions& options)
{
    if (picture.isNull() || !options.turnsOrFlips())
        return picture;
    const Folded folded = fold(options);
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
