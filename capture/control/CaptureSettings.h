#pragma once

#include <QSize>
#include <QString>

// The capture choices kept in the user's configuration (QSettings,
// organisation and application "Talvex"), apart from the program's own
// Settings.ini, which holds only its four values.
namespace CaptureSettings {

// Empty when nothing has been chosen yet.
QString sourceId();
void setSourceId(const QString& id);

// Invalid when nothing has been chosen yet or the stored text is unreadable.
QSize frameSize();
void setFrameSize(const QSize& size);

} // namespace CaptureSettings
