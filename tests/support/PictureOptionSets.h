#pragma once

#include "image/PictureOptions.h"

// Picture options by what they do, for the picture tests and the benchmark
// that prices each one.
namespace pictureoptions {

inline PictureOptions with(int rotation, bool caption = false, int streamWidth = 0)
{
    PictureOptions options;
    options.rotation = rotation;
    options.captionOn = caption;
    options.streamWidth = streamWidth;
    return options;
}

inline PictureOptions mirrored()
{
    PictureOptions options;
    options.flipHorizontal = true;
    return options;
}

} // namespace pictureoptions
