#include "image/BitmapReader.h"

#include "core/io/FdIo.h"
#include "core/io/UniqueFd.h"
#include "image/DibTypes.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int headerBytes = 54;
// Far above any camera; keeps every size computation well inside 64 bits.
constexpr int32_t maxSide = 32767;

uint32_t get32(const uint8_t* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

uint16_t get16(const uint8_t* at)
{
    return uint16_t(at[0] | at[1] << 8);
}

// True when an uncompressed bitmap's header promises more pixel rows than
// the file holds after its headers. A palette or colour masks are not
// counted, so that no complete file is ever refused. Run-length coded
// bitmaps may describe any size in a few bytes and are left to Qt.
bool lacksPixelRows(const uint8_t* header, size_t available, int64_t fileSize)
{
    constexpr int64_t coreHeaders = 14 + 12;
    if (available < size_t(coreHeaders) || header[0] != 'B' || header[1] != 'M')
        return false;
    const uint32_t infoBytes = get32(header + 14);
    int64_t headers = coreHeaders;
    int64_t width = 0;
    int64_t height = 0;
    int64_t bitCount = 0;
    if (infoBytes < 40) {
        // Qt reads every smaller header as the OS/2 core one: 16-bit sizes, never compressed.
        width = int16_t(get16(header + 18));
        height = int16_t(get16(header + 20));
        bitCount = get16(header + 24);
    } else if (available >= 34) {
        // BI_RGB, BI_BITFIELDS and BI_ALPHABITFIELDS store every pixel as it is.
        const uint32_t compression = get32(header + 30);
        if (compression != 0 && compression != 3 && compression != 6)
            return false;
        headers = 14 + int64_t(infoBytes);
        width = int32_t(get32(header + 18));
        height = int32_t(get32(header + 22));
        bitCount = get16(header + 28);
    } else {
        return false;
    }
    if (fileSize < headers)
        return true;
    const int64_t rowBytes = (std::abs(width) * bitCount + 31) / 32 * 4;
    return rowBytes > 0 && std::abs(height) > (fileSize - headers) / rowBytes;
}

enum class Outcome { Read, NotOurLayout, Failed };

Outcome readOwnLayout(const QString& path, QImage* out)
{
    const UniqueFd file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (!file.isValid())
        return Outcome::Failed;
    struct stat info{};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return Outcome::Failed;
    uint8_t header[headerBytes] = {};
    const size_t headerRead = size_t(std::min<off_t>(info.st_size, headerBytes));
    if (!readFullyAt(file.get(), header, headerRead, 0))
        return Outcome::Failed;
    // Qt's reader fills the rows a short file lacks with black; a frame cut
    // short must give no picture, whatever its layout.
    if (lacksPixelRows(header, headerRead, info.st_size))
        return Outcome::Failed;
    if (headerRead < size_t(headerBytes))
        return Outcome::NotOurLayout;

    const uint8_t* dib = header + 14;
    const uint32_t pixelOffset = get32(header + 10);
    const uint32_t infoBytes = get32(dib);
    const int32_t width = int32_t(get32(dib + 4));
    const int32_t rawHeight = int32_t(get32(dib + 8));
    if (header[0] != 'B' || header[1] != 'M' || infoBytes < 40 || get16(dib + 12) != 1 || get16(dib + 14) != 24
        || get32(dib + 16) != 0 || width <= 0 || width > maxSide || rawHeight == 0 || rawHeight < -maxSide
        || rawHeight > maxSide || pixelOffset < 14 + infoBytes)
        return Outcome::NotOurLayout;

    const bool bottomUp = rawHeight > 0;
    const int height = bottomUp ? rawHeight : -rawHeight;
    const int64_t rowBytes = dibRowBytes(width);
    if (int64_t(pixelOffset) + rowBytes * height > int64_t(info.st_size))
        return Outcome::Failed; // truncated: a reader that fills the rest with black would hide it

    QImage image(width, height, QImage::Format_BGR888);
    if (image.isNull() || image.bytesPerLine() != rowBytes)
        return Outcome::NotOurLayout;
    uint8_t* bits = image.bits();
    if (!readFullyAt(file.get(), bits, size_t(rowBytes * height), off_t(pixelOffset)))
        return Outcome::Failed;
    if (bottomUp) {
        std::vector<uint8_t> spare(static_cast<size_t>(rowBytes));
        for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
            uint8_t* a = bits + int64_t(top) * rowBytes;
            uint8_t* b = bits + int64_t(bottom) * rowBytes;
            std::memcpy(spare.data(), a, size_t(rowBytes));
            std::memcpy(a, b, size_t(rowBytes));
            std::memcpy(b, spare.data(), size_t(rowBytes));
        }
    }
    *out = std::move(image);
    return Outcome::Read;
}

} // namespace

QImage readBitmapFile(const QString& path)
{
    QImage image;
    switch (readOwnLayout(path, &image)) {
    case Outcome::Read:
        return image;
    case Outcome::NotOurLayout:
        image.load(path, "BMP");
        return image;
    case Outcome::Failed:
        break;
    }
    return {};
}
