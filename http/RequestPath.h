#pragma once

#include <QByteArray>

#include <optional>

// The request line's path as a file name relative to the web root, with "\"
// between directories: the path from the 5th byte up to the next space, one
// trailing and one leading "/" removed, every "..", "./", "/.", "//" and "\"
// replaced by "!", "/" turned into "\", query and fragment cut,
// "player.html" when nothing is left. Bytes are taken as they are: nothing
// is decoded. Empty when the request is shorter than 5 bytes or has no
// space at or after its 5th byte.
std::optional<QByteArray> requestPath(const QByteArray& request);

// webRoot (ending in "/") followed by the relative path, its "\" mapped back
// to the "/" they came from.
QByteArray fullFilePath(const QByteArray& webRoot, const QByteArray& relativePath);

// True when a directory or the file of the relative path begins with ".":
// such names are hidden, and so is everything inside a hidden directory.
bool isHiddenPath(const QByteArray& relativePath);
