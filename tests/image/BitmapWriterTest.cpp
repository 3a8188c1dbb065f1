#include "image/BitmapReader.h"
#include "image/BitmapWriter.h"
#include "image/DibTypes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

namespace {

// Every pixel different, so a swapped channel, a mirrored row or a shifted
// padding byte shows up.
QColor patternAt(int x, int y)
{
    return QColor((x * 37 + y * 11) % 256, (x * 5 + y * 53) % 256, (x * 91 + y * 7 + 128) % 256);
}

QImage patternImage(int width, int height, QImage::Format format)
{
    QImage image(width, height, format);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, patternAt(x, y));
    return image;
}

// A little-endian field of the file, as the host reads it.
template <typename T>
T field(const QByteArray& bytes, int at)
{
    T v = 0;
    std::memcpy(&v, bytes.constData() + at, sizeof v);
    return v;
}

struct BitmapCase {
    int width;
    QImage::Format format;
};

class BitmapWriterRoundTrip : public ::testing::TestWithParam<BitmapCase> {};

TEST_P(BitmapWriterRoundTrip, QtAndOurReaderReadBackEveryPixelUpright)
{
    const BitmapCase c = GetParam();
    const int height = 7;
    QTemporaryDir dir;
    const QString path = dir.filePath("frame.bmp");
    std::vector<uint8_t> buffer;
    const QImage source = patternImage(c.width, height, c.format);

    QString error;
    ASSERT_TRUE(writeBitmapFile(source, path, buffer, &error)) << error.toStdString();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const int rowBytes = int(dibRowBytes(c.width));
    ASSERT_EQ(bytes.size(), 54 + rowBytes * height);
    EXPECT_EQ(bytes.left(2), QByteArray("BM"));
    EXPECT_EQ(field<uint32_t>(bytes, 2), uint32_t(bytes.size()));
    EXPECT_EQ(field<uint32_t>(bytes, 10), 54u);
    EXPECT_EQ(field<uint32_t>(bytes, 14), 40u);
    EXPECT_EQ(int32_t(field<uint32_t>(bytes, 22)), height) << "positive height: bottom-up rows";
    EXPECT_EQ(field<uint16_t>(bytes, 28), 24);
    EXPECT_EQ(field<uint32_t>(bytes, 30), 0u);
    // The first stored row is the picture's bottom row, blue first.
    const QColor bottomLeft = patternAt(0, height - 1);
    EXPECT_EQ(uint8_t(bytes[54]), bottomLeft.blue());
    EXPECT_EQ(uint8_t(bytes[55]), bottomLeft.green());
    EXPECT_EQ(uint8_t(bytes[56]), bottomLeft.red());
    for (int pad = c.width * 3; pad < rowBytes; ++pad)
        EXPECT_EQ(bytes[54 + pad], '\0');

    QImage loaded;
    ASSERT_TRUE(loaded.load(path));
    ASSERT_EQ(loaded.size(), QSize(c.width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < c.width; ++x)
            ASSERT_EQ(loaded.pixelColor(x, y), patternAt(x, y)) << "at " << x << "," << y;

    const QImage ours = readBitmapFile(path);
    ASSERT_EQ(ours.format(), QImage::Format_BGR888);
    EXPECT_EQ(ours, loaded.convertToFormat(QImage::Format_BGR888));
}

INSTANTIATE_TEST_SUITE_P(
    WidthsAndFormats, BitmapWriterRoundTrip,
    ::testing::Values(BitmapCase{1, QImage::Format_BGR888}, BitmapCase{2, QImage::Format_BGR888},
                      BitmapCase{3, QImage::Format_BGR888}, BitmapCase{5, QImage::Format_BGR888},
                      BitmapCase{321, QImage::Format_BGR888}, BitmapCase{5, QImage::Format_RGB888},
                      BitmapCase{321, QImage::Format_RGB888}, BitmapCase{3, QImage::Format_RGB32},
                      BitmapCase{321, QImage::Format_RGB32}, BitmapCase{2, QImage::Format_ARGB32},
                      BitmapCase{5, QImage::Format_RGBX8888}));

TEST(BitmapWriter, ReusedBufferShrinksToTheSmallerFrame)
{
    QTemporaryDir dir;
    std::vector<uint8_t> buffer;
    ASSERT_TRUE(writeBitmapFile(patternImage(321, 9, QImage::Format_BGR888), dir.filePath("a.bmp"), buffer));
    const QImage small = patternImage(2, 2, QImage::Format_BGR888);
    ASSERT_TRUE(writeBitmapFile(small, dir.filePath("a.bmp"), buffer));
    EXPECT_EQ(QFileInfo(dir.filePath("a.bmp")).size(), 54 + 8 * 2);
    QImage loaded(dir.filePath("a.bmp"));
    EXPECT_EQ(loaded.pixelColor(1, 1), patternAt(1, 1));
}

TEST(BitmapWriter, FailuresReportAndLeaveNoFile)
{
    QTemporaryDir dir;
    std::vector<uint8_t> buffer;
    QString error;

    EXPECT_FALSE(writeBitmapFile(QImage(), dir.filePath("null.bmp"), buffer, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath("null.bmp")));

    error.clear();
    const QString missingDir = dir.filePath("no/such/dir/frame.bmp");
    EXPECT_FALSE(writeBitmapFile(patternImage(4, 4, QImage::Format_BGR888), missingDir, buffer, &error));
    EXPECT_TRUE(error.contains(missingDir));

    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.bmp"));
    EXPECT_FALSE(writeBitmapFile(patternImage(4, 4, QImage::Format_BGR888), dir.filePath("taken.bmp"), buffer));
}

} // namespace
