#pragma once

#include "image/PictureOptions.h"

#include <QStringList>

class QSettings;

// The [Picture] group of Talvex.conf:
//   Rotate=0|90|180|270   Flip=none|horizontal|vertical|both
//   Caption=true|false    CaptionText=<strftime pattern>
//   CaptionCorner=top-left|top-right|bottom-left|bottom-right
//   StreamWidth=0|16..7680
// An absent key keeps the default; a value not understood keeps it too,
// and one line naming the key and the value goes into *warnings.
namespace PictureSettings {

PictureOptions read(QSettings& settings, QStringList* warnings);
void write(QSettings& settings, const PictureOptions& options);

// From the user's configuration; each warning is printed once on stderr.
PictureOptions load();
void save(const PictureOptions& options);

} // namespace PictureSettings
