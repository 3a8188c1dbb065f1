#pragma once

#include "http/OutputQueue.h"

#include <QObject>
#include <QTimer>

#include <chrono>

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

    // Bytes still queued in memory (file ranges on disk not counted).
    qint64 queuedMemory() const { return m_output.memoryBytes(); }
    // When the peer last took bytes, or when the connection came here.
    std::chrono::steady_clock::time_point lastProgress() const { return m_lastProgress; }
    // Drops the connection with a reset, queued bytes and all.
    void abandon() { finish(true); }

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
    std::chrono::steady_clock::time_point m_lastProgress = std::chrono::steady_clock::now();
    QSocketNotifier* m_writeNotifier = nullptr;
    QSocketNotifier* m_readNotifier = nullptr;
    QTimer m_stallTimer;
};
