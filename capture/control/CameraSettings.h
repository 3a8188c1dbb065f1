#pragma once

#include <QMap>
#include <QSize>
#include <QString>

// What is kept for each camera in the user's configuration, in a group
// "Camera <id>" of its own (the id encoded so that QSettings keeps it one
// group): its name, the controls the operator set and the frame size.
// A camera met again under the same identity gets them back.
namespace CameraSettings {

QString groupName(const QString& id);

// The name shown for it while it is not plugged in; empty when never seen.
QString name(const QString& id);
void setName(const QString& id, const QString& name);

// Control id -> value, only those the operator set.
QMap<quint32, int> controls(const QString& id);
void setControl(const QString& id, quint32 control, int value);
void dropControl(const QString& id, quint32 control);
void clearControls(const QString& id);

// Its own size, else the one size older configurations kept for every
// camera; invalid when there is none.
QSize frameSize(const QString& id);
void setFrameSize(const QString& id, const QSize& size);

} // namespace CameraSettings
