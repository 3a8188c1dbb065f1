#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A real X server (Xvfb) on a free display for the run of one test, and the
// xdotool calls that press buttons in it the way a person would.
class DesktopSession {
public:
    DesktopSession();
    ~DesktopSession();

    bool ok() const { return m_display >= 0; }
    QString display() const { return QStringLiteral(":%1").arg(m_display); }

    // Runs xdotool with the given arguments; its standard output, trimmed.
    QString xdotool(const QStringList& arguments, int timeoutMs = 15000) const;
    // The id of a window whose title is exactly `title`, waiting for it up to
    // `timeoutMs`; empty when none appears.
    QString waitForWindow(const QString& title, int timeoutMs = 15000) const;
    // All such windows now.
    QStringList windows(const QString& title) const;
    // A click of the left button at a point of a window, in its own coordinates.
    void click(const QString& window, int x, int y) const;

private:
    QProcess m_xvfb;
    int m_display = -1;
};
