#pragma once

#include "http/OutputQueue.h"

#include <QObject>
#include <QTimer>

class QSocketNotifier;
class SocketContext;

// A connection its slot has let go of: delivers the queued bytes, lets the
// peer finish, closes, and deletes itself. Dropped with a reset when the
// peer makes no progress within the context's stall timeout.
class ClosingConnection : public QObject {
    Q_OBJECT
public:
    ClosingConnection(SocketContext& context, int fd, OutputQueue output, bool drainInput);
    ~ClosingConnection() override;

private:
    void onWritable();
    void onReadable();
    void onTimeout();
    // Reads and drops what the peer sent; finishes on its end or a flood.
    void discardInput();
    void startDraining();
    void finish(bool reset);
    void closeDescriptor(bool reset);

    SocketContext* m_context;
    int m_fd;
    OutputQueue m_output;
    bool m_drainInput;
    qsizetype m_discarded = 0;
    QSocketNotifier* m_writeNotifier = nullptr;
    QSocketNotifier* m_readNotifier = nullptr;
    QTimer m_stallTimer;
};
