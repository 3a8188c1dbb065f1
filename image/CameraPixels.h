#pragma once

#include <QImage>
#include <QSize>

// Turns a camera's own frame layouts into a picture (Format_BGR888). Each
// call stands alone and may run on any thread. A frame too short for its
// size, or a JPEG that does not decode cleanly, gives a null image.

// With `every` above 1, only every `every`th pixel of every `every`th row
// is made, for a small view: a picture `every` times smaller each way at a
// fraction of the cost.

// Packed 4:2:2, Y0 U Y1 V; rows bytesPerLine apart (at least width * 2).
QImage yuyvToImage(const uchar* data, qint64 bytes, const QSize& size, qint64 bytesPerLine, int every = 1);
// Planar 4:2:0: a luma plane, then interleaved U V (NV12) or a U plane and
// a V plane (YU12, also called I420). Luma rows bytesPerLine apart, chroma
// rows as the kernel lays them out for these formats.
QImage nv12ToImage(const uchar* data, qint64 bytes, const QSize& size, qint64 bytesPerLine, int every = 1);
QImage yu12ToImage(const uchar* data, qint64 bytes, const QSize& size, qint64 bytesPerLine, int every = 1);
// The largest `every` (1, 2, 4, 8 or 16) whose picture still covers
// `atLeast`; 1 when nothing smaller is asked for.
int previewStep(const QSize& full, const QSize& atLeast);

// Decodes one JPEG (a camera's MJPEG frame). With `atLeast` set, decodes at
// the smallest scale TurboJPEG offers that still covers it, which costs far
// less than a full decode for a small view.
QImage decodeJpeg(const uchar* data, qint64 bytes, const QSize& atLeast = QSize());
// The size decodeJpeg would give for a frame of `full` asked for `atLeast`.
QSize jpegScaledSize(const QSize& full, const QSize& atLeast);
