#include "ImageTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

namespace {

// Memory row `row`, byte column `column`: the resampler's own grid.
std::uint8_t& byteAt(const cDIBSection& dib, int row, int column)
{
    return dib.DIBSectionBitsPtr()[static_cast<std::int64_t>(row) * dib.BytesPerScanLine() + column];
}

std::vector<std::uint8_t> blockOf(const cDIBSection& dib)
{
    const std::uint8_t* bits = dib.DIBSectionBitsPtr();
    return {bits, bits + static_cast<std::size_t>(dib.BytesPerScanLine()) * dib.Height()};
}

} // namespace

class HalfwayRowTest : public ::testing::TestWithParam<int> {};

// A source 3 or 5 wide, 2 high, to 2 x 2: scaleY = 0.5 and scaleX = 1 or 2,
// so destination columns sample source columns 0 and 1, or 0 and 2 (a
// reduction by more than half, which blends per pixel rather than per row).
TEST_P(HalfwayRowTest, RoundsHalvesToEven)
{
    const int width = GetParam();
    const int step = (width - 1) / 2;
    cDIBSection source;
    ASSERT_TRUE(source.Create(width, 2));
    // Sampled columns: channel 0 goes 10 -> 11 upwards, channel 1 11 -> 12,
    // channel 2 0 -> 255; then 40 -> 43, 41 -> 41, 90 -> 91. Others: 250.
    const std::uint8_t lower[6] = {10, 11, 0, 40, 41, 90};
    const std::uint8_t upper[6] = {11, 12, 255, 43, 41, 91};
    std::memset(&byteAt(source, 0, 0), 250, static_cast<std::size_t>(width) * 3);
    std::memset(&byteAt(source, 1, 0), 250, static_cast<std::size_t>(width) * 3);
    for (int c = 0; c < 3; ++c) {
        byteAt(source, 0, c) = lower[c];
        byteAt(source, 1, c) = upper[c];
        byteAt(source, 0, step * 3 + c) = lower[3 + c];
        byteAt(source, 1, step * 3 + c) = upper[3 + c];
    }
    fillPadBytes(source, 0xAB);
    const std::vector<std::uint8_t> sourceBefore = blockOf(source);

    const auto result = source.Resample(2, 2);
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(result->Width(), 2);
    ASSERT_EQ(result->Height(), 2);
    // Row 0 is source row 0 at the sampled columns.
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(byteAt(*result, 0, c), lower[c]) << c;
    // Row 1 is the rounded mean: 10.5 -> 10, 11.5 -> 12, 127.5 -> 128,
    // 41.5 -> 42, 41 -> 41, 90.5 -> 90.
    const std::uint8_t mean[6] = {10, 12, 128, 42, 41, 90};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(byteAt(*result, 1, c), mean[c]) << c;
    EXPECT_TRUE(padBytesAre(*result, 0));
    EXPECT_EQ(blockOf(source), sourceBefore);
}

INSTANTIATE_TEST_SUITE_P(Widths, HalfwayRowTest, ::testing::Values(3, 5));

TEST(Resample, TwoByTwoToFourByFourStaysShortOfTheLastColumn)
{
    cDIBSection source;
    ASSERT_TRUE(source.Create(2, 2));
    // Channel 0: 0 and 100 along the bottom row, 40 and 140 on the top row.
    byteAt(source, 0, 0) = 0;
    byteAt(source, 0, 3) = 100;
    byteAt(source, 1, 0) = 40;
    byteAt(source, 1, 3) = 140;
    const auto result = source.Resample(4, 4);
    ASSERT_NE(result, nullptr);
    // Sample points 0, 0.25, 0.5, 0.75 both ways: 10 per row step, 25 per column.
    for (int row = 0; row < 4; ++row)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(byteAt(*result, row, x * 3), 10 * row + 25 * x) << row << "," << x;
}

TEST(Resample, BlendsVerticallyToIntegersBeforeBlendingAcross)
{
    cDIBSection source;
    ASSERT_TRUE(source.Create(2, 2));
    // Halfway up: left 1.5 -> 2, right 3.5 -> 4; halfway across: 3.
    // Blending both ways at once would give 2.5 -> 2.
    byteAt(source, 0, 1) = 1;
    byteAt(source, 1, 1) = 2;
    byteAt(source, 0, 4) = 3;
    byteAt(source, 1, 4) = 4;
    const auto result = source.Resample(4, 4);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(byteAt(*result, 2, 2 * 3 + 1), 3);
    // Across the bottom row (1 to 3) at 0.25, 0.5, 0.75: 1.5, 2, 2.5, all to 2.
    for (int x = 1; x < 4; ++x)
        EXPECT_EQ(byteAt(*result, 0, x * 3 + 1), 2) << x;
}

class UniformResampleTest : public ::testing::TestWithParam<std::tuple<int, int, int, int>> {};

TEST_P(UniformResampleTest, UniformSourceGivesUniformResult)
{
    const auto [width, height, newWidth, newHeight] = GetParam();
    cDIBSection source;
    ASSERT_TRUE(source.Create(width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            setBgr(source, x, y, Bgr{17, 128, 255});
    const auto result = source.Resample(newHeight, newWidth);
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(result->Width(), newWidth);
    ASSERT_EQ(result->Height(), newHeight);
    for (int y = 0; y < newHeight; ++y)
        for (int x = 0; x < newWidth; ++x)
            ASSERT_EQ(bgrAt(*result, x, y), (Bgr{17, 128, 255})) << x << "," << y;
    EXPECT_TRUE(padBytesAre(*result, 0));
}

INSTANTIATE_TEST_SUITE_P(Sizes, UniformResampleTest,
                         ::testing::Values(std::make_tuple(2, 2, 1, 1), std::make_tuple(37, 23, 5, 3),
                                           std::make_tuple(7, 5, 31, 17), std::make_tuple(2, 2, 100, 1),
                                           std::make_tuple(192, 108, 100, 75), std::make_tuple(3, 9, 3, 4)));

TEST(Resample, EqualSizeIsAPlainCopy)
{
    cDIBSection source;
    ASSERT_TRUE(source.Create(5, 3));
    source.RandomiseBits(false);
    fillPadBytes(source, 0xCD);
    const auto result = source.Resample(3, 5);
    ASSERT_NE(result, nullptr);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(bgrAt(*result, x, y), bgrAt(source, x, y));
    EXPECT_TRUE(padBytesAre(*result, 0));
}

class RefusedResampleTest : public ::testing::TestWithParam<std::tuple<int, int, int, int>> {};

TEST_P(RefusedResampleTest, GivesNoImage)
{
    const auto [width, height, newWidth, newHeight] = GetParam();
    cDIBSection source;
    ASSERT_TRUE(source.Create(width, height));
    EXPECT_EQ(source.Resample(newHeight, newWidth), nullptr);
}

// Sources under 2 pixels have no neighbour to blend with; sizes <= 0 can't be made.
INSTANTIATE_TEST_SUITE_P(Cases, RefusedResampleTest,
                         ::testing::Values(std::make_tuple(1, 5, 2, 5), std::make_tuple(5, 1, 5, 2),
                                           std::make_tuple(1, 1, 3, 3), std::make_tuple(4, 4, 0, 4),
                                           std::make_tuple(4, 4, 4, 0), std::make_tuple(4, 4, -2, 3)));

TEST(Resample, OnePixelSourceAtItsOwnSizeIsCopied)
{
    cDIBSection source;
    ASSERT_TRUE(source.Create(1, 1));
    setBgr(source, 0, 0, Bgr{1, 2, 3});
    const auto result = source.Resample(1, 1);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(bgrAt(*result, 0, 0), (Bgr{1, 2, 3}));
}

TEST(Resample, SourceWithoutPixelsGivesNoImage)
{
    cDIBSection source;
    EXPECT_EQ(source.Resample(2, 2), nullptr);
    ASSERT_TRUE(source.Create(4, 4));
    source.ClearUp();
    EXPECT_EQ(source.Resample(2, 2), nullptr);
    EXPECT_EQ(source.Resample(4, 4), nullptr);
}

// At 13,103,685 rows the float scale carries the last sample point onto the
// source's top row; it must be read from the row below with full weight,
// never from a row past the block.
TEST(Resample, ExtremeEnlargementStaysInsideTheSource)
{
    cDIBSection source;
    ASSERT_TRUE(source.Create(2, 2));
    std::memset(&byteAt(source, 1, 0), 200, 6);
    const int rows = 13103685;
    const auto result = source.Resample(rows, 1);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(byteAt(*result, 0, 0), 0);
    EXPECT_EQ(byteAt(*result, rows - 1, 0), 200);
    EXPECT_EQ(byteAt(*result, rows - 1, 2), 200);
}
