#pragma once

#include <cstdint>

// Handle and record types of the small device-context layer behind cDIBSection.
// Handles are opaque numbers; 0 always means "none".
using DcHandle = std::uintptr_t;
using BitmapHandle = std::uintptr_t;

// Bytes of one stored row of a 24-bit picture: three per pixel, rounded up
// to a multiple of four (bitmap files and DIB sections pad every row).
constexpr std::int64_t dibRowBytes(std::int64_t width)
{
    return (width * 3 + 3) & ~std::int64_t(3);
}

// Raster operations understood by the block copy. Only the straight copy is
// ever used; anything else is refused by the platform.
enum class RasterOp : std::uint32_t {
    SrcCopy = 0x00CC0020,
};

// Laid out like the BITMAPINFOHEADER of the DIB format, so the values read
// as they do in any DIB: 40 bytes, positive height = rows stored bottom-up.
struct BitmapInfoHeader {
    std::uint32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

struct BitmapInfo {
    BitmapInfoHeader bmiHeader;
    std::uint32_t bmiColors[1] = {0};
};

// The size query of a bitmap; only width and height are ever read.
struct BitmapRecord {
    std::int32_t bmType = 0;
    std::int32_t bmWidth = 0;
    std::int32_t bmHeight = 0;
    std::int32_t bmWidthBytes = 0;
    std::uint16_t bmPlanes = 0;
    std::uint16_t bmBitsPixel = 0;
};

constexpr std::uint32_t kBiRgb = 0;
