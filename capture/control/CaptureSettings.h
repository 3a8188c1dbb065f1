#pragma once

#include <QSize>
#include <QString>

// The capture choices kept in the user's configuration (QSettings,
// organisation and application "Talvex"), apart from the program's own
// Settings.ini, which holds only its four values.
namespace CaptureSettings {

// The identity of the chosen source (see SourceCatalog); empty when
// nothing has been chosen yet.
QString sourceId();
void setSourceId(const QString& id);

// The one frame size older configurations kept for every camera (each
// camera keeps its own now, see CameraSettings). Invalid when there is
// none or the stored text is unreadable.
QSize frameSize();
void setFrameSize(const QSize& size);
// "640x480" as a size; invalid for anything else.
QSize parseSize(const QString& text);

} // namespace CaptureSettings
