#include "image/cDIBSection.h"

#include <QTime>

#include <cmath>
#include <random>

namespace {

class Noise {
public:
    // Seeded from the time of day (milliseconds since midnight), so each call
    // gives a different pattern.
    Noise() : m_engine(static_cast<std::uint32_t>(QTime::currentTime().msecsSinceStartOfDay())) {}

    // One uniform draw in [0, 1) times 255, rounded halves to even.
    std::uint8_t next() { return static_cast<std::uint8_t>(std::nearbyint(m_uniform(m_engine) * 255.0)); }

private:
    std::mt19937 m_engine;
    std::uniform_real_distribution<double> m_uniform{0.0, 1.0};
};

} // namespace

void cDIBSection::RandomiseBits(bool bGray)
{
    std::uint8_t* bits = m_bitsPointer;
    if (!bits)
        return;
    const std::int64_t stride = BytesPerScanLine();
    const std::int64_t last = (std::int64_t(Width()) - 1) * 3;
    const std::int32_t height = Height();
    Noise noise;

    if (bGray) {
        // One draw per pixel, pixels in memory order.
        for (std::int32_t y = 0; y < height; ++y) {
            std::uint8_t* row = bits + y * stride;
            for (std::int64_t x = 0; x <= last; x += 3) {
                const std::uint8_t v = noise.next();
                row[x] = v;
                row[x + 1] = v;
                row[x + 2] = v;
            }
        }
        return;
    }
    // Coloured: blue stays 0, green then red drawn; column by column.
    for (std::int64_t x = 0; x <= last; x += 3) {
        for (std::int32_t y = 0; y < height; ++y) {
            std::uint8_t* pixel = bits + y * stride + x;
            pixel[0] = 0;
            pixel[1] = noise.next();
            pixel[2] = noise.next();
        }
    }
}
