#pragma once

#include "capture/source/VideoSource.h"

#include <functional>

// The controls kept for a camera (CameraSettings), given back to it each
// time it opens, and set back to the driver's defaults on request.
using NoticeSink = std::function<void(const QString& line)>;

// Gives the open `source` the values kept for camera `id`, automatic modes
// first where a value needs one switched off. A kept value the camera has
// no control for, one outside the control's range or menu, or one the
// driver refuses is never sent raw: it is dropped from the store and
// reported once through `notice`, naming the camera as `name`. A value for a
// control that another one has switched off stays kept for later.
void applySavedControls(VideoSource& source, const QString& id, const QString& name, const NoticeSink& notice);

// Sets every control of `source` to its default and forgets the kept ones.
// False when the source refused one of them.
bool resetControls(VideoSource& source, const QString& id);
