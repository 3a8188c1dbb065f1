#pragma once

#include <QByteArray>
#include <QString>

struct stat;

// True when path names a regular file (links followed) whose own name does
// not begin with "." (hidden). Directories, devices, FIFOs and sockets give
// false, and so does every error. A path holding a NUL byte gives false:
// the name is never cut short at the NUL and looked up.
bool FileExists(const QString& path);
// The same for a path already in the file system's encoding.
bool FileExists(const QByteArray& nativePath);
// The same, also giving what the one stat call found when it says true.
bool FileExists(const QByteArray& nativePath, struct stat& info);
