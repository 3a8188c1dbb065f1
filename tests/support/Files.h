#pragma once

#include <QByteArray>
#include <QString>

// Writes a whole file, making its folders first; false when it could not.
bool writeFile(const QString& path, const QByteArray& bytes);
// A whole file; empty when it cannot be read.
QByteArray readFile(const QString& path);
