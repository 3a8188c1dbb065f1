#include "image/PictureStream.h"

#include "image/CameraPixels.h"
#include "image/PictureApply.h"

#include <turbojpeg.h>

#include <linux/videodev2.h>

#include <climits>

PictureStream::~PictureStream()
{
    if (m_compressor)
        tjDestroy(m_compressor);
}

PictureStream::Road PictureStream::fromJpeg(const unsigned char* jpeg, std::size_t size, const PictureOptions& options,
                                            std::time_t when, int quality, QByteArray* out)
{
    if (!needed(options))
        return Road::AsItCame;
    if (size > std::size_t(LLONG_MAX))
        return Road::Failed;
    // Decoded no larger than the stream needs: TurboJPEG's scaled decode
    // costs far less than a full one for a small stream.
    // The stream's width is the camera's height once turned a quarter.
    QSize atLeast;
    if (options.streamWidth > 0)
        atLeast = options.rotation % 180 ? QSize(1, options.streamWidth) : QSize(options.streamWidth, 1);
    const QImage picture = decodeJpeg(jpeg, qint64(size), atLeast);
    if (picture.isNull())
        return Road::Failed;
    return fromPicture(picture, options, when, quality, out) ? Road::Reencoded : Road::Failed;
}

PictureStream::Road PictureStream::fromFrame(quint32 fourcc, const QSize& size, qint64 bytesPerLine,
                                             const QByteArray& bytes, const QImage& picture,
                                             const PictureOptions& options, std::time_t when, int quality,
                                             QByteArray* out)
{
    if (!needed(options))
        return Road::AsItCame;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    QImage made = picture;
    if (made.isNull()) {
        switch (fourcc) {
        case V4L2_PIX_FMT_MJPEG:
        case V4L2_PIX_FMT_JPEG:
            return fromJpeg(data, std::size_t(bytes.size()), options, when, quality, out);
        case V4L2_PIX_FMT_YUYV:
            made = yuyvToImage(data, bytes.size(), size, bytesPerLine);
            break;
        case V4L2_PIX_FMT_NV12:
            made = nv12ToImage(data, bytes.size(), size, bytesPerLine);
            break;
        case V4L2_PIX_FMT_YUV420:
            made = yu12ToImage(data, bytes.size(), size, bytesPerLine);
            break;
        case V4L2_PIX_FMT_BGR24:
        case V4L2_PIX_FMT_RGB24:
            // Borrowed, not copied: the options' first step makes a new picture.
            if (size.isValid() && bytesPerLine >= qint64(size.width()) * 3
                && bytes.size() >= bytesPerLine * (size.height() - 1) + qint64(size.width()) * 3)
                made = QImage(data, size.width(), size.height(), bytesPerLine,
                              fourcc == V4L2_PIX_FMT_BGR24 ? QImage::Format_BGR888 : QImage::Format_RGB888);
            break;
        default:
            break;
        }
    }
    return fromPicture(made, options, when, quality, out) ? Road::Reencoded : Road::Failed;
}

bool PictureStream::fromPicture(const QImage& picture, const PictureOptions& options, std::time_t when, int quality,
                                QByteArray* out)
{
    if (picture.isNull() || !out)
        return false;
    return encode(applyStreamPicture(picture, options, when), quality, out);
}

bool PictureStream::encode(const QImage& picture, int quality, QByteArray* out)
{
    if (!m_compressor)
        m_compressor = tjInitCompress();
    if (!m_compressor || quality < 1 || quality > 100)
        return false;
    // The smooth scale gives 32-bit pixels; anything else goes as BGR.
    QImage pixels = picture;
    int format = TJPF_BGRX;
    if (pixels.format() != QImage::Format_RGB32 && pixels.format() != QImage::Format_ARGB32) {
        if (pixels.format() != QImage::Format_BGR888)
            pixels = pixels.convertToFormat(QImage::Format_BGR888);
        format = TJPF_BGR;
    }
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int status = tjCompress2(static_cast<tjhandle>(m_compressor), pixels.constBits(), pixels.width(),
                                   int(pixels.bytesPerLine()), pixels.height(), format, &jpeg, &size, TJSAMP_420,
                                   quality, 0);
    const bool ok = status == 0 && jpeg && size > 0 && size <= static_cast<unsigned long>(INT_MAX);
    if (ok)
        *out = QByteArray(reinterpret_cast<const char*>(jpeg), qsizetype(size));
    tjFree(jpeg);
    return ok;
}
