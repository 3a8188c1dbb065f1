#pragma once

#include "http/OutputQueue.h"
#include "http/SocketOs.h"

#include <QObject>

#include <chrono>
#include <unordered_set>
#include <utility>

class ClosingConnection;
class TcpSocketControl;

// What the elements of one socket array share: the OS calls, the handles a
// listener has announced but no slot has taken yet, and the connections
// that were closed with bytes still on their way and finish on their own.
class SocketContext : public QObject {
    Q_OBJECT
public:
    // "os" must outlive the context.
    explicit SocketContext(SocketOs& os, QObject* parent = nullptr);
    ~SocketContext() override;

    SocketOs& os() const { return m_os; }

    // How long a peer may take nothing from a connection with queued bytes
    // before it is dropped.
    std::chrono::milliseconds stallTimeout() const { return m_stallTimeout; }
    void setStallTimeout(std::chrono::milliseconds timeout) { m_stallTimeout = timeout; }

    // Handles raised by ConnectionRequest and not yet taken by a slot.
    std::unordered_set<int>& pendingHandles() { return m_pending; }
    // The element that took the latest handle, until the listener asks.
    void setLastTaker(TcpSocketControl* element) { m_lastTaker = element; }
    TcpSocketControl* takeLastTaker() { return std::exchange(m_lastTaker, nullptr); }

    // Takes over fd: sends what is left of output, then, if drainInput, reads
    // and discards what the peer still sends so the close does not reset the
    // connection before the peer has read the answer; then closes.
    void finishInBackground(int fd, OutputQueue output, bool drainInput);
    int backgroundCount() const { return m_background; }

private:
    friend class ClosingConnection;

    SocketOs& m_os;
    std::chrono::milliseconds m_stallTimeout{30000};
    std::unordered_set<int> m_pending;
    TcpSocketControl* m_lastTaker = nullptr;
    int m_background = 0;
};
