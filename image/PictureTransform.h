#pragma once

#include "image/PictureOptions.h"

#include <QImage>
#include <QSize>

// Any turn and mirror pair is one of eight: a clockwise turn (0, 90, 180,
// 270) followed by an optional left-right mirror (a top-bottom mirror is a
// half turn and a left-right mirror).
struct FoldedTurn {
    int rotation;
    bool mirror;
};
FoldedTurn foldTurn(const PictureOptions& options);

// Turns and mirrors a picture in one step, in any QImage format (the
// camera's Format_BGR888 included). With nothing to do it returns the same
// image, shared, without a copy.
QImage turnPicture(const QImage& picture, const PictureOptions& options);
// The size turnPicture gives for a picture of `size`.
QSize turnedSize(const QSize& size, const PictureOptions& options);

// The stream's size for a turned picture of `size`: `width` wide with the
// shape kept; the same size for 0 or a width not below the picture's
// (enlarging adds bytes, never detail).
QSize streamSize(const QSize& size, int width);
