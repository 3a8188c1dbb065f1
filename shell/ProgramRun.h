#pragma once

#include <QString>

#include <optional>

class SignalCloser;
struct CommandLine;

// The two ways the program runs once the single-instance lock is held.
// Both return the process exit code. SIGTERM and SIGINT, caught by `closer`
// from before the lock on, close the program the way the main window's
// close button does; so does SIGHUP with a window, while without one it
// reloads Talvex.conf.

// The folder in use: `line.folder` when given, else the choice of
// WorkingFolder.h. Pure: nothing is created.
QString workingFolderFor(const CommandLine& line, const QString& executableDir);

// Prepares `folder` (WorkingFolder.h; the program's Settings.ini and root/
// are taken into a user folder once, and this is said; a folder `given`
// with --folder gets only the pages) and removes what a killed run left in
// it: the temporary bitmap and the hidden temporary files of an interrupted
// snapshot replace. A problem is printed, not fatal.
QString prepareWorkingFolder(const QString& folder, const QString& executableDir, bool given);

// The start-up window, then the main window. The options of `line` that
// reach the main window (ports, bind address) apply to this run.
int runWithWindows(const QString& workingFolder, SignalCloser& closer, const CommandLine& line);

// The main window's load and run with no window shown; its status lines go
// to standard error. Returns 1 at once when the server cannot start.
int runHeadless(const QString& workingFolder, SignalCloser& closer, const CommandLine& line);
