#include "StreamTestSupport.h"

#include "http/stream/StreamResponse.h"
#include "image/JpegEncoder.h"

#include <algorithm>
#include <random>
#include <vector>

namespace {

QByteArray encode(const std::vector<std::uint8_t>& pixels, int width, int pitch, int height)
{
    JpegEncoder encoder;
    const std::uint8_t* jpeg = nullptr;
    std::size_t size = 0;
    if (!encoder.ensureReady() || !encoder.encodeBottomUpBgr(pixels.data(), width, pitch, height, 75, &jpeg, &size))
        return {};
    return QByteArray(reinterpret_cast<const char*>(jpeg), static_cast<qsizetype>(size));
}

} // namespace

QByteArray noiseJpeg(int width, int height, unsigned seed)
{
    const int pitch = (width * 3 + 3) & ~3;
    std::vector<std::uint8_t> pixels(static_cast<size_t>(pitch) * height);
    std::mt19937 random(seed);
    for (auto& byte : pixels)
        byte = static_cast<std::uint8_t>(random());
    return encode(pixels, width, pitch, height);
}

QByteArray patchJpeg(int width, int height, unsigned seed)
{
    const int pitch = (width * 3 + 3) & ~3;
    std::vector<std::uint8_t> pixels(static_cast<size_t>(pitch) * height, 128);
    std::mt19937 random(seed);
    const int side = std::min({64, width, height});
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side * 3; ++x)
            pixels[static_cast<size_t>(y) * pitch + x] = static_cast<std::uint8_t>(random());
    return encode(pixels, width, pitch, height);
}

ParsedStream parseStream(const QByteArray& received)
{
    ParsedStream result;
    const qsizetype headEnd = received.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        result.exact = false;
        return result;
    }
    result.head = received.left(headEnd + 4);
    qsizetype at = headEnd + 4;
    const QByteArray start = QByteArray("--") + kStreamBoundary + "\r\nContent-Type: image/jpeg\r\nContent-Length: ";
    while (at < received.size()) {
        if (received.size() - at < start.size())
            break;
        if (received.mid(at, start.size()) != start) {
            result.exact = false;
            break;
        }
        const qsizetype headerEnd = received.indexOf("\r\n\r\n", at + start.size());
        if (headerEnd < 0)
            break;
        // The length's line, then the capture time's, if any.
        const qsizetype lengthEnd = received.indexOf("\r\n", at + start.size());
        bool ok = false;
        const qsizetype length = received.mid(at + start.size(), lengthEnd - at - start.size()).toLongLong(&ok);
        const QByteArray rest = received.mid(lengthEnd, headerEnd - lengthEnd);
        const QByteArray stamp = "\r\nX-Timestamp: ";
        if (!ok || length <= 0 || (!rest.isEmpty() && !rest.startsWith(stamp))) {
            result.exact = false;
            break;
        }
        const qsizetype body = headerEnd + 4;
        if (received.size() < body + length + 2)
            break;
        if (received.mid(body + length, 2) != "\r\n") {
            result.exact = false;
            break;
        }
        result.parts.append(received.mid(body, length));
        result.timestamps.append(rest.mid(stamp.size()));
        at = body + length + 2;
    }
    return result;
}
