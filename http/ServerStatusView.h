#pragma once

#include <QString>

// What the server shows the user; implemented by the main window.
class ServerStatusView {
public:
    virtual ~ServerStatusView() = default;
    // The server status label's caption, repainted at once.
    virtual void setServerCaption(const QString& caption) = 0;
    // A modal warning box titled with the program's title. Events keep
    // being delivered while it is open.
    virtual void showServerWarning(const QString& text) = 0;
};
