#pragma once

#include <QByteArray>

// Content-Type for a served file, from the text after the last "." of its
// whole path (directories included), lowercased.
QByteArray contentTypeFor(const QByteArray& servedPath);
