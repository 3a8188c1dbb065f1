#pragma once

#include "http/OutputQueue.h"

#include <QObject>
#include <QTimer>

#include <chrono>

class QSocketNotifier;
class SocketContext;

// A connection its slot has let go of: delivers the queued bytes, hands the
// descriptor to the context's lingering close, and deletes itself. Dropped
// with a reset when the peer takes nothing within the context's stall timeout.
class ClosingConnection : public QObject {
    Q_OBJECT
public:
    ClosingConnection(SocketContext& context, int fd, OutputQueue output);
    ~ClosingConnection() override;

    const OutputQueue& output() const { return m_output; }
    // When the peer last took bytes, or when the connection came here.
    std::chrono::steady_clock::time_point lastProgress() const { return m_lastProgress; }
    // Drops the connection with a reset, queued bytes and all.
    void abandon();

private:
    void onWritable();
    // Everything sent: the lingering close takes over the descriptor.
    void handOver();
    void release();

    SocketContext* m_context;
    int m_fd;
    OutputQueue m_output;
    std::chrono::steady_clock::time_point m_lastProgress = std::chrono::steady_clock::now();
    QSocketNotifier* m_writeNotifier = nullptr;
    QTimer m_stallTimer;
};
