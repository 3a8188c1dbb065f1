#pragma once

#include <QImage>
#include <QString>

// Loads a bitmap file as a picture. The 24-bit uncompressed layout that the
// capture control writes is read straight into a Format_BGR888 image (one
// read, rows put in order in place: several times faster than Qt's reader
// at full HD); any other bitmap goes through Qt's reader. A null image when
// the file is missing, short or unreadable.
QImage readBitmapFile(const QString& path);
