#pragma once

#include <cstdint>

// Byte layouts a surface can have. Bgrx32 is Qt's RGB32/ARGB32 family on a
// little-endian machine (blue, green, red, alpha); Rgb24 is Qt's RGB888.
enum class PixelFormat : std::uint8_t { Bgr24, Rgb24, Bgrx32 };

// A view of one pixel block. Rows are `stride` bytes apart; with `bottomUp`
// the first row in memory is the picture's bottom row (a DIB).
struct Surface {
    std::uint8_t* bits = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t stride = 0;
    PixelFormat format = PixelFormat::Bgr24;
    bool bottomUp = false;

    bool isValid() const { return bits && width > 0 && height > 0 && stride > 0; }
};

// Copies a width x height block from (srcX, srcY) of `src` to (destX, destY)
// of `dest`, in picture coordinates (origin top-left, y down). The block is
// clipped to both surfaces, so nothing outside either is read or written.
// Alpha is dropped; a Bgrx32 destination gets an opaque alpha byte.
// Returns false when the formats can't be combined (only Bgr24 and Bgrx32 can
// be written to) or a surface is invalid; an empty overlap is a success.
bool blitSurfaces(const Surface& dest, std::int32_t destX, std::int32_t destY,
                  std::int32_t width, std::int32_t height,
                  const Surface& src, std::int32_t srcX, std::int32_t srcY);
