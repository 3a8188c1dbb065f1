#include "image/cDIBSection.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

namespace {

// Nearest integer, halves to the even neighbour: std::nearbyint under the
// default rounding mode. Adding and taking away 1.5 * 2^52 makes the FPU do
// that rounding in two instructions instead of a library call per blend;
// exact for |value| < 2^51, which the blends of bytes always are.
inline double roundHalfEven(double value)
{
    constexpr double kShift = 6755399441055744.0;
    if (!(std::fabs(value) < 2251799813685248.0))
        return std::nearbyint(value);
    return (value + kShift) - kShift;
}

// Where one destination column or row samples the source: the lower
// neighbour and the weight of the upper one. Computed once per column/row;
// the values equal those of the per-pixel formula bit for bit.
struct SamplePoint {
    std::int32_t index;
    float frac;
};

float scaleFor(std::int32_t sourceSize, std::int32_t destinationSize)
{
    return static_cast<float>(static_cast<double>(sourceSize - 1) / destinationSize);
}

SamplePoint samplePoint(float scale, std::int32_t i, std::int32_t sourceSize)
{
    const float pos = static_cast<float>(static_cast<double>(scale) * i);
    auto index = static_cast<std::int32_t>(std::floor(pos));
    float frac = static_cast<float>(static_cast<double>(pos) - index);
    // Rounding the scale to float can carry a huge enlargement's last point
    // onto the last source pixel; sample it from its left side with full
    // weight so the neighbour stays inside the source.
    if (index > sourceSize - 2) {
        index = sourceSize - 2;
        frac = 1.0f;
    }
    return SamplePoint{index, frac};
}

} // namespace

std::unique_ptr<cDIBSection> cDIBSection::Resample(std::int32_t lNewHeight, std::int32_t lNewWidth) const
{
    if (!m_bitsPointer)
        return nullptr;
    const bool sameSize = lNewWidth == Width() && lNewHeight == Height();
    if (!sameSize && (Width() < 2 || Height() < 2))
        return nullptr;

    auto result = std::make_unique<cDIBSection>(m_platform);
    if (!result->Create(lNewWidth, lNewHeight))
        return nullptr;
    if (sameSize) {
        result->LoadPictureBlt(m_memoryDC, 0, 0, -1, -1, RasterOp::SrcCopy);
        return result;
    }
    try {
        ResampleInto(*result);
    } catch (const std::bad_alloc&) {
        // The column table of an extreme width: no image rather than a half-filled one.
        return nullptr;
    }
    return result;
}

void cDIBSection::ResampleInto(cDIBSection& destination) const
{
    const std::uint8_t* source = m_bitsPointer;
    std::uint8_t* target = destination.DIBSectionBitsPtr();
    if (!source || !target || Width() < 2 || Height() < 2)
        return;
    const std::int64_t sourceStride = BytesPerScanLine();
    const std::int64_t targetStride = destination.BytesPerScanLine();
    const std::int64_t rowBytes = std::int64_t(Width()) * 3;
    const std::int32_t destWidth = destination.Width();
    const std::int32_t destHeight = destination.Height();

    const float scaleX = scaleFor(Width(), destWidth);
    const float scaleY = scaleFor(Height(), destHeight);
    std::vector<SamplePoint> columns(static_cast<std::size_t>(destWidth));
    for (std::int32_t x = 0; x < destWidth; ++x)
        columns[static_cast<std::size_t>(x)] = samplePoint(scaleX, x, Width());

    // A vertical blend depends only on the destination row and the source
    // byte column. When most source columns get used (enlarging, or reducing
    // by less than half) blend the whole row once and share the results
    // between neighbouring destination pixels; otherwise blend per pixel.
    const bool blendWholeRows = std::int64_t(destWidth) * 2 >= Width();
    std::vector<std::uint8_t> blended(blendWholeRows ? static_cast<std::size_t>(rowBytes) : 0);

    for (std::int32_t y = 0; y < destHeight; ++y) {
        const SamplePoint row = samplePoint(scaleY, y, Height());
        const std::uint8_t* lower = source + row.index * sourceStride;
        const std::uint8_t* upper = lower + sourceStride;
        const double upperWeight = row.frac;
        const double lowerWeight = 1.0 - upperWeight;
        auto vertical = [&](std::int64_t i) {
            return roundHalfEven(lowerWeight * lower[i] + upperWeight * upper[i]);
        };
        if (blendWholeRows) {
            for (std::int64_t i = 0; i < rowBytes; ++i)
                blended[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(vertical(i));
        }
        std::uint8_t* out = target + y * targetStride;

        for (std::int32_t x = 0; x < destWidth; ++x) {
            const SamplePoint column = columns[static_cast<std::size_t>(x)];
            const std::int64_t b = std::int64_t(column.index) * 3;
            const double rightWeight = column.frac;
            const double leftWeight = 1.0 - rightWeight;
            for (int c = 2; c >= 0; --c) {
                const double left = blendWholeRows ? blended[static_cast<std::size_t>(b + c)] : vertical(b + c);
                const double right =
                    blendWholeRows ? blended[static_cast<std::size_t>(b + 3 + c)] : vertical(b + 3 + c);
                const double value = roundHalfEven(leftWeight * left + rightWeight * right);
                out[std::int64_t(x) * 3 + c] = static_cast<std::uint8_t>(std::clamp(value, 0.0, 255.0));
            }
        }
    }
}
