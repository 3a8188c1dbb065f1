#pragma once

#include "image/PictureOptions.h"

#include <QSize>
#include <QtGlobal>

#include <ctime>
#include <vector>

// Turning and mirroring the full-range YUV planes an encoder takes.
// A quarter turn swaps the plane's width and height: 4:2:2 chroma (half
// width) would come out as half height (4:4:0), which TurboJPEG encodes far
// slower than 4:2:0; its rows are averaged in pairs to 4:2:0 instead.

// Copies a packed plane of `width` x `height` samples (rows `width` apart)
// into `out`, rows `outLine` bytes apart, turned and mirrored as `options`
// say; a quarter turn goes a block at a time in registers.
void copyPlaneTurned(const uchar* in, int width, int height, uchar* out, qint64 outLine, const PictureOptions& options);

// Rows [first, first + rows) of a plane `height` rows high, packed in
// `band` (`width` bytes a row), turned and mirrored into their place in the
// whole plane's output `out`, as copyPlaneTurned would put them: a frame
// turned a band at a time stays in the cache.
void copyBandTurned(const uchar* band, int width, int first, int rows, int height, uchar* out, qint64 outLine,
                    const PictureOptions& options);

// A packed 4:2:2 chroma plane of `width` x `height` samples (height even)
// turned or mirrored as 4:2:0 chroma: pairs of rows averaged into
// `scratch`, then turned into `out` (which may be `in`), rows height / 2
// bytes apart after a quarter turn, else width.
void turnChromaTo420(const uchar* in, int width, int height, uchar* out, std::vector<uchar>& scratch,
                     const PictureOptions& options);

// Whether pictureOnPlanes can work on planes of `size` in TurboJPEG's
// `subsampling` (TJSAMP_*): not 4:1:1, and no plane padded beyond the picture.
bool planesCanTurn(const QSize& size, int subsampling);

// The picture options on the planes of a full-range YUV picture as
// TurboJPEG lays them out (rows tjPlaneWidth apart): turned and mirrored
// into `spare` and swapped back, then captioned for `when`. `size` and
// `subsampling` become the turned ones (4:2:2 turned a quarter is 4:2:0,
// or 4:4:0 for an odd height).
// False, with nothing changed, where planesCanTurn is false.
bool pictureOnPlanes(std::vector<uchar> (&planes)[3], std::vector<uchar> (&spare)[3], QSize& size, int& subsampling,
                     const PictureOptions& options, std::time_t when);
