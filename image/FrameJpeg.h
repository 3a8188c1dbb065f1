#pragma once

#include "image/PictureStream.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <ctime>
#include <vector>

// A camera frame as the stream encodes it: the camera's own bytes in its
// V4L2 format, or a picture for a source that draws its own.
struct CameraImage {
    quint32 fourcc = 0;      // MJPEG, YUYV, NV12, YU12, BGR24 or RGB24
    QSize size;
    qint64 bytesPerLine = 0; // luma rows for planar formats; 0 for MJPEG
    QByteArray bytes;
    QImage picture;          // used instead of bytes when not null
};

// Turns camera frames into JPEGs for the stream. YUV frames go to the
// compressor as planes, never through RGB; a camera's own JPEG can be passed
// on unchanged. Keeps its TurboJPEG handles and buffers across frames, so
// one instance belongs to one thread.
class FrameJpeg {
public:
    enum class Outcome {
        Encoded,
        PassedThrough, // the camera's bytes, unchanged
        Broken,        // a frame too short for its size, or a damaged JPEG
        Unsupported    // a format this class does not know
    };

    FrameJpeg();
    ~FrameJpeg();
    FrameJpeg(const FrameJpeg&) = delete;
    FrameJpeg& operator=(const FrameJpeg&) = delete;

    // The frame as a JPEG at `quality` (1..100), or empty bytes with the
    // reason in *outcome. With `passthrough` a camera JPEG that looks whole
    // is returned as it came; without it, it is decoded and encoded anew.
    // With `picture` (the picture options) that change anything, the frame
    // is turned, mirrored, captioned and sized as they say: YUV and camera
    // JPEGs on their planes, anything else as a picture.
    QByteArray encode(const CameraImage& frame, int quality, bool passthrough, Outcome* outcome = nullptr,
                      const PictureOptions* picture = nullptr);

private:
    static bool validSize(const QSize& size);
    // The YUV road (FrameJpegYuv.cpp).
    QByteArray encodeYuv(const CameraImage& frame, int quality);
    QByteArray encodeJpeg(const CameraImage& frame, int quality, bool passthrough);
    QByteArray encodePixels(const uchar* bits, const QSize& size, qint64 pitch, int pixelFormat, int quality);
    // Decodes a camera JPEG of `size` into m_planes at `target` (4:2:0
    // planes for a stream width) or its own size; false for a frame that
    // does not decode.
    bool decodePlanes(const unsigned char* jpeg, unsigned long length, const QSize& size, int* subsampling,
                      const QSize& target);
    // Compresses three planes of full-range YUV already in m_planes, after
    // what is left of the picture options: all of them, or with `turned`
    // only the caption. A valid `shown` (the turned planes' size less an
    // odd row or column) is the size encoded.
    QByteArray compressPlanes(const QSize& size, int subsampling, int quality, bool turned = false,
                              const QSize& shown = QSize());
    bool reserveOutput(const QSize& size, int subsampling);
    QByteArray takeOutput(bool ok, unsigned long size);

    // The picture options of the frame being encoded (null: none to apply).
    const PictureOptions* m_picture = nullptr;
    std::time_t m_when = 0;
    PictureStream m_pictureStream;
    std::vector<uchar> m_scratch[3]; // planes between two steps (turned, decoded to be shrunk)

    void* m_compressor = nullptr;
    void* m_decompressor = nullptr;
    std::vector<uchar> m_planes[3];
    unsigned char* m_output = nullptr;
    unsigned long m_capacity = 0;
};
