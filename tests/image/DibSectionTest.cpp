#include "FakeDibPlatform.h"
#include "ImageTestSupport.h"

#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <tuple>

namespace {

using Step = FakeDibPlatform::Step;

bool isEmpty(const cDIBSection& dib)
{
    return dib.hdc() == 0 && dib.hDib() == 0 && dib.DIBSectionBitsPtr() == nullptr;
}

bool holdsImage(const cDIBSection& dib)
{
    return dib.hdc() != 0 && dib.hDib() != 0 && dib.DIBSectionBitsPtr() != nullptr;
}

} // namespace

class ScanLineTest : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(ScanLineTest, RowLengthPadAndBlockSize)
{
    const auto [width, rowBytes, pad] = GetParam();
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(width, 3));
    EXPECT_EQ(dib.BytesPerScanLine(), rowBytes);
    EXPECT_EQ(dib.BytesPerScanLine() - width * 3, pad);
    EXPECT_EQ(dib.bitmapInfo().bmiHeader.biSizeImage, static_cast<std::uint32_t>(rowBytes * 3));
    // The block really is that long: its last byte can be written.
    dib.DIBSectionBitsPtr()[rowBytes * 3 - 1] = 0x5A;
}

INSTANTIATE_TEST_SUITE_P(Widths, ScanLineTest,
                         ::testing::Values(std::make_tuple(1, 4, 1), std::make_tuple(2, 8, 2),
                                           std::make_tuple(3, 12, 3), std::make_tuple(4, 12, 0),
                                           std::make_tuple(5, 16, 1), std::make_tuple(640, 1920, 0),
                                           std::make_tuple(321, 964, 1)));

TEST(DibSection, HeaderOfA640x480Image)
{
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(640, 480));
    BitmapInfo expected;
    expected.bmiHeader = BitmapInfoHeader{40, 640, 480, 1, 24, 0, 921600, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&dib.bitmapInfo(), &expected, sizeof expected), 0);
}

TEST(DibSection, OverflowingSizesAreRaisedAndLeaveNothingBehind)
{
    FakeDibPlatform platform;
    cDIBSection dib(platform);
    // 715,827,882 * 3 + 3 passes 2^31 - 1.
    EXPECT_THROW(dib.Create(715827882, 1), std::overflow_error);
    EXPECT_TRUE(isEmpty(dib));
    EXPECT_THROW(dib.BytesPerScanLine(), std::overflow_error);
    // The widest row that fits, twice: the block size passes 32 bits.
    EXPECT_THROW(dib.Create(715827881, 2), std::overflow_error);
    EXPECT_EQ(dib.BytesPerScanLine(), 2147483644);
    EXPECT_TRUE(isEmpty(dib));
    EXPECT_EQ(platform.liveObjectCount(), 0u);
    // Once is fine for the arithmetic; the section is refused by the fake.
    platform.failing = Step::DibSection;
    EXPECT_FALSE(dib.Create(715827881, 1));
    EXPECT_EQ(dib.bitmapInfo().bmiHeader.biSizeImage, 2147483644u);
}

TEST(DibSection, ClearUpKeepsTheSizeAndNothingLeaks)
{
    MemoryDibPlatform platform;
    {
        cDIBSection dib(platform);
        for (int size = 1; size <= 20; ++size) {
            ASSERT_TRUE(dib.Create(size, 21 - size));
            ASSERT_TRUE(holdsImage(dib));
            EXPECT_EQ(platform.liveObjectCount(), 2u);
        }
        dib.ClearUp();
        EXPECT_TRUE(isEmpty(dib));
        EXPECT_EQ(dib.Width(), 20);
        EXPECT_EQ(dib.Height(), 1);
        dib.ClearUp();
        EXPECT_EQ(platform.liveObjectCount(), 0u);
        dib.CreateFromPicture(QImage(9, 4, QImage::Format_RGB32));
        EXPECT_EQ(platform.liveObjectCount(), 2u);
    }
    EXPECT_EQ(platform.liveObjectCount(), 0u);
}

class CreateFailureTest : public ::testing::TestWithParam<std::tuple<int, int, Step>> {};

// The header reports the size asked for, unless the failure came before it was written.
TEST_P(CreateFailureTest, LeavesTheObjectEmpty)
{
    const auto [width, height, step] = GetParam();
    FakeDibPlatform platform;
    cDIBSection dib(platform);
    ASSERT_TRUE(dib.Create(3, 3));
    platform.failing = step;
    EXPECT_FALSE(dib.Create(width, height));
    EXPECT_TRUE(isEmpty(dib));
    EXPECT_EQ(dib.Width(), step == Step::MemoryDc ? 3 : width);
    EXPECT_EQ(dib.Height(), step == Step::MemoryDc ? 3 : height);
    EXPECT_EQ(platform.liveObjectCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, CreateFailureTest,
                         ::testing::Values(std::make_tuple(10, 10, Step::MemoryDc),
                                           std::make_tuple(10, 10, Step::DibSection),
                                           std::make_tuple(0, 10, Step::None), std::make_tuple(10, 0, Step::None),
                                           std::make_tuple(-4, 10, Step::None),
                                           std::make_tuple(10, -4, Step::None)));

// Each step of CreateFromPicture made to fail: before the image exists the
// object stays empty; after it, the image keeps its size but isn't filled.
class PictureFailureTest : public ::testing::TestWithParam<std::tuple<Step, bool>> {};

TEST_P(PictureFailureTest, StopsQuietly)
{
    const auto [step, imageExpected] = GetParam();
    FakeDibPlatform platform;
    QImage picture(8, 6, QImage::Format_RGB32);
    picture.fill(qRgb(10, 20, 30));
    {
        cDIBSection dib(platform);
        platform.failing = step;
        dib.CreateFromPicture(picture);
        EXPECT_EQ(holdsImage(dib), imageExpected);
        if (imageExpected) {
            EXPECT_EQ(dib.Width(), 8);
            EXPECT_EQ(dib.Height(), 6);
            EXPECT_EQ(bgrAt(dib, 3, 3), (Bgr{0, 0, 0}));
            EXPECT_EQ(platform.liveObjectCount(), 2u);
        } else {
            EXPECT_TRUE(isEmpty(dib));
            EXPECT_EQ(platform.liveObjectCount(), 0u);
        }
    }
    EXPECT_EQ(platform.liveObjectCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Steps, PictureFailureTest,
                         ::testing::Values(std::make_tuple(Step::MemoryDc, false),
                                           std::make_tuple(Step::DibSection, false),
                                           std::make_tuple(Step::ScreenDc, true), std::make_tuple(Step::TempDc, true)));

TEST(DibSection, NullPictureGivesSizeZeroAndNoImage)
{
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(4, 4));
    dib.CreateFromPicture(QImage());
    EXPECT_TRUE(isEmpty(dib));
    EXPECT_EQ(dib.Width(), 0);
    EXPECT_EQ(dib.Height(), 0);
    dib.CreateFromPicture(QPixmap());
    EXPECT_TRUE(isEmpty(dib));
}

// A picture with a distinct top row and distinct columns, converted to many
// formats: the image must hold the picture's own colours (as Qt renders the
// format) with the top row in the last row of memory.
class PictureFormatTest : public ::testing::TestWithParam<QImage::Format> {};

TEST_P(PictureFormatTest, CopiesPixelsBottomUp)
{
    const int width = 13, height = 7;
    QImage reference(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            reference.setPixel(x, y, y == 0 ? qRgb(255, 0, 0) : qRgb(x * 19, 255 - x * 19, y * 36));
    const QImage picture = reference.convertToFormat(GetParam());
    const QImage expected = picture.convertToFormat(QImage::Format_RGB32);

    cDIBSection dib;
    dib.CreateFromPicture(picture);
    ASSERT_TRUE(holdsImage(dib));
    ASSERT_EQ(dib.Width(), width);
    ASSERT_EQ(dib.Height(), height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const QRgb want = expected.pixel(x, y);
            EXPECT_EQ(bgrAt(dib, x, y), (Bgr{std::uint8_t(qBlue(want)), std::uint8_t(qGreen(want)),
                                             std::uint8_t(qRed(want))}))
                << "at " << x << "," << y;
        }
    // The top row is the last row in memory.
    const std::uint8_t* lastRow = dib.DIBSectionBitsPtr() + (height - 1) * dib.BytesPerScanLine();
    const QRgb top = expected.pixel(5, 0);
    EXPECT_EQ(lastRow[5 * 3 + 2], qRed(top));
}

INSTANTIATE_TEST_SUITE_P(Formats, PictureFormatTest,
                         ::testing::Values(QImage::Format_RGB32, QImage::Format_ARGB32,
                                           QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888,
                                           QImage::Format_BGR888, QImage::Format_Indexed8,
                                           QImage::Format_Grayscale8, QImage::Format_RGB16,
                                           QImage::Format_RGBA8888, QImage::Format_Mono));

TEST(DibSection, PixmapGivesTheSameCopy)
{
    QImage picture(5, 3, QImage::Format_RGB32);
    picture.fill(qRgb(1, 2, 3));
    picture.setPixel(0, 0, qRgb(200, 100, 50));
    cDIBSection dib;
    dib.CreateFromPicture(QPixmap::fromImage(picture));
    ASSERT_TRUE(holdsImage(dib));
    EXPECT_EQ(bgrAt(dib, 0, 0), (Bgr{50, 100, 200}));
    EXPECT_EQ(bgrAt(dib, 4, 2), (Bgr{3, 2, 1}));
}

TEST(DibSection, BlockCopiesUsePictureCoordinatesAndSizeRules)
{
    cDIBSection source;
    ASSERT_TRUE(source.Create(4, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            setBgr(source, x, y, Bgr{std::uint8_t(x), std::uint8_t(y), 7});

    cDIBSection whole;
    ASSERT_TRUE(whole.Create(4, 3));
    whole.LoadPictureBlt(source.hdc(), 0, 0, 0, 0, RasterOp::SrcCopy);
    EXPECT_EQ(bgrAt(whole, 3, 2), (Bgr{0, 0, 0}));
    whole.LoadPictureBlt(source.hdc(), 0, 0, -1, -1, RasterOp::SrcCopy);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(bgrAt(whole, x, y), bgrAt(source, x, y));

    // A block from (1, 1) lands at the top-left corner.
    cDIBSection part;
    ASSERT_TRUE(part.Create(4, 3));
    part.LoadPictureBlt(source.hdc(), 1, 1, 2, 2, RasterOp::SrcCopy);
    EXPECT_EQ(bgrAt(part, 0, 0), (Bgr{1, 1, 7}));
    EXPECT_EQ(bgrAt(part, 1, 1), (Bgr{2, 2, 7}));
    EXPECT_EQ(bgrAt(part, 2, 0), (Bgr{0, 0, 0}));

    // Painting source (0, 0) at (2, 1); whatever falls outside is clipped.
    cDIBSection painted;
    ASSERT_TRUE(painted.Create(4, 3));
    source.PaintPicture(painted.hdc(), 2, 1, -1, -1, 0, 0, RasterOp::SrcCopy);
    EXPECT_EQ(bgrAt(painted, 2, 1), (Bgr{0, 0, 7}));
    EXPECT_EQ(bgrAt(painted, 3, 2), (Bgr{1, 1, 7}));
    EXPECT_EQ(bgrAt(painted, 1, 1), (Bgr{0, 0, 0}));
}

TEST(DibSection, EmptyObjectOperationsDoNothing)
{
    FakeDibPlatform platform;
    cDIBSection dib(platform);
    ASSERT_TRUE(dib.Create(6, 6));
    dib.ClearUp();
    cDIBSection other(platform);
    ASSERT_TRUE(other.Create(6, 6));
    dib.LoadPictureBlt(other.hdc(), 0, 0, -1, -1, RasterOp::SrcCopy);
    dib.PaintPicture(other.hdc(), 0, 0, -1, -1, 0, 0, RasterOp::SrcCopy);
    dib.RandomiseBits(true);
    dib.RandomiseBits(false);
    EXPECT_EQ(dib.Resample(3, 3), nullptr);
    EXPECT_FALSE(dib.CopyToClipboard(false));
    EXPECT_TRUE(isEmpty(dib));
    EXPECT_EQ(bgrAt(other, 0, 0), (Bgr{0, 0, 0}));
    EXPECT_EQ(platform.liveObjectCount(), 2u);
}
