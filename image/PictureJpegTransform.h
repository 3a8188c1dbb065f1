#pragma once

#include "image/PictureOptions.h"

#include <QByteArray>

#include <cstddef>

// Turns and mirrors a JPEG without decoding it (TurboJPEG's lossless
// transform of the coded blocks), for camera frames passed through as they
// came. Only whole MCU blocks can move losslessly: a frame whose edge
// blocks are partial where the transform needs them whole (1080 rows of
// 4:2:0 for a turn or a top-bottom mirror) is refused (TJXOPT_PERFECT),
// and the caller decodes and encodes it instead, so no edge is lost or
// smeared. Not thread-safe; one per encoding thread.
class PictureJpegTransform {
public:
    PictureJpegTransform() = default;
    ~PictureJpegTransform();
    PictureJpegTransform(const PictureJpegTransform&) = delete;
    PictureJpegTransform& operator=(const PictureJpegTransform&) = delete;

    // The turned and mirrored JPEG in *out; false when the frame does not
    // decode as a JPEG header or its blocks do not allow a lossless result.
    bool transform(const unsigned char* jpeg, std::size_t size, const PictureOptions& options, QByteArray* out);

    // The TurboJPEG operation (TJXOP_*) for the options' turn and mirrors.
    static int operation(const PictureOptions& options);

private:
    void* m_handle = nullptr;
};
