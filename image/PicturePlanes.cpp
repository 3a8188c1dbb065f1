#include "image/PicturePlanes.h"

#include "image/PictureCaption.h"
#include "image/PictureTransform.h"

#include <turbojpeg.h>

#include "image/Transpose16.h"

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// `count` bytes ending at `last` written backwards from `to`, a word at a time.
void reverseBytes(const uchar* last, int count, uchar* to)
{
    int done = 0;
    for (; done + 8 <= count; done += 8) {
        std::uint64_t word;
        std::memcpy(&word, last - done - 7, 8);
        word = __builtin_bswap64(word);
        std::memcpy(to + done, &word, 8);
    }
    for (; done < count; ++done)
        to[done] = *(last - done);
}

// The quarter turn's plain copy loop, square tiles at a time, for what
// whole blocks leave.
void copyTiles(const uchar* start, qint64 dx, qint64 dy, int outWidth, int outHeight, int tile, uchar* out,
               qint64 outLine)
{
    for (int ty = 0; ty < outHeight; ty += tile) {
        const int yEnd = std::min(outHeight, ty + tile);
        for (int tx = 0; tx < outWidth; tx += tile) {
            const int xEnd = std::min(outWidth, tx + tile);
            for (int y = ty; y < yEnd; ++y) {
                const uchar* from = start + y * dy + tx * dx;
                uchar* to = out + y * outLine + tx;
                for (int x = tx; x < xEnd; ++x, from += dx)
                    *to++ = *from;
            }
        }
    }
}

// A copy that is not turned, only mirrored either way: the source is
// walked forwards whichever way its rows and samples land, so its reads
// stream through the cache and the output takes the reversed order.
void copyRows(const uchar* start, qint64 dx, qint64 dy, int outWidth, int outHeight, uchar* out, qint64 outLine)
{
    for (int i = 0; i < outHeight; ++i) {
        const int y = dy < 0 ? outHeight - 1 - i : i;
        const uchar* from = start + y * dy;
        uchar* to = out + y * outLine;
        if (dx > 0)
            std::memcpy(to, from, std::size_t(outWidth));
        else
            reverseBytes(from, outWidth, to);
    }
}

#if defined(__SSE2__)
// Blocks of sixteen by sixteen bytes, a row in a vector register.
constexpr int kBlock = 16;
using Run = __m128i;

// Sixteen packed bytes from `from` on in the direction of dy (+1 or -1),
// in output order.
Run loadRun(const uchar* from, qint64 dy)
{
    const Run run = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dy > 0 ? from : from - 15));
    return dy > 0 ? run : reversedBytes(run);
}

// The block's runs stored turned: output row j, at `to` plus j lines,
// holds sample j of each run in order.
void storeTransposed(Run (&rows)[kBlock], uchar* to, qint64 outLine)
{
    transpose16(rows);
    for (int j = 0; j < kBlock; ++j)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + j * outLine), rows[j]);
}
#else
constexpr int kBlock = 8;
using Run = std::uint64_t;

// Eight runs of eight bytes turned into eight columns (each word's bytes in
// memory order): three rounds of swaps, of single bytes, pairs and quads.
void storeTransposed(Run (&rows)[kBlock], uchar* to, qint64 outLine)
{
    for (int i = 0; i < 8; i += 2) {
        const std::uint64_t t = ((rows[i] >> 8) ^ rows[i + 1]) & 0x00FF00FF00FF00FFull;
        rows[i + 1] ^= t;
        rows[i] ^= t << 8;
    }
    for (const int i : {0, 1, 4, 5}) {
        const std::uint64_t t = ((rows[i] >> 16) ^ rows[i + 2]) & 0x0000FFFF0000FFFFull;
        rows[i + 2] ^= t;
        rows[i] ^= t << 16;
    }
    for (int i = 0; i < 4; ++i) {
        const std::uint64_t t = ((rows[i] >> 32) ^ rows[i + 4]) & 0x00000000FFFFFFFFull;
        rows[i + 4] ^= t;
        rows[i] ^= t << 32;
    }
    for (int j = 0; j < 8; ++j)
        std::memcpy(to + j * outLine, &rows[j], 8);
}

// Eight packed bytes from `from` on in the direction of dy (+1 or -1), in
// output order.
Run loadRun(const uchar* from, qint64 dy)
{
    Run run;
    std::memcpy(&run, dy > 0 ? from : from - 7, 8);
    return dy > 0 ? run : __builtin_bswap64(run);
}
#endif

// A quarter turn of packed bytes (dy is +1 or -1: along an output column
// the source moves by rows) a block at a time: the block's source runs are read
// whole and turned in registers, several times quicker than byte by byte.
// Returns how much of the output it did: whole blocks only. `ahead`, where
// not 0, is how far from `out` the next band of a turn in bands will be
// written: its lines are fetched while this band's are.
QSize quarterTurnBlocks(const uchar* start, qint64 dx, qint64 dy, int outWidth, int outHeight, uchar* out,
                        qint64 outLine, qint64 ahead)
{
    const int blocksWide = outWidth / kBlock * kBlock;
    const int blocksHigh = outHeight / kBlock * kBlock;
    constexpr int kTile = 64;
    for (int ty = 0; ty < blocksHigh; ty += kTile) {
        const int yEnd = std::min(blocksHigh, ty + kTile);
        for (int tx = 0; tx < blocksWide; tx += kTile) {
            const int xEnd = std::min(blocksWide, tx + kTile);
            for (int oy = ty; oy < yEnd; oy += kBlock) {
                for (int ox = tx; ox < xEnd; ox += kBlock) {
#if defined(__SSE2__)
                    // The next tile's source runs, fetched a tile ahead:
                    // they lie a row apart, a stride the processor does not
                    // foresee across pages.
                    if (oy == ty) {
                        const uchar* next = xEnd < blocksWide ? start + ty * dy + (ox + kTile) * dx
                            : ty + kTile < blocksHigh         ? start + (ty + kTile) * dy + (ox - tx) * dx
                                                              : nullptr;
                        for (int i = 0; next && i < kBlock; ++i) {
                            _mm_prefetch(reinterpret_cast<const char*>(next + i * dx), _MM_HINT_T0);
                            _mm_prefetch(reinterpret_cast<const char*>(next + i * dx + (kTile - 1) * dy), _MM_HINT_T0);
                        }
                    }
#endif
                    Run rows[kBlock];
                    // Output pixels (ox + i, oy ...) lie in one source row.
                    for (int i = 0; i < kBlock; ++i)
                        rows[i] = loadRun(start + oy * dy + (ox + i) * dx, dy);
#if defined(__SSE2__)
                    // Output lines are written a column at a time, a stride
                    // the processor does not foresee either.
                    if (ahead && ox == tx) {
                        for (int j = 0; j < kBlock; ++j) {
                            const uchar* line = out + (oy + j) * outLine + ox + ahead;
                            _mm_prefetch(reinterpret_cast<const char*>(line), _MM_HINT_T0);
                            _mm_prefetch(reinterpret_cast<const char*>(line + std::abs(ahead) - 1), _MM_HINT_T0);
                        }
                    }
#endif
                    storeTransposed(rows, out + oy * outLine + ox, outLine);
                }
            }
        }
    }
    return {blocksWide, blocksHigh};
}

// Where a turned and mirrored copy starts in the source and how it moves:
// dx bytes along an output row, dy down an output column.
struct Walk {
    const uchar* start;
    qint64 dx;
    qint64 dy;
    int outWidth;
    int outHeight;
    bool quarter;
};

// Over a packed plane `width` x `height`.
Walk walkFor(const uchar* in, int width, int height, const PictureOptions& options)
{
    const auto [rotation, mirror] = foldTurn(options);
    const qint64 line = width;
    const auto at = [&](int x, int y) { return in + y * line + x; };
    Walk walk{in, 1, line, width, height, rotation % 180 != 0};
    switch (rotation) {
    case 90: // output (x, y) is source (y, height - 1 - x)
        walk.start = at(0, height - 1), walk.dx = -line, walk.dy = 1;
        break;
    case 180:
        walk.start = at(width - 1, height - 1), walk.dx = -1, walk.dy = -line;
        break;
    case 270: // output (x, y) is source (width - 1 - y, x)
        walk.start = at(width - 1, 0), walk.dx = line, walk.dy = -1;
        break;
    default:
        break;
    }
    if (walk.quarter)
        std::swap(walk.outWidth, walk.outHeight);
    if (mirror) {
        walk.start += (walk.outWidth - 1) * walk.dx;
        walk.dx = -walk.dx;
    }
    return walk;
}

void turnInto(const uchar* in, int width, int height, uchar* out, qint64 outLine, const PictureOptions& options,
              qint64 ahead)
{
    const Walk w = walkFor(in, width, height, options);
    if (!w.quarter) {
        copyRows(w.start, w.dx, w.dy, w.outWidth, w.outHeight, out, outLine);
        return;
    }
    // Whole blocks in registers, then the right and bottom strips they leave
    // in square tiles, so the source rows a tile reads down stay in the cache.
    constexpr int kStripTile = 32;
    const QSize done = quarterTurnBlocks(w.start, w.dx, w.dy, w.outWidth, w.outHeight, out, outLine, ahead);
    if (done.width() < w.outWidth)
        copyTiles(w.start + done.width() * w.dx, w.dx, w.dy, w.outWidth - done.width(), done.height(), kStripTile,
                  out + done.width(), outLine);
    if (done.height() < w.outHeight)
        copyTiles(w.start + done.height() * w.dy, w.dx, w.dy, w.outWidth, w.outHeight - done.height(), kStripTile,
                  out + done.height() * outLine, outLine);
}

} // namespace

void copyPlaneTurned(const uchar* in, int width, int height, uchar* out, qint64 outLine, const PictureOptions& options)
{
    turnInto(in, width, height, out, outLine, options, 0);
}

void copyBandTurned(const uchar* band, int width, int first, int rows, int height, uchar* out, qint64 outLine,
                    const PictureOptions& options)
{
    const auto [rotation, mirror] = foldTurn(options);
    const bool quarter = rotation % 180 != 0;
    // Where the band's rows land: in columns after a quarter turn, in rows
    // otherwise; from the far side where the turn runs them backwards.
    const bool backwards = quarter ? (rotation == 90) != mirror : rotation == 180;
    const int at = backwards ? height - first - rows : first;
    const qint64 ahead = quarter && first + rows < height ? (backwards ? -rows : rows) : 0;
    turnInto(band, width, rows, quarter ? out + at : out + at * outLine, outLine, options, ahead);
}

void turnChromaTo420(const uchar* in, int width, int height, uchar* out, std::vector<uchar>& scratch,
                     const PictureOptions& options)
{
    const int halfHeight = height / 2;
    scratch.resize(std::size_t(width) * std::size_t(halfHeight));
    for (int y = 0; y < halfHeight; ++y) {
        const uchar* upper = in + std::size_t(2 * y) * std::size_t(width);
        const uchar* lower = upper + width;
        uchar* to = scratch.data() + std::size_t(y) * std::size_t(width);
        int x = 0;
        // Eight rounded-up byte means a word at a time.
        for (; x + 8 <= width; x += 8) {
            std::uint64_t a, b;
            std::memcpy(&a, upper + x, 8);
            std::memcpy(&b, lower + x, 8);
            const std::uint64_t mean = (a | b) - (((a ^ b) & 0xFEFEFEFEFEFEFEFEull) >> 1);
            std::memcpy(to + x, &mean, 8);
        }
        for (; x < width; ++x)
            to[x] = uchar((upper[x] + lower[x] + 1) >> 1);
    }
    const bool quarter = options.rotation % 180 != 0;
    copyPlaneTurned(scratch.data(), width, halfHeight, out, quarter ? halfHeight : width, options);
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
    const bool to420 = quarter && subsampling == TJSAMP_422 && size.height() % 2 == 0;
    const int turnedSampling = to420 ? TJSAMP_420 : turnedSubsampling(subsampling, quarter);
    const int count = subsampling == TJSAMP_GRAY ? 1 : 3;
    if (options.turnsOrFlips()) {
        for (int i = 0; i < count; ++i) {
            const int width = tjPlaneWidth(i, size.width(), subsampling);
            const int height = tjPlaneHeight(i, size.height(), subsampling);
            if (i > 0 && to420) {
                // The plane is read into `spare` first, so it can take the result.
                turnChromaTo420(planes[i].data(), width, height, planes[i].data(), spare[i], options);
                continue;
            }
            const int outLine = tjPlaneWidth(i, turned.width(), turnedSampling);
            spare[i].resize(std::size_t(width) * std::size_t(height));
            copyPlaneTurned(planes[i].data(), width, height, spare[i].data(), outLine, options);
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
