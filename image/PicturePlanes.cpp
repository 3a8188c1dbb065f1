#include "image/PicturePlanes.h"

#include "image/PictureCaption.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <utility>

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

namespace {

// 4:2:2 and 4:4:0 trade places under a quarter turn; the rest stay.
int turnedSubsampling(int subsampling, bool quarter)
{
    if (!quarter)
        return subsampling;
    if (subsampling == TJSAMP_422)
        return TJSAMP_440;
    if (subsampling == TJSAMP_440)
        return TJSAMP_422;
    return subsampling;
}

const std::array<uchar, 256>& identity()
{
    static const std::array<uchar, 256> table = [] {
        std::array<uchar, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[std::size_t(i)] = uchar(i);
        return t;
    }();
    return table;
}

} // namespace

bool planesCanTurn(const QSize& size, int subsampling)
{
    if (size.isEmpty() || subsampling < 0 || subsampling == TJSAMP_411 || subsampling >= TJ_NUMSAMP)
        return false;
    return tjPlaneWidth(0, size.width(), subsampling) == size.width()
        && tjPlaneHeight(0, size.height(), subsampling) == size.height();
}

bool pictureOnPlanes(std::vector<uchar> (&planes)[3], std::vector<uchar> (&spare)[3], QSize& size, int& subsampling,
                     const PictureOptions& options, std::time_t when)
{
    if (!planesCanTurn(size, subsampling))
        return false;
    const bool quarter = options.rotation % 180 != 0;
    const QSize turned = quarter ? size.transposed() : size;
    const int turnedSampling = turnedSubsampling(subsampling, quarter);
    const int count = subsampling == TJSAMP_GRAY ? 1 : 3;
    if (options.turnsOrFlips()) {
        for (int i = 0; i < count; ++i) {
            const int width = tjPlaneWidth(i, size.width(), subsampling);
            const int height = tjPlaneHeight(i, size.height(), subsampling);
            const int outLine = tjPlaneWidth(i, turned.width(), turnedSampling);
            spare[i].resize(std::size_t(width) * std::size_t(height));
            copyPlaneTurned(planes[i].data(), width, 1, width, height, identity().data(), spare[i].data(), outLine,
                            options);
            std::swap(planes[i], spare[i]);
        }
    }
    size = turned;
    subsampling = turnedSampling;
    if (options.captionOn) {
        YuvPlanes yuv;
        yuv.luma = planes[0].data();
        yuv.lumaLine = tjPlaneWidth(0, size.width(), subsampling);
        if (count == 3) {
            yuv.cb = planes[1].data();
            yuv.cr = planes[2].data();
            yuv.chromaLine = tjPlaneWidth(1, size.width(), subsampling);
            yuv.xStep = size.width() / yuv.chromaLine;
            yuv.yStep = size.height() / tjPlaneHeight(1, size.height(), subsampling);
        }
        drawCaptionOnPlanes(yuv, size, captionText(options.caption, when), options.corner);
    }
    return true;
}
