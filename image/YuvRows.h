#pragma once

#include <QtGlobal>

#include <algorithm>

// Cameras send video-range YUV (luma 16..235, chroma 16..240); a JPEG holds
// full range. These rows stretch while they copy, sixteen samples at a time
// where the processor has SSE2, and give the same bytes as
// round((y - 16) * 255 / 219) and round((c - 128) * 255 / 224) + 128,
// clamped, for every input byte.

inline uchar fullRangeLuma(int y)
{
    return uchar(std::min((((std::max(y - 16, 0) << 2) * 38154 >> 16) + 1) >> 1, 255));
}

inline uchar fullRangeChroma(int c)
{
    return uchar(std::min(std::max(((c << 7) * 37300 >> 16) - 1101, 0) >> 6, 255));
}

// A YUYV row of `width` pixels (even) into full-range luma.
void yuyvLumaRow(const uchar* in, int width, uchar* out);

// The chroma of two YUYV rows of `width` pixels, each pair of samples
// averaged (rounded up), into full-range Cb and Cr of width / 2 each. The
// same row twice gives its own chroma.
void yuyvChromaRows(const uchar* upper, const uchar* lower, int width, uchar* cb, uchar* cr);

// `count` samples `step` bytes apart (1 or 2 go sixteen at a time) into
// full-range luma, or chroma where `chroma` is set.
void fullRangeRow(const uchar* in, int count, int step, bool chroma, uchar* out);

// Rows [first, first + rows) of a camera's YUYV, NV12 or YU12 frame
// (`fourcc`, rows `line` bytes apart, `height` rows in all) as packed
// full-range planes: luma `width` bytes a row, then chroma at half width,
// and at half height where `to420` (first and rows even) or the camera's
// planes already are.
void fullRangePlanes(quint32 fourcc, const uchar* data, qint64 line, int width, int height, bool to420, int first,
                     int rows, uchar* const (&out)[3]);
