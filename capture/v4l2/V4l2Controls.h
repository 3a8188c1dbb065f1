#pragma once

#include "capture/v4l2/VideoDevice.h"
#include "capture/source/VideoSource.h"

#include <QList>

// The user controls of an open device (brightness, contrast, ...) with
// their current values. Disabled, inactive, read-only and class entries
// and kinds a slider or check box cannot show are left out.
QList<SourceControl> queryControls(VideoDevice& device, int fd);

// Sets one control: 0, or -errno.
int setControlValue(VideoDevice& device, int fd, quint32 id, int value);
