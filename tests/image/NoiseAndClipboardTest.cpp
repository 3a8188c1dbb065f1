#include "FakeDibPlatform.h"
#include "ImageTestSupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>

class NoiseTest : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(NoiseTest, GreyNoiseHasEqualChannelsAndLeavesPadBytes)
{
    const auto [width, height] = GetParam();
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(width, height));
    fillPadBytes(dib, 0xAB);
    dib.RandomiseBits(true);
    std::set<int> values;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Bgr p = bgrAt(dib, x, y);
            ASSERT_EQ(p[0], p[1]);
            ASSERT_EQ(p[1], p[2]);
            values.insert(p[0]);
        }
    EXPECT_TRUE(padBytesAre(dib, 0xAB));
    if (width * height >= 20000) {
        // 0 and 255 each take half a step of the 255: about 1 in 510 draws.
        EXPECT_EQ(*values.begin(), 0);
        EXPECT_EQ(*values.rbegin(), 255);
        EXPECT_GT(values.size(), 250u);
    }
}

TEST_P(NoiseTest, ColourNoiseHasNoBlueAndLeavesPadBytes)
{
    const auto [width, height] = GetParam();
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            setBgr(dib, x, y, Bgr{99, 99, 99});
    fillPadBytes(dib, 0xAB);
    dib.RandomiseBits(false);
    std::set<int> greens, reds;
    int differing = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Bgr p = bgrAt(dib, x, y);
            ASSERT_EQ(p[0], 0);
            greens.insert(p[1]);
            reds.insert(p[2]);
            differing += p[1] != p[2];
        }
    EXPECT_TRUE(padBytesAre(dib, 0xAB));
    if (width * height >= 20000) {
        EXPECT_GT(greens.size(), 250u);
        EXPECT_GT(reds.size(), 250u);
        EXPECT_GT(differing, width * height * 9 / 10); // two draws, not one
        EXPECT_EQ(*greens.begin(), 0);
        EXPECT_EQ(*reds.rbegin(), 255);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, NoiseTest,
                         ::testing::Values(std::make_tuple(1, 3), std::make_tuple(2, 3), std::make_tuple(3, 3),
                                           std::make_tuple(4, 3), std::make_tuple(5, 3),
                                           std::make_tuple(201, 100)));

namespace {

QClipboard* clipboard()
{
    return QGuiApplication::clipboard();
}

} // namespace

TEST(Clipboard, CopiesTheImageUprightAndReplacesThePreviousContent)
{
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(100, 50));
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x)
            setBgr(dib, x, y, y == 0 ? Bgr{0, 0, 255} : Bgr{std::uint8_t(x), std::uint8_t(y), 10});
    clipboard()->setText(QStringLiteral("earlier"));

    EXPECT_TRUE(dib.CopyToClipboard(false));
    const QImage image = clipboard()->image();
    ASSERT_EQ(image.size(), QSize(100, 50));
    EXPECT_EQ(image.pixel(7, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(42, 30), qRgb(10, 30, 42));
    EXPECT_TRUE(clipboard()->text().isEmpty());
}

TEST(Clipboard, AsDibOnlyShowsTheMessage)
{
    FakeDibPlatform platform;
    cDIBSection dib(platform);
    ASSERT_TRUE(dib.Create(10, 10));
    clipboard()->setText(QStringLiteral("untouched"));
    EXPECT_FALSE(dib.CopyToClipboard(true));
    ASSERT_EQ(platform.messages.size(), 1);
    EXPECT_EQ(platform.messages.front(),
              QStringLiteral("I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!"));
    EXPECT_EQ(clipboard()->text(), QStringLiteral("untouched"));
    EXPECT_EQ(platform.liveObjectCount(), 2u);
}

class ClipboardFailureTest : public ::testing::TestWithParam<FakeDibPlatform::Step> {};

// Any failed step gives false and gives back every DC and bitmap.
TEST_P(ClipboardFailureTest, ReturnsFalseAndReleasesEverything)
{
    FakeDibPlatform platform;
    cDIBSection dib(platform);
    ASSERT_TRUE(dib.Create(10, 10));
    clipboard()->setText(QStringLiteral("kept"));
    platform.failing = GetParam();
    EXPECT_FALSE(dib.CopyToClipboard(false));
    EXPECT_EQ(platform.liveObjectCount(), 2u);
    EXPECT_TRUE(platform.messages.isEmpty());
    if (GetParam() != FakeDibPlatform::Step::SetClipboard) {
        EXPECT_EQ(clipboard()->text(), QStringLiteral("kept"));
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, ClipboardFailureTest,
                         ::testing::Values(FakeDibPlatform::Step::ScreenDc, FakeDibPlatform::Step::TempDc,
                                           FakeDibPlatform::Step::CompatibleBitmap,
                                           FakeDibPlatform::Step::OpenClipboard,
                                           FakeDibPlatform::Step::SetClipboard));
