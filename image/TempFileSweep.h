#pragma once

#include <QString>
#include <QStringList>

// Temporary files of the atomic replace (FileReplace.h) that a process left
// behind when it was killed between writing and renaming: hidden names of the
// form ".<name>.tmp<pid>_<n>". Files of a process that is still alive are
// kept, as it may be about to rename them.

// True for a name of that form; `pid` receives the number.
bool isReplaceTempName(const QString& fileName, long* pid = nullptr);

// Removes such files of dead processes from `directory` (not from its
// subfolders). Returns the names removed; never fails.
QStringList removeLeftoverTempFiles(const QString& directory);
