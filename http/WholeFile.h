#pragma once

#include <QByteArray>

// Reads a regular file whole into body, exactly as many bytes as its size
// when opened. False, with body empty, when it cannot be opened or read,
// is not a regular file, shrinks while being read, or holds 2 GiB or more
// (its length must fit the 32-bit Content-Length). Never throws.
bool readWholeFile(const QByteArray& nativePath, QByteArray& body);
