#include "image/PictureScale.h"

#include "image/PictureTransform.h"

#include <algorithm>
#include <cstdint>
#include <vector>

QSize streamPlaneSize(const QSize& size, const PictureOptions& options)
{
    return turnedSize(streamSize(turnedSize(size, options), options.streamWidth), options);
}

QSize evenSize(const QSize& size)
{
    return {size.width() + size.width() % 2, size.height() + size.height() % 2};
}

bool shrinksTo(const QSize& size, const QSize& target)
{
    const QSize even = evenSize(target);
    return !target.isEmpty() && even.width() <= size.width() && even.height() <= size.height();
}

namespace {

// Where each output sample's block starts along one axis: input samples
// [starts[i], starts[i + 1]) make output sample i, none left out.
std::vector<int> blockStarts(int in, int out)
{
    std::vector<int> starts(std::size_t(out) + 1);
    for (int i = 0; i <= out; ++i)
        starts[std::size_t(i)] = int(qint64(i) * in / out);
    return starts;
}

} // namespace

void shrinkPlane(const uchar* in, qint64 line, int step, int width, int height, const uchar* table, uchar* out,
                 qint64 outLine, int outWidth, int outHeight)
{
    outWidth = std::clamp(outWidth, 0, width);
    outHeight = std::clamp(outHeight, 0, height);
    if (outWidth == 0 || outHeight == 0)
        return;
    const std::vector<int> columns = blockStarts(width, outWidth);
    const std::vector<int> rows = blockStarts(height, outHeight);
    // Column sums of a band of input rows, then block sums along the row;
    // a mean by multiplying with a 24-bit reciprocal, not a division.
    std::vector<std::uint32_t> sums(static_cast<std::size_t>(width));
    std::vector<std::uint64_t> reciprocal(static_cast<std::size_t>(outWidth));
    for (int y = 0; y < outHeight; ++y) {
        const int top = rows[std::size_t(y)];
        const int bottom = rows[std::size_t(y) + 1];
        const uchar* row = in + top * line;
        for (int x = 0; x < width; ++x)
            sums[std::size_t(x)] = row[qint64(x) * step];
        for (int r = top + 1; r < bottom; ++r) {
            row = in + r * line;
            for (int x = 0; x < width; ++x)
                sums[std::size_t(x)] += row[qint64(x) * step];
        }
        if (y == 0 || bottom - top != rows[std::size_t(y)] - rows[std::size_t(y) - 1]) {
            for (int x = 0; x < outWidth; ++x) {
                const std::uint64_t count = std::uint64_t(columns[std::size_t(x) + 1] - columns[std::size_t(x)])
                    * std::uint64_t(bottom - top);
                reciprocal[std::size_t(x)] = ((std::uint64_t(1) << 24) + count / 2) / count;
            }
        }
        uchar* to = out + y * outLine;
        if (width % outWidth == 0) {
            // Whole blocks of one width (a half, a third...): a fixed inner loop.
            const int block = width / outWidth;
            const std::uint64_t scale = reciprocal[0];
            const std::uint32_t* from = sums.data();
            for (int x = 0; x < outWidth; ++x, from += block) {
                std::uint64_t sum = 0;
                for (int c = 0; c < block; ++c)
                    sum += from[c];
                const std::uint64_t mean = std::min<std::uint64_t>(255, (sum * scale + (1u << 23)) >> 24);
                to[x] = table ? table[mean] : uchar(mean);
            }
            continue;
        }
        for (int x = 0; x < outWidth; ++x) {
            std::uint64_t sum = 0;
            for (int c = columns[std::size_t(x)]; c < columns[std::size_t(x) + 1]; ++c)
                sum += sums[std::size_t(c)];
            const std::uint64_t mean = std::min<std::uint64_t>(255, (sum * reciprocal[std::size_t(x)] + (1u << 23)) >> 24);
            to[x] = table ? table[mean] : uchar(mean);
        }
    }
}
