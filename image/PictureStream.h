#pragma once

#include "image/PictureOptions.h"

#include <QByteArray>
#include <QImage>

#include <cstddef>
#include <ctime>

// The picture options by way of a picture, for the stream frames that
// FrameJpeg cannot work on as YUV planes (drawn pictures, RGB bytes, sizes
// the planes cannot take, 4:1:1 JPEGs). Owns its TurboJPEG handle; not
// thread-safe, one per encoding thread.
class PictureStream {
public:
    enum class Road {
        AsItCame,  // nothing to do: the caller sends the camera's JPEG
        Reencoded, // decoded (scaled down by TurboJPEG where it can), drawn on, encoded
        Failed,    // the frame does not decode or encode
    };

    PictureStream() = default;
    ~PictureStream();
    PictureStream(const PictureStream&) = delete;
    PictureStream& operator=(const PictureStream&) = delete;

    // A camera's JPEG frame; *out is set for Reencoded.
    Road fromJpeg(const unsigned char* jpeg, std::size_t size, const PictureOptions& options, std::time_t when,
                  int quality, QByteArray* out);
    // A camera frame in its V4L2 format (MJPEG, YUYV, NV12, YU12, BGR24,
    // RGB24; rows bytesPerLine apart), or `picture` when that is not null.
    Road fromFrame(quint32 fourcc, const QSize& size, qint64 bytesPerLine, const QByteArray& bytes,
                   const QImage& picture, const PictureOptions& options, std::time_t when, int quality,
                   QByteArray* out);
    // A camera frame already made a picture (from YUV or BGR): the options
    // (applyStreamPicture), then one 4:2:0 encode at `quality`.
    bool fromPicture(const QImage& picture, const PictureOptions& options, std::time_t when, int quality,
                     QByteArray* out);

    // Whether a frame needs anything done for the stream.
    static bool needed(const PictureOptions& options) { return options.changesPicture() || options.streamWidth > 0; }

private:
    bool encode(const QImage& picture, int quality, QByteArray* out);

    void* m_compressor = nullptr;
};
