#pragma once

#include "image/PictureOptions.h"

#include <QSize>
#include <QtGlobal>

#include <ctime>
#include <vector>

// Turning and mirroring while a camera's YUV samples are copied into the
// planes an encoder takes, so a turned stream frame costs no pass of its own.
// A quarter turn swaps the plane's width and height: 4:2:2 chroma (half
// width) comes out as half height (4:4:0).

// Copies a plane of `width` x `height` samples, `step` bytes apart in rows
// `line` bytes apart, through `table` (256 entries; null: none) into the plane `out`,
// rows `outLine` bytes apart, turned and mirrored as `options` say.
void copyPlaneTurned(const uchar* in, qint64 line, int step, int width, int height, const uchar* table, uchar* out,
                     qint64 outLine, const PictureOptions& options);

// Whether pictureOnPlanes can work on planes of `size` in TurboJPEG's
// `subsampling` (TJSAMP_*): not 4:1:1, and no plane padded beyond the picture.
bool planesCanTurn(const QSize& size, int subsampling);

// The picture options on the planes of a full-range YUV picture as
// TurboJPEG lays them out (rows tjPlaneWidth apart): turned and mirrored
// into `spare` and swapped back, then captioned for `when`. `size` and
// `subsampling` become the turned ones (4:2:2 turned a quarter is 4:4:0).
// False, with nothing changed, where planesCanTurn is false.
bool pictureOnPlanes(std::vector<uchar> (&planes)[3], std::vector<uchar> (&spare)[3], QSize& size, int& subsampling,
                     const PictureOptions& options, std::time_t when);
