#pragma once

#include <QString>
#include <QStringList>

// The folder the program works in (the main window's TempPath): Settings.ini,
// the web root root/ and the temporary bitmap. It is the executable's folder
// when that can be written and holds the web root (a build, or a copied
// portable folder). An installed program, whose folder is not writable or
// comes with the sample web root under share/, works in the user's data
// folder instead, which gets a copy of that sample on first start.
namespace WorkingFolder {

// "<prefix>/share/talvex/root" beside an installed executable, if present.
QString installedSampleRoot(const QString& executableDir);

// $XDG_DATA_HOME/Talvex, or ~/.local/share/Talvex when XDG_DATA_HOME is unset
// or not absolute.
QString dataHomeFolder();

// The choice described above; `sampleRoot` may be empty.
QString choose(const QString& executableDir, const QString& sampleRoot, const QString& dataHome);

// Makes `folder` ready: creates it, copies `sampleRoot` to folder/root when
// there is no root/ yet, and creates root/images when missing. On failure
// returns false with a one-line reason.
bool prepare(const QString& folder, const QString& sampleRoot, QString* reason);

// When `folder` is not the program's own: copies Settings.ini and root/
// from beside the program into `folder` where they exist there and `folder`
// has none yet, so that a read-only portable folder keeps its settings and
// pages. Returns what was copied ("Settings.ini", "root/"); on a failure
// `reason` gets one line.
QStringList adoptProgramFiles(const QString& executableDir, const QString& folder, QString* reason);

} // namespace WorkingFolder
