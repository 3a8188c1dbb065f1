#pragma once

#include "image/PictureOptions.h"

#include <QtGlobal>

// Turning and mirroring while a camera's YUV samples are copied into the
// planes an encoder takes, so a turned stream frame costs no pass of its own.
// A quarter turn swaps the plane's width and height: 4:2:2 chroma (half
// width) comes out as half height (4:4:0).

// Copies a plane of `width` x `height` samples, `step` bytes apart in rows
// `line` bytes apart, through `table` (256 entries) into the plane `out`,
// rows `outLine` bytes apart, turned and mirrored as `options` say.
void copyPlaneTurned(const uchar* in, qint64 line, int step, int width, int height, const uchar* table, uchar* out,
                     qint64 outLine, const PictureOptions& options);
