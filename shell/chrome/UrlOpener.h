#pragma once

#include <QString>
#include <functional>

// Hands a URL to the desktop's handler (the default browser). The result is
// deliberately ignored: the callers have nothing to tell the user on failure.
void openUrl(const QString& url);

// Replaces the handler, so that tests can record URLs instead of starting a
// browser. An empty function restores the desktop's handler.
void setUrlOpener(std::function<void(const QString&)> opener);
