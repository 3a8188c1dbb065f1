#pragma once

#include <QString>

#include <optional>

class SignalCloser;

// The two ways the program runs once the single-instance lock is held.
// Both return the process exit code. SIGTERM, SIGINT and SIGHUP, caught by
// `closer` from before the lock on, close the program the way the main
// window's close button does.

// Picks and prepares the working folder (WorkingFolder.h) and removes what a
// killed run left in it: the temporary bitmap and the hidden temporary
// files of an interrupted snapshot replace. A problem is printed, not fatal.
QString prepareWorkingFolder(const QString& executableDir);

// The start-up window, then the main window. `streamPort`, when set,
// overrides the configured MJPEG port for this run.
int runWithWindows(const QString& workingFolder, SignalCloser& closer, std::optional<int> streamPort = {});

// The main window's load and run with no window shown; its status lines go
// to standard error. Returns 1 at once when the server cannot start.
int runHeadless(const QString& workingFolder, SignalCloser& closer, std::optional<int> streamPort = {});
