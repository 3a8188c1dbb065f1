#pragma once

#include "image/PictureOptions.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <ctime>

// The caption's text: `pattern` with its strftime fields filled in for
// `when` in local time. Empty when the pattern yields nothing.
QString captionText(const QString& pattern, std::time_t when);

// Where drawCaption puts its dark band in a picture of `size`: one line,
// its height a fixed share of the picture's, in `corner`, never wider than
// the picture. Empty for empty text.
QRect captionBand(const QSize& size, const QString& text, PictureOptions::Corner corner);

// Draws `text` in white on a dark band, readable on any picture; text that
// does not fit is cut at the picture's edge, never wrapped.
void drawCaption(QImage& picture, const QString& text, PictureOptions::Corner corner);

// The same caption on the planes of a YUV picture (full range, packed rows):
// `luma` is `size`, `cb` and `cr` are `chromaSize` (subsampled by whole
// factors). For a stream encoded from YUV, which never becomes RGB.
void drawCaptionOnPlanes(uchar* luma, const QSize& size, uchar* cb, uchar* cr, const QSize& chromaSize,
                         const QString& text, PictureOptions::Corner corner);
