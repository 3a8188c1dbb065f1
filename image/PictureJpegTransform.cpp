#include "image/PictureJpegTransform.h"

#include <turbojpeg.h>

#include <climits>

PictureJpegTransform::~PictureJpegTransform()
{
    if (m_handle)
        tjDestroy(m_handle);
}

int PictureJpegTransform::operation(const PictureOptions& options)
{
    // As turnPicture folds them: a clockwise turn, then a left-right mirror.
    int rotation = ((options.rotation % 360) + 360) % 360;
    bool mirror = options.flipHorizontal;
    if (options.flipVertical) {
        rotation = (rotation + 180) % 360;
        mirror = !mirror;
    }
    switch (rotation) {
    case 90:
        return mirror ? TJXOP_TRANSPOSE : TJXOP_ROT90;
    case 180:
        return mirror ? TJXOP_VFLIP : TJXOP_ROT180;
    case 270:
        return mirror ? TJXOP_TRANSVERSE : TJXOP_ROT270;
    default:
        return mirror ? TJXOP_HFLIP : TJXOP_NONE;
    }
}

bool PictureJpegTransform::transform(const unsigned char* jpeg, std::size_t size, const PictureOptions& options,
                                     QByteArray* out)
{
    if (!jpeg || size == 0 || size > ULONG_MAX || !out)
        return false;
    if (!m_handle)
        m_handle = tjInitTransform();
    if (!m_handle)
        return false;

    tjtransform step{};
    step.op = operation(options);
    step.options = TJXOPT_PERFECT;
    unsigned char* result = nullptr;
    unsigned long resultSize = 0;
    const int status = tjTransform(static_cast<tjhandle>(m_handle), jpeg, static_cast<unsigned long>(size), 1,
                                   &result, &resultSize, &step, 0);
    const bool ok = status == 0 && result && resultSize > 0 && resultSize <= static_cast<unsigned long>(INT_MAX);
    if (ok)
        *out = QByteArray(reinterpret_cast<const char*>(result), static_cast<qsizetype>(resultSize));
    tjFree(result);
    return ok;
}
