#include "image/PixelBlit.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int bytesPerPixel(PixelFormat format)
{
    return format == PixelFormat::Bgrx32 ? 4 : 3;
}

std::uint8_t* rowAddress(const Surface& surface, std::int64_t y)
{
    const std::int64_t memoryRow = surface.bottomUp ? surface.height - 1 - y : y;
    return surface.bits + memoryRow * surface.stride;
}

// One row of `count` pixels from one layout to another. Templated so that each
// pairing compiles to its own tight loop.
template <PixelFormat From, PixelFormat To>
void convertRow(std::uint8_t* dest, const std::uint8_t* src, std::int64_t count)
{
    constexpr int srcStep = bytesPerPixel(From);
    constexpr int destStep = bytesPerPixel(To);
    if constexpr (From == PixelFormat::Bgr24 && To == PixelFormat::Bgr24) {
        std::memmove(dest, src, static_cast<std::size_t>(count * srcStep));
    } else {
        constexpr bool swapRedBlue = From == PixelFormat::Rgb24;
        for (std::int64_t i = 0; i < count; ++i) {
            const std::uint8_t* s = src + i * srcStep;
            std::uint8_t* d = dest + i * destStep;
            d[0] = swapRedBlue ? s[2] : s[0];
            d[1] = s[1];
            d[2] = swapRedBlue ? s[0] : s[2];
            if constexpr (To == PixelFormat::Bgrx32)
                d[3] = 0xFF;
        }
    }
}

using RowConverter = void (*)(std::uint8_t*, const std::uint8_t*, std::int64_t);

RowConverter converterFor(PixelFormat from, PixelFormat to)
{
    using F = PixelFormat;
    if (to == F::Bgr24) {
        switch (from) {
        case F::Bgr24: return &convertRow<F::Bgr24, F::Bgr24>;
        case F::Rgb24: return &convertRow<F::Rgb24, F::Bgr24>;
        case F::Bgrx32: return &convertRow<F::Bgrx32, F::Bgr24>;
        }
    } else if (to == F::Bgrx32) {
        switch (from) {
        case F::Bgr24: return &convertRow<F::Bgr24, F::Bgrx32>;
        case F::Rgb24: return &convertRow<F::Rgb24, F::Bgrx32>;
        case F::Bgrx32: return &convertRow<F::Bgrx32, F::Bgrx32>;
        }
    }
    return nullptr;
}

} // namespace

bool blitSurfaces(const Surface& dest, std::int32_t destX, std::int32_t destY,
                  std::int32_t width, std::int32_t height,
                  const Surface& src, std::int32_t srcX, std::int32_t srcY)
{
    if (!dest.isValid() || !src.isValid())
        return false;
    const RowConverter convert = converterFor(src.format, dest.format);
    if (!convert)
        return false;
    if (width <= 0 || height <= 0)
        return true;

    // 64-bit throughout: coordinates near the 32-bit limits must not wrap.
    std::int64_t dx = destX, dy = destY, sx = srcX, sy = srcY;
    std::int64_t w = width, h = height;
    auto clipStart = [&](std::int64_t& a, std::int64_t& b, std::int64_t& extent) {
        const std::int64_t shift = std::max<std::int64_t>({0, -a, -b});
        a += shift;
        b += shift;
        extent -= shift;
    };
    clipStart(dx, sx, w);
    clipStart(dy, sy, h);
    w = std::min({w, std::int64_t(dest.width) - dx, std::int64_t(src.width) - sx});
    h = std::min({h, std::int64_t(dest.height) - dy, std::int64_t(src.height) - sy});
    if (w <= 0 || h <= 0)
        return true;

    const std::int64_t srcBpp = bytesPerPixel(src.format);
    const std::int64_t destBpp = bytesPerPixel(dest.format);

    // A copy within one block may overlap itself: take the source rows aside first.
    std::vector<std::uint8_t> staging;
    Surface from = src;
    std::int64_t fromX = sx, fromY = sy;
    if (src.bits == dest.bits) {
        const std::int64_t rowBytes = w * srcBpp;
        staging.resize(static_cast<std::size_t>(rowBytes * h));
        for (std::int64_t row = 0; row < h; ++row)
            std::memcpy(staging.data() + row * rowBytes, rowAddress(src, sy + row) + sx * srcBpp,
                        static_cast<std::size_t>(rowBytes));
        from = Surface{staging.data(), static_cast<std::int32_t>(w), static_cast<std::int32_t>(h),
                       static_cast<std::int32_t>(rowBytes), src.format, false};
        fromX = 0;
        fromY = 0;
    }

    for (std::int64_t row = 0; row < h; ++row)
        convert(rowAddress(dest, dy + row) + dx * destBpp,
                rowAddress(from, fromY + row) + fromX * srcBpp, w);
    return true;
}
