#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal delivered by the event
// loop. The handler only writes the signal number into a pipe; everything
// else runs later on the UI thread, so closing may save files and free
// memory safely. One instance per process.
class SignalCloser : public QObject {
    Q_OBJECT
public:
    explicit SignalCloser(QObject* parent = nullptr);
    ~SignalCloser() override;

    // False when the pipe or the handlers could not be set up; the signals
    // then keep their default action.
    bool isActive() const { return m_notifier != nullptr; }

signals:
    // Once per batch of signals read together: a SIGTERM or SIGINT among
    // them wins over SIGHUP.
    void closeRequested(int signalNumber);

private:
    void readPending();

    QSocketNotifier* m_notifier = nullptr;
};
