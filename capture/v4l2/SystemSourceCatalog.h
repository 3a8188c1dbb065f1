#pragma once

#include "capture/source/SourceCatalog.h"
#include "capture/v4l2/VideoDevice.h"

#include <functional>
#include <memory>

// The machine's V4L2 devices that can capture, each under the identity it
// is remembered by (see CameraIdentity.h), and the test pattern.
std::unique_ptr<SourceCatalog> createSystemSourceCatalog();

// The same over another device layer and node folder (the tests' scripted
// cameras); `makeDevice` gives each source and each listing its own layer.
using VideoDeviceFactory = std::function<std::unique_ptr<VideoDevice>()>;
std::unique_ptr<SourceCatalog> createSystemSourceCatalog(VideoDeviceFactory makeDevice, const QString& directory);
