#include "capture/BitmapReader.h"
#include "capture/BitmapWriter.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool putBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QImage gradient(int width, int height)
{
    QImage image(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, QColor(x * 40 % 256, y * 30 % 256, (x + y) * 20 % 256));
    return image;
}

class BitmapReaderTest : public ::testing::Test {
protected:
    QString written(const QImage& image)
    {
        const QString path = m_dir.filePath("frame.bmp");
        std::vector<uint8_t> buffer;
        EXPECT_TRUE(writeBitmapFile(image, path, buffer));
        return path;
    }
    QTemporaryDir m_dir;
};

TEST_F(BitmapReaderTest, ReadsTopDownRowsAsStored)
{
    const QImage source = gradient(5, 4);
    const QString path = written(source);
    // Turn the file into a top-down one: negative height, rows reversed.
    QByteArray bytes = fileBytes(path);
    const int rowBytes = int(bitmapRowBytes(5));
    QByteArray flipped = bytes.left(54);
    for (int row = 3; row >= 0; --row)
        flipped += bytes.mid(54 + row * rowBytes, rowBytes);
    const int32_t negative = -4;
    std::memcpy(flipped.data() + 22, &negative, 4);
    ASSERT_TRUE(putBytes(path, flipped));

    EXPECT_EQ(readBitmapFile(path), source);
}

TEST_F(BitmapReaderTest, OtherBitmapKindsGoThroughQtsReader)
{
    QImage indexed(6, 3, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(0, 0, 0), qRgb(255, 0, 0)});
    indexed.fill(1);
    indexed.setPixel(0, 0, 0);
    const QString path = m_dir.filePath("indexed.bmp");
    ASSERT_TRUE(indexed.save(path, "BMP"));

    const QImage read = readBitmapFile(path);
    ASSERT_EQ(read.size(), QSize(6, 3));
    EXPECT_EQ(read.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(read.pixelColor(5, 2), QColor(Qt::red));
}

TEST_F(BitmapReaderTest, BrokenFilesGiveNoPicture)
{
    const QByteArray good = fileBytes(written(gradient(7, 5)));
    ASSERT_FALSE(good.isEmpty());
    const QString path = m_dir.filePath("broken.bmp");

    const QList<QByteArray> broken = {
        QByteArray(),                        // empty
        good.left(20),                       // header cut short
        good.left(good.size() - 1),          // last pixel row cut short
        QByteArray("not a bitmap at all").repeated(10),
    };
    for (const QByteArray& bytes : broken) {
        ASSERT_TRUE(putBytes(path, bytes));
        EXPECT_TRUE(readBitmapFile(path).isNull()) << bytes.size() << " bytes";
    }

    // A header that claims a huge picture in a small file.
    QByteArray huge = good;
    const int32_t side = 30000;
    std::memcpy(huge.data() + 18, &side, 4);
    std::memcpy(huge.data() + 22, &side, 4);
    ASSERT_TRUE(putBytes(path, huge));
    EXPECT_TRUE(readBitmapFile(path).isNull());

    EXPECT_TRUE(readBitmapFile(m_dir.filePath("missing.bmp")).isNull());
    EXPECT_TRUE(readBitmapFile(m_dir.path()).isNull()) << "a directory is no bitmap";
}

} // namespace
