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

// The same caption on the planes of a full-range YUV picture of `size`, for
// a stream encoded from YUV, which never becomes RGB. Rows are `lumaLine`
// and `chromaLine` bytes apart; one chroma sample covers xStep x yStep luma
// samples (2 x 2 for 4:2:0, 2 x 1 for 4:2:2, 1 x 2 for 4:4:0).
struct YuvPlanes {
    uchar* luma = nullptr;
    qint64 lumaLine = 0;
    uchar* cb = nullptr;
    uchar* cr = nullptr;
    qint64 chromaLine = 0;
    int xStep = 1;
    int yStep = 1;
};
void drawCaptionOnPlanes(const YuvPlanes& planes, const QSize& size, const QString& text,
                         PictureOptions::Corner corner);
