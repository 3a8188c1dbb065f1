#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// The built program run as a child process with no display: no DISPLAY, no
// WAYLAND_DISPLAY, no Qt platform chosen, its own runtime folder (so its
// single-instance lock is its own) and home.
class ProgramProcess {
public:
    ProgramProcess(const QString& program, const QString& home);
    ~ProgramProcess();

    void start(const QStringList& arguments);
    // Runs to its end (bounded); returns the exit code, -1 on a crash or timeout.
    int run(const QStringList& arguments, int timeoutMs = 20000);
    // Waits until standard error holds `text`; false if the program ended or
    // the bound passed first.
    bool waitForError(const QString& text, int timeoutMs = 15000);
    bool signal(int signalNumber);
    int waitForExit(int timeoutMs = 15000);

    QByteArray output() { return m_out += m_process.readAllStandardOutput(); }
    QByteArray error() { return m_err += m_process.readAllStandardError(); }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

// A folder like a copied program folder: the built executable and the
// repository's web root beside it.
bool makePortableCopy(const QString& folder);
QString builtProgram();
QString sourceRoot();
