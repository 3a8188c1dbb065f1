#pragma once

#include "capture/v4l2/VideoDevice.h"
#include "capture/source/VideoSource.h"

#include <QList>

// The user controls of an open device (brightness, contrast, ...) with
// their current values; inactive ones are included and marked. Disabled,
// read-only and class entries, kinds a slider, check box or list cannot
// show, and menus without a single entry are left out.
QList<SourceControl> queryControls(VideoDevice& device, int fd);

// Sets one control: 0, or -errno.
int setControlValue(VideoDevice& device, int fd, quint32 id, int value);
