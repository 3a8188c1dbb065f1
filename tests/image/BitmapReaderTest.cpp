#include "image/BitmapReader.h"
#include "image/BitmapWriter.h"
#include "image/DibTypes.h"

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

// A bitmap file of any layout: file header, info header (`infoBytes` long,
// 16-bit sizes when shorter than 40 bytes), palette, pixel bytes.
QByteArray bitmapBytes(int infoBytes, int width, int height, int bitCount, int compression,
                       const QByteArray& palette, const QByteArray& pixels)
{
    QByteArray info(infoBytes, '\0');
    auto put = [&info](int at, uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            info[at + i] = char(value >> (8 * i));
    };
    put(0, uint32_t(infoBytes), 4);
    if (infoBytes < 40) {
        put(4, uint32_t(width), 2);
        put(6, uint32_t(height), 2);
        put(8, 1, 2);
        put(10, uint32_t(bitCount), 2);
    } else {
        put(4, uint32_t(width), 4);
        put(8, uint32_t(height), 4);
        put(12, 1, 2);
        put(14, uint32_t(bitCount), 2);
        put(16, uint32_t(compression), 4);
        if (bitCount <= 8)
            put(32, uint32_t(palette.size() / 4), 4); // colours used
    }
    const uint32_t offset = uint32_t(14 + infoBytes + palette.size());
    QByteArray file("BM");
    for (const uint32_t value : {offset + uint32_t(pixels.size()), 0u, offset})
        file += QByteArray(reinterpret_cast<const char*>(&value), 4);
    return file + info + palette + pixels;
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
    const int rowBytes = int(dibRowBytes(5));
    QByteArray flipped = bytes.left(54);
    for (int row = 3; row >= 0; --row)
        flipped += bytes.mid(54 + row * rowBytes, rowBytes);
    const int32_t negative = -4;
    std::memcpy(flipped.data() + 22, &negative, 4);
    ASSERT_TRUE(putBytes(path, flipped));

    EXPECT_EQ(readBitmapFile(path), source);
}

TEST_F(BitmapReaderTest, ShortBitmapsOfEveryUncompressedLayoutGiveNoPicture)
{
    // Qt's reader would fill the missing rows with black and return a picture
    // of the full size.
    const QByteArray palette = QByteArray::fromHex("000000ff00ff0000");
    struct Case {
        const char* name;
        QByteArray complete;
        int rowBytes;
    };
    const Case cases[] = {
        {"8-bit with palette", bitmapBytes(40, 20, 4, 8, 0, palette, QByteArray(20 * 4, '\1')), 20},
        {"32-bit", bitmapBytes(40, 6, 4, 32, 0, {}, QByteArray(24 * 4, '\x40')), 24},
        {"16-bit with masks", bitmapBytes(40, 10, 4, 16, 3, QByteArray::fromHex("00f80000e00700001f000000"),
                                          QByteArray(20 * 4, '\x1f')), 20},
        {"OS/2 core header", bitmapBytes(12, 5, 3, 24, 0, {}, QByteArray(16 * 3, '\x7f')), 16},
        {"24-bit wider than any camera", bitmapBytes(40, 40000, 1, 24, 0, {}, QByteArray(120000, '\x10')), 120000},
    };
    const QString path = m_dir.filePath("foreign.bmp");
    for (const Case& c : cases) {
        ASSERT_TRUE(putBytes(path, c.complete));
        EXPECT_FALSE(readBitmapFile(path).isNull()) << c.name << " complete";
        ASSERT_TRUE(putBytes(path, c.complete.left(c.complete.size() - c.rowBytes)));
        EXPECT_TRUE(readBitmapFile(path).isNull()) << c.name << " without its last row";
        QByteArray claimsMore = c.complete;
        claimsMore[18 + (c.complete.at(14) < 40 ? 2 : 4)] = char(120); // height
        ASSERT_TRUE(putBytes(path, claimsMore));
        EXPECT_TRUE(readBitmapFile(path).isNull()) << c.name << " claiming 120 rows";
    }

    // Run-length coding describes many pixels in few bytes: still read.
    const QByteArray rle = bitmapBytes(40, 200, 100, 8, 1, palette, QByteArray::fromHex("c801 0001"));
    ASSERT_TRUE(putBytes(path, rle));
    EXPECT_EQ(readBitmapFile(path).size(), QSize(200, 100));
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
