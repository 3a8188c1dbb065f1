#pragma once

#include <QString>
#include <functional>

// The two messages that can end the program before it has started.

// "Talvex is already running!", an empty line, "This instance will be close".
QString alreadyRunningText();

// The failure message around the start-up, naming the support address.
QString loadFailureText(const QString& description);

// Runs `load`. When it throws, shows the failure message (critical, OK only)
// and returns false: the caller then ends the program.
bool runGuardedLoad(const std::function<void()>& load);
