#include "image/PixelBlit.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

// A surface inside a larger buffer whose margins are guard bytes: any write
// outside the surface shows up in them.
struct GuardedSurface {
    static constexpr int kGuard = 64;
    static constexpr std::uint8_t kGuardByte = 0xEE;
    std::vector<std::uint8_t> buffer;
    Surface surface;

    GuardedSurface(int width, int height, PixelFormat format, bool bottomUp, std::uint8_t seed)
    {
        const int bpp = format == PixelFormat::Bgrx32 ? 4 : 3;
        const int stride = (width * bpp + 3) & ~3;
        buffer.assign(static_cast<std::size_t>(stride * height + 2 * kGuard), kGuardByte);
        surface = Surface{buffer.data() + kGuard, width, height, stride, format, bottomUp};
        for (int i = 0; i < stride * height; ++i)
            surface.bits[i] = static_cast<std::uint8_t>(seed + i * 7);
    }

    bool guardsIntact() const
    {
        for (int i = 0; i < kGuard; ++i)
            if (buffer[i] != kGuardByte || buffer[buffer.size() - 1 - i] != kGuardByte)
                return false;
        return true;
    }
};

const std::uint8_t* pixel(const Surface& s, int x, int y)
{
    const int bpp = s.format == PixelFormat::Bgrx32 ? 4 : 3;
    const int row = s.bottomUp ? s.height - 1 - y : y;
    return s.bits + row * s.stride + x * bpp;
}

// Blue, green, red of a pixel whatever the layout.
std::array<std::uint8_t, 3> colourOf(const Surface& s, int x, int y)
{
    const std::uint8_t* p = pixel(s, x, y);
    if (s.format == PixelFormat::Rgb24)
        return {p[2], p[1], p[0]};
    return {p[0], p[1], p[2]};
}

struct BlitCase {
    const char* name;
    int destX, destY, width, height, srcX, srcY;
};

} // namespace

class BlitClipTest : public ::testing::TestWithParam<BlitCase> {};

// Checked pixel by pixel against the plain definition: a destination pixel
// changes exactly when it lies in the block and its source pixel exists.
TEST_P(BlitClipTest, CopiesExactlyTheOverlap)
{
    const BlitCase c = GetParam();
    for (PixelFormat from : {PixelFormat::Bgr24, PixelFormat::Rgb24, PixelFormat::Bgrx32})
        for (PixelFormat to : {PixelFormat::Bgr24, PixelFormat::Bgrx32}) {
            SCOPED_TRACE(int(from) * 10 + int(to));
            GuardedSurface src(7, 5, from, false, 1);
            GuardedSurface dest(6, 4, to, true, 100);
            GuardedSurface destBefore(6, 4, to, true, 100);

            ASSERT_TRUE(blitSurfaces(dest.surface, c.destX, c.destY, c.width, c.height, src.surface, c.srcX,
                                     c.srcY));
            EXPECT_TRUE(dest.guardsIntact());
            EXPECT_TRUE(src.guardsIntact());
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 6; ++x) {
                    const long long sx = static_cast<long long>(x) - c.destX + c.srcX;
                    const long long sy = static_cast<long long>(y) - c.destY + c.srcY;
                    const bool inBlock = x >= c.destX && y >= c.destY
                        && x < static_cast<long long>(c.destX) + c.width
                        && y < static_cast<long long>(c.destY) + c.height;
                    const bool copied = inBlock && sx >= 0 && sy >= 0 && sx < 7 && sy < 5;
                    const auto want = copied ? colourOf(src.surface, int(sx), int(sy))
                                             : colourOf(destBefore.surface, x, y);
                    EXPECT_EQ(colourOf(dest.surface, x, y), want) << "at " << x << "," << y;
                    if (copied && to == PixelFormat::Bgrx32) {
                        EXPECT_EQ(pixel(dest.surface, x, y)[3], 0xFF);
                    }
                }
        }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BlitClipTest,
    ::testing::Values(BlitCase{"Inside", 1, 1, 3, 2, 2, 1}, BlitCase{"Whole", 0, 0, 6, 4, 0, 0},
                      BlitCase{"NegativeDest", -2, -1, 5, 4, 0, 0}, BlitCase{"NegativeSource", 0, 0, 6, 4, -3, -2},
                      BlitCase{"PastDestEnd", 4, 3, 10, 10, 0, 0}, BlitCase{"PastSourceEnd", 0, 0, 6, 4, 5, 4},
                      BlitCase{"Outside", 6, 4, 3, 3, 0, 0}, BlitCase{"ZeroSize", 0, 0, 0, 4, 0, 0},
                      BlitCase{"NegativeSize", 0, 0, -1, -1, 0, 0},
                      BlitCase{"HugeSize", 0, 0, INT_MAX, INT_MAX, 1, 1},
                      BlitCase{"HugeOffsets", INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MAX, INT_MAX},
                      BlitCase{"NearLimits", INT_MIN + 2, 0, INT_MAX, 4, INT_MIN, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PixelBlit, OverlappingCopyWithinOneSurface)
{
    GuardedSurface one(6, 4, PixelFormat::Bgr24, true, 3);
    GuardedSurface copy(6, 4, PixelFormat::Bgr24, true, 3);
    ASSERT_TRUE(blitSurfaces(one.surface, 1, 1, 5, 3, one.surface, 0, 0));
    for (int y = 1; y < 4; ++y)
        for (int x = 1; x < 6; ++x)
            EXPECT_EQ(colourOf(one.surface, x, y), colourOf(copy.surface, x - 1, y - 1));
    EXPECT_EQ(colourOf(one.surface, 0, 0), colourOf(copy.surface, 0, 0));
    EXPECT_TRUE(one.guardsIntact());
}

TEST(PixelBlit, RefusesUnwritableLayoutsAndInvalidSurfaces)
{
    GuardedSurface src(3, 3, PixelFormat::Bgr24, false, 1);
    GuardedSurface rgb(3, 3, PixelFormat::Rgb24, false, 1);
    EXPECT_FALSE(blitSurfaces(rgb.surface, 0, 0, 3, 3, src.surface, 0, 0));
    EXPECT_FALSE(blitSurfaces(Surface{}, 0, 0, 3, 3, src.surface, 0, 0));
    EXPECT_FALSE(blitSurfaces(src.surface, 0, 0, 3, 3, Surface{}, 0, 0));
}
