#pragma once

#include "image/cDIBSection.h"

#include <array>
#include <cstdint>

// Pixel access in picture coordinates (origin top-left, y down) over the
// bottom-up block of a cDIBSection: the tests' own reading of the layout.
inline std::uint8_t* pixelAt(const cDIBSection& dib, int x, int y)
{
    return dib.DIBSectionBitsPtr() + static_cast<std::int64_t>(dib.Height() - 1 - y) * dib.BytesPerScanLine()
        + x * 3;
}

using Bgr = std::array<std::uint8_t, 3>;

inline Bgr bgrAt(const cDIBSection& dib, int x, int y)
{
    const std::uint8_t* p = pixelAt(dib, x, y);
    return {p[0], p[1], p[2]};
}

inline void setBgr(cDIBSection& dib, int x, int y, Bgr value)
{
    std::uint8_t* p = pixelAt(dib, x, y);
    p[0] = value[0];
    p[1] = value[1];
    p[2] = value[2];
}

// Sets every pad byte (row ends) to `value`.
inline void fillPadBytes(cDIBSection& dib, std::uint8_t value)
{
    for (int row = 0; row < dib.Height(); ++row)
        for (int c = dib.Width() * 3; c < dib.BytesPerScanLine(); ++c)
            dib.DIBSectionBitsPtr()[static_cast<std::int64_t>(row) * dib.BytesPerScanLine() + c] = value;
}

inline bool padBytesAre(const cDIBSection& dib, std::uint8_t value)
{
    for (int row = 0; row < dib.Height(); ++row)
        for (int c = dib.Width() * 3; c < dib.BytesPerScanLine(); ++c)
            if (dib.DIBSectionBitsPtr()[static_cast<std::int64_t>(row) * dib.BytesPerScanLine() + c] != value)
                return false;
    return true;
}
