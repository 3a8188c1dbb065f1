#pragma once

#include "capture/v4l2/V4l2Source.h"

#include <QList>
#include <QString>

// How a camera is remembered so that it is found again after its
// /dev/videoN has moved (plugged in another order, replugged, a second
// camera added). Best first: the /dev/v4l/by-id/ link udev makes from the
// camera's model and serial number, then the by-path/ link (the port it is
// plugged into), then "v4l2:<card>@<bus info>" from the driver itself, and
// only as a last resort the node. `directory` is where the nodes are
// ("/dev"; a scripted folder in the tests).
QString cameraIdentity(const VideoDeviceInfo& device, const QString& directory);

// The index in `devices` of the capture device `identity` names now, or
// -1. Besides an identity made by cameraIdentity it takes a node path
// (configurations written before identities existed) and recognises a
// card-and-bus camera moved to another port when no other camera has its
// card name; two cameras of one model stay apart by their bus.
int findCamera(const QString& identity, const QList<VideoDeviceInfo>& devices, const QString& directory);
