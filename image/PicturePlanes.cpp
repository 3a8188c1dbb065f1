#include "image/PicturePlanes.h"

#include <algorithm>

void copyPlaneTurned(const uchar* in, qint64 line, int step, int width, int height, const uchar* table, uchar* out,
                     qint64 outLine, const PictureOptions& options)
{
    // Folded as turnPicture folds it: a clockwise turn, then a left-right mirror.
    int rotation = ((options.rotation % 360) + 360) % 360;
    bool mirror = options.flipHorizontal;
    if (options.flipVertical) {
        rotation = (rotation + 180) % 360;
        mirror = !mirror;
    }
    const auto at = [&](int x, int y) { return in + y * line + qint64(x) * step; };
    const uchar* start = in;
    qint64 dx = step;
    qint64 dy = line;
    switch (rotation) {
    case 90: // output (x, y) is source (y, height - 1 - x)
        start = at(0, height - 1), dx = -line, dy = step;
        break;
    case 180:
        start = at(width - 1, height - 1), dx = -step, dy = -line;
        break;
    case 270: // output (x, y) is source (width - 1 - y, x)
        start = at(width - 1, 0), dx = line, dy = -step;
        break;
    default:
        break;
    }
    const bool quarter = rotation % 180 != 0;
    const int outWidth = quarter ? height : width;
    const int outHeight = quarter ? width : height;
    if (mirror) {
        start += (outWidth - 1) * dx;
        dx = -dx;
    }
    // Square tiles for a quarter turn, so the source rows a tile reads down
    // stay in the cache; whole rows otherwise.
    const int tile = quarter ? 32 : std::max(outWidth, 1);
    for (int ty = 0; ty < outHeight; ty += tile) {
        const int yEnd = std::min(outHeight, ty + tile);
        for (int tx = 0; tx < outWidth; tx += tile) {
            const int xEnd = std::min(outWidth, tx + tile);
            for (int y = ty; y < yEnd; ++y) {
                const uchar* from = start + y * dy + tx * dx;
                uchar* to = out + y * outLine + tx;
                for (int x = tx; x < xEnd; ++x, from += dx)
                    *to++ = table[*from];
            }
        }
    }
}
