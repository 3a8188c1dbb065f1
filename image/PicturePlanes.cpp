#include "image/PicturePlanes.h"

#include "image/PictureCaption.h"

#include <turbojpeg.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
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

// The quarter turn's copy loop, square tiles at a time, with or without a
// look-up per sample.
template <bool Lookup>
void copyTiles(const uchar* start, qint64 dx, qint64 dy, int outWidth, int outHeight, int tile, const uchar* table,
               uchar* out, qint64 outLine)
{
    for (int ty = 0; ty < outHeight; ty += tile) {
        const int yEnd = std::min(outHeight, ty + tile);
        for (int tx = 0; tx < outWidth; tx += tile) {
            const int xEnd = std::min(outWidth, tx + tile);
            for (int y = ty; y < yEnd; ++y) {
                const uchar* from = start + y * dy + tx * dx;
                uchar* to = out + y * outLine + tx;
                for (int x = tx; x < xEnd; ++x, from += dx)
                    *to++ = Lookup ? table[*from] : *from;
            }
        }
    }
}

// A copy that is not turned, only mirrored either way: the source is
// walked forwards whichever way its rows and samples land, so its reads
// stream through the cache and the output takes the reversed order.
template <bool Lookup>
void copyRows(const uchar* start, qint64 dx, qint64 dy, int outWidth, int outHeight, const uchar* table, uchar* out,
              qint64 outLine)
{
    for (int i = 0; i < outHeight; ++i) {
        const int y = dy < 0 ? outHeight - 1 - i : i;
        const uchar* from = start + y * dy;
        uchar* to = out + y * outLine;
        if (dx > 0) {
            if (!Lookup && dx == 1) {
                std::memcpy(to, from, std::size_t(outWidth));
                continue;
            }
            for (int x = 0; x < outWidth; ++x, from += dx)
                to[x] = Lookup ? table[*from] : *from;
            continue;
        }
        if (!Lookup && dx == -1) {
            reverseBytes(from, outWidth, to);
            continue;
        }
        from += (outWidth - 1) * dx;
        for (int x = outWidth - 1; x >= 0; --x, from -= dx)
            to[x] = Lookup ? table[*from] : *from;
    }
}

#if !defined(__SSE2__)
// Eight rows of eight bytes turned into eight columns (each word's bytes in
// memory order): three rounds of swaps, of single bytes, pairs and quads.
void transpose8(std::uint64_t (&rows)[8])
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
}
#endif

// Eight rows of eight bytes stored turned: output row j, at `to` plus j
// lines, holds byte j of each row in order.
void storeTransposed(std::uint64_t (&rows)[8], uchar* to, qint64 outLine)
{
#if defined(__SSE2__)
    // Three rounds of interleaving in vector registers: bytes, pairs, quads.
    const auto row = [&rows](int i) { return _mm_cvtsi64_si128(static_cast<long long>(rows[i])); };
    const __m128i ab = _mm_unpacklo_epi8(row(0), row(1));
    const __m128i cd = _mm_unpacklo_epi8(row(2), row(3));
    const __m128i ef = _mm_unpacklo_epi8(row(4), row(5));
    const __m128i gh = _mm_unpacklo_epi8(row(6), row(7));
    const __m128i low = _mm_unpacklo_epi16(ab, cd);
    const __m128i high = _mm_unpackhi_epi16(ab, cd);
    const __m128i low2 = _mm_unpacklo_epi16(ef, gh);
    const __m128i high2 = _mm_unpackhi_epi16(ef, gh);
    const __m128i out[4] = {_mm_unpacklo_epi32(low, low2), _mm_unpackhi_epi32(low, low2),
                            _mm_unpacklo_epi32(high, high2), _mm_unpackhi_epi32(high, high2)};
    for (int j = 0; j < 4; ++j) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to + 2 * j * outLine), out[j]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to + (2 * j + 1) * outLine), _mm_unpackhi_epi64(out[j], out[j]));
    }
#else
    transpose8(rows);
    for (int j = 0; j < 8; ++j)
        std::memcpy(to + j * outLine, &rows[j], 8);
#endif
}

// A quarter turn of packed bytes (dy is +1 or -1: along an output column
// the source moves by rows) eight by eight: eight source rows are read as
// words and turned in registers, several times quicker than byte by byte.
// Returns how much of the output it did: whole blocks only.
QSize quarterTurnBlocks(const uchar* start, qint64 dx, qint64 dy, int outWidth, int outHeight, uchar* out,
                        qint64 outLine)
{
    const int blocksWide = outWidth / 8 * 8;
    const int blocksHigh = outHeight / 8 * 8;
    constexpr int kTile = 64;
    for (int ty = 0; ty < blocksHigh; ty += kTile) {
        const int yEnd = std::min(blocksHigh, ty + kTile);
        for (int tx = 0; tx < blocksWide; tx += kTile) {
            const int xEnd = std::min(blocksWide, tx + kTile);
            for (int oy = ty; oy < yEnd; oy += 8) {
                for (int ox = tx; ox < xEnd; ox += 8) {
                    std::uint64_t rows[8];
                    for (int i = 0; i < 8; ++i) {
                        // Output pixels (ox + i, oy .. oy + 7) lie in one source row.
                        const uchar* from = start + oy * dy + (ox + i) * dx;
                        if (dy > 0) {
                            std::memcpy(&rows[i], from, 8);
                        } else {
                            std::memcpy(&rows[i], from - 7, 8);
                            rows[i] = __builtin_bswap64(rows[i]);
                        }
                    }
                    storeTransposed(rows, out + oy * outLine + ox, outLine);
                }
            }
        }
    }
    return {blocksWide, blocksHigh};
}

} // namespace

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
    if (!quarter) {
        if (table)
            copyRows<true>(start, dx, dy, outWidth, outHeight, table, out, outLine);
        else
            copyRows<false>(start, dx, dy, outWidth, outHeight, nullptr, out, outLine);
        return;
    }
    // Square tiles for a quarter turn, so the source rows a tile reads down
    // stay in the cache.
    const int tile = 32;
    if (table) {
        copyTiles<true>(start, dx, dy, outWidth, outHeight, tile, table, out, outLine);
        return;
    }
    if (dy != 1 && dy != -1) {
        copyTiles<false>(start, dx, dy, outWidth, outHeight, tile, nullptr, out, outLine);
        return;
    }
    // Whole blocks in registers, then the right and bottom strips they leave.
    const QSize done = quarterTurnBlocks(start, dx, dy, outWidth, outHeight, out, outLine);
    if (done.width() < outWidth)
        copyTiles<false>(start + done.width() * dx, dx, dy, outWidth - done.width(), done.height(), tile, nullptr,
                         out + done.width(), outLine);
    if (done.height() < outHeight)
        copyTiles<false>(start + done.height() * dy, dx, dy, outWidth, outHeight - done.height(), tile, nullptr,
                         out + done.height() * outLine, outLine);
}

void turnChromaTo420(const uchar* in, qint64 line, int step, int width, int height, const uchar* table, uchar* out,
                     std::vector<uchar>& scratch, const PictureOptions& options)
{
    const int halfHeight = height / 2;
    scratch.resize(std::size_t(width) * std::size_t(halfHeight));
    for (int y = 0; y < halfHeight; ++y) {
        const uchar* upper = in + 2 * y * line;
        const uchar* lower = upper + line;
        uchar* to = scratch.data() + std::size_t(y) * std::size_t(width);
        int x = 0;
        if (step == 1 && !table) {
            // Decoded planes: eight rounded-up byte means a word at a time.
            for (; x + 8 <= width; x += 8) {
                std::uint64_t a, b;
                std::memcpy(&a, upper + x, 8);
                std::memcpy(&b, lower + x, 8);
                const std::uint64_t mean = (a | b) - (((a ^ b) & 0xFEFEFEFEFEFEFEFEull) >> 1);
                std::memcpy(to + x, &mean, 8);
            }
        }
        for (; x < width; ++x) {
            const int mean = (upper[qint64(x) * step] + lower[qint64(x) * step] + 1) >> 1;
            to[x] = table ? table[mean] : uchar(mean);
        }
    }
    // Packed and without a look-up now: the turn goes eight by eight.
    const bool quarter = options.rotation % 180 != 0;
    copyPlaneTurned(scratch.data(), width, 1, width, halfHeight, nullptr, out, quarter ? halfHeight : width, options);
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
                turnChromaTo420(planes[i].data(), width, 1, width, height, nullptr, planes[i].data(), spare[i],
                                options);
                continue;
            }
            const int outLine = tjPlaneWidth(i, turned.width(), turnedSampling);
            spare[i].resize(std::size_t(width) * std::size_t(height));
            copyPlaneTurned(planes[i].data(), width, 1, width, height, nullptr, spare[i].data(), outLine,
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
