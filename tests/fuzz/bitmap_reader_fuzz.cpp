// Arbitrary bytes as the snapshot cycle's frame bitmap. The loader must not
// crash or touch memory outside its buffers, and a picture it returns must
// have a size the file can account for. For the 24-bit uncompressed layout
// the capture control writes, the corner pixels must be the file's bytes.
#include "FuzzSupport.h"

#include "image/BitmapReader.h"

#include <QImage>
#include <QImageReader>
#include <QLoggingCategory>
#include <QString>

#include <cstdint>
#include <string>

namespace {

uint32_t get32(const uint8_t* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

uint16_t get16(const uint8_t* at)
{
    return uint16_t(at[0] | at[1] << 8);
}

struct Header {
    bool present = false;
    bool uncompressed = false;
    uint32_t pixelOffset = 0;
    uint32_t infoBytes = 0;
    int64_t width = 0;
    int64_t height = 0; // negative: rows stored top-down
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
};

Header parseHeader(const uint8_t* data, size_t size)
{
    Header header;
    if (size < 54 || data[0] != 'B' || data[1] != 'M')
        return header;
    header.present = true;
    header.pixelOffset = get32(data + 10);
    header.infoBytes = get32(data + 14);
    if (header.infoBytes < 40) {
        // Qt takes every smaller header for the OS/2 core one: 16-bit sizes, never compressed.
        header.width = get16(data + 18);
        header.height = get16(data + 20);
        header.planes = get16(data + 22);
        header.bitCount = get16(data + 24);
        header.uncompressed = true;
        return header;
    }
    header.width = int32_t(get32(data + 18));
    header.height = int32_t(get32(data + 22));
    header.planes = get16(data + 26);
    header.bitCount = get16(data + 28);
    header.compression = get32(data + 30);
    // No compression, or plain pixels with colour masks (BI_BITFIELDS, BI_ALPHABITFIELDS).
    header.uncompressed = header.compression == 0 || header.compression == 3 || header.compression == 6;
    return header;
}

int64_t rowBytes24(int64_t width)
{
    return (width * 3 + 3) & ~int64_t(3);
}

// The layout the capture control writes, complete in the file.
bool isWholeFrameBitmap(const Header& header, size_t size)
{
    if (!header.present || header.infoBytes < 40 || header.planes != 1 || header.bitCount != 24
        || header.compression != 0 || header.width <= 0 || header.width > 32767 || header.height == 0
        || header.height < -32767 || header.height > 32767 || header.pixelOffset < 14 + int64_t(header.infoBytes))
        return false;
    const int64_t rows = header.height < 0 ? -header.height : header.height;
    return int64_t(header.pixelOffset) + rowBytes24(header.width) * rows <= int64_t(size);
}

void checkFramePixels(const QImage& image, const Header& header, const uint8_t* data)
{
    const int64_t rows = header.height < 0 ? -header.height : header.height;
    FUZZ_CHECK(image.width() == header.width && image.height() == rows);
    FUZZ_CHECK(image.format() == QImage::Format_BGR888);
    for (const int y : {0, image.height() - 1}) {
        for (const int x : {0, image.width() - 1}) {
            // Rows are stored bottom-up unless the height is negative.
            const int64_t storedRow = header.height > 0 ? rows - 1 - y : y;
            const uint8_t* stored = data + header.pixelOffset + storedRow * rowBytes24(header.width) + x * 3;
            const uchar* shown = image.constScanLine(y) + x * 3;
            FUZZ_CHECK(shown[0] == stored[0] && shown[1] == stored[1] && shown[2] == stored[2]);
        }
    }
}

// Without compression every pixel has its bits in the file: a picture larger
// than the file holds was made up (a short file filled with black). Run-length
// coded bitmaps may describe large pictures in few bytes; then only the
// reader's allocation limit bounds them.
void checkPlausibleSize(const QImage& image, const Header& header, size_t size)
{
    FUZZ_CHECK(image.width() > 0 && image.height() > 0);
    const int64_t pixels = int64_t(image.width()) * image.height();
    const int64_t limitBytes = int64_t(QImageReader::allocationLimit()) * 1024 * 1024;
    FUZZ_CHECK(limitBytes <= 0 || image.sizeInBytes() <= limitBytes);
    if (header.present && header.uncompressed && header.bitCount > 0) {
        if (pixels * header.bitCount > int64_t(size) * 8) {
            std::fprintf(stderr, "%dx%d at %d bits from %zu bytes\n", image.width(), image.height(),
                         header.bitCount, size);
            FUZZ_CHECK(pixels * header.bitCount <= int64_t(size) * 8);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string dir = fuzz::makeTempDir();
    static const std::string path = dir + "/VelmarixCamImage.bmp";
    static const QString qpath = QString::fromStdString(path);
    // Qt notes every picture it refuses as too large; thousands of lines a second.
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio=false"));
        return true;
    }();
    (void)quiet;

    FUZZ_CHECK(fuzz::writeFile(path, reinterpret_cast<const char*>(data), size));
    const QImage image = readBitmapFile(qpath);
    const Header header = parseHeader(data, size);
    if (isWholeFrameBitmap(header, size)) {
        // The capture control's own layout, complete: it must be read.
        FUZZ_CHECK(!image.isNull());
        checkFramePixels(image, header, data);
    }
    if (!image.isNull())
        checkPlausibleSize(image, header, size);
    return 0;
}
