#pragma once

#include "image/PictureOptions.h"

#include <QSize>
#include <QtGlobal>

// Scaling on a camera's YUV planes for a stream of a width of its own, so a
// small stream never goes through RGB.

// The size, in the camera's orientation (before any turn), the stream's
// planes are scaled to for a camera picture of `size`: turned, it is
// streamSize() of the turned picture.
QSize streamPlaneSize(const QSize& size, const PictureOptions& options);

// The size of the 4:2:0 planes for a stream picture of `size`: odd sides
// rounded up to even. A picture shrunk to it and cut back by that row or
// column when encoded keeps its exact size.
QSize evenSize(const QSize& size);
// Whether a picture of `size` can be shrunk to evenSize(target) (never enlarged).
bool shrinksTo(const QSize& size, const QSize& target);

// Shrinks a plane of `width` x `height` samples, `step` bytes apart in rows
// `line` bytes apart, to `outWidth` x `outHeight` into `out` (rows
// `outLine` apart): each output sample is the mean of the block of input
// samples it covers, then looked up in `table` (256 entries; null: none).
// The output is never larger than the input either way.
void shrinkPlane(const uchar* in, qint64 line, int step, int width, int height, const uchar* table, uchar* out,
                 qint64 outLine, int outWidth, int outHeight);
