#include "image/BitmapWriter.h"

#include "core/io/FdIo.h"
#include "core/io/UniqueFd.h"
#include "image/DibTypes.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int64_t fileHeaderBytes = 14;
constexpr int64_t infoHeaderBytes = 40;
constexpr int64_t headerBytes = fileHeaderBytes + infoHeaderBytes;

void put16(uint8_t* at, uint16_t value)
{
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}

void put32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = uint8_t(value >> (8 * i));
}

void writeHeaders(uint8_t* at, int width, int height, uint32_t imageBytes)
{
    std::memset(at, 0, headerBytes);
    at[0] = 'B';
    at[1] = 'M';
    put32(at + 2, uint32_t(headerBytes) + imageBytes);
    put32(at + 10, uint32_t(headerBytes));
    uint8_t* info = at + fileHeaderBytes;
    put32(info, uint32_t(infoHeaderBytes));
    put32(info + 4, uint32_t(width));
    put32(info + 8, uint32_t(height)); // positive: rows stored bottom-up
    put16(info + 12, 1);               // planes
    put16(info + 14, 24);              // bits per pixel
    put32(info + 20, imageBytes);      // compression 0 (BI_RGB) at +16
    put32(info + 24, 2835);            // 72 dpi, as most writers put it
    put32(info + 28, 2835);
}

// One stored row from one picture row. The common frame formats are copied
// directly; anything else was converted to BGR888 by the caller.
void storeRow(const uchar* src, QImage::Format format, int width, uint8_t* dst)
{
    switch (format) {
    case QImage::Format_BGR888:
        std::memcpy(dst, src, size_t(width) * 3);
        return;
    case QImage::Format_RGB888:
        for (int x = 0; x < width; ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
        return;
    default: { // Format_RGB32 / ARGB32: 0xAARRGGBB words
        const auto* px = reinterpret_cast<const uint32_t*>(src);
        for (int x = 0; x < width; ++x, dst += 3) {
            const uint32_t v = px[x];
            dst[0] = uint8_t(v);
            dst[1] = uint8_t(v >> 8);
            dst[2] = uint8_t(v >> 16);
        }
        return;
    }
    }
}

bool fail(QString* error, const QString& why)
{
    if (error)
        *error = why;
    return false;
}

} // namespace

bool writeBitmapFile(const QImage& image, const QString& path,
                     std::vector<uint8_t>& buffer, QString* error)
{
    if (image.isNull())
        return fail(error, QStringLiteral("No picture to write"));

    const int width = image.width();
    const int height = image.height();
    const int64_t rowBytes = dibRowBytes(width);
    const int64_t imageBytes = rowBytes * height;
    if (headerBytes + imageBytes > int64_t(UINT32_MAX))
        return fail(error, QStringLiteral("Picture too large for a bitmap file"));

    QImage source = image;
    const QImage::Format format = image.format();
    if (format != QImage::Format_BGR888 && format != QImage::Format_RGB888
        && format != QImage::Format_RGB32 && format != QImage::Format_ARGB32) {
        source = image.convertToFormat(QImage::Format_BGR888);
        if (source.isNull())
            return fail(error, QStringLiteral("Out of memory"));
    }

    const size_t fileBytes = size_t(headerBytes + imageBytes);
    try {
        buffer.resize(fileBytes);
    } catch (const std::bad_alloc&) {
        return fail(error, QStringLiteral("Out of memory"));
    }
    uint8_t* out = buffer.data();
    writeHeaders(out, width, height, uint32_t(imageBytes));

    const int pad = int(rowBytes - int64_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = out + headerBytes + int64_t(height - 1 - y) * rowBytes;
        storeRow(source.constScanLine(y), source.format(), width, row);
        std::memset(row + rowBytes - pad, 0, size_t(pad));
    }

    const QByteArray name = QFile::encodeName(path);
    UniqueFd file(::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file.isValid())
        return fail(error, QStringLiteral("Cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));

    const bool written = writeFully(file.get(), out, fileBytes);
    const int savedErrno = errno;
    const bool closed = ::close(file.release()) == 0;
    if (!written || !closed) {
        ::unlink(name.constData());
        return fail(error, QStringLiteral("Cannot write %1: %2")
                               .arg(path, QString::fromLocal8Bit(std::strerror(written ? errno : savedErrno))));
    }
    return true;
}
