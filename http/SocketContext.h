#pragma once

#include "http/LingeringClose.h"
#include "http/OutputQueue.h"
#include "http/SocketOs.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <unordered_set>
#include <utility>
#include <vector>

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
    // True while the listener raises ConnectionRequest and will read the
    // taken connection itself right after.
    bool acceptingInline() const { return m_acceptingInline; }
    void setAcceptingInline(bool inline_) { m_acceptingInline = inline_; }

    // Takes over fd: sends what is left of output, then closes it as
    // closeAnswered does. Past maxBackground connections or maxBackgroundBytes
    // of memory held for them, the one that has made no progress for longest
    // is dropped.
    void finishInBackground(int fd, OutputQueue output);
    int backgroundCount() const { return static_cast<int>(m_closing.size()); }
    // Memory the queues of those connections hold: a buffer several of them
    // send from (a cached file's body) is counted once, in full.
    qint64 backgroundBytes() const;
    void setBackgroundLimits(int maxConnections, qint64 maxBytes);

    // Closes fd, whose answer is all with the kernel, without letting input
    // the peer still sends reset the connection and destroy the answer.
    void closeAnswered(int fd) { m_lingering.add(fd); }
    // Closes the lingering connections that are done; cheap when none is.
    void reapLingering() { m_lingering.reap(); }
    int lingeringCount() const { return m_lingering.count(); }

    // Called when descriptors run out; closes the oldest connection that
    // has sent nothing and returns whether it found one. Set by the array.
    void setShedIdle(std::function<bool()> shed) { m_shedIdle = std::move(shed); }
    // Makes room after EMFILE: gives back the reserve descriptors, else
    // closes idle or stalled connections. False when nothing could be freed.
    bool freeDescriptors();
    // Takes the reserve back (after an accept batch); frees more when needed.
    void restoreReserve();
    int reserveCount() const { return static_cast<int>(m_reserve.size()); }

private:
    friend class ClosingConnection;

    void added(ClosingConnection* connection);
    void removed(ClosingConnection* connection);
    bool dropMostStalled();

    SocketOs& m_os;
    std::chrono::milliseconds m_stallTimeout{30000};
    std::unordered_set<int> m_pending;
    TcpSocketControl* m_lastTaker = nullptr;
    bool m_acceptingInline = false;
    std::vector<ClosingConnection*> m_closing;
    int m_maxBackground = 256;
    qint64 m_maxBackgroundBytes = 64 * 1024 * 1024;
    qint64 m_peakBackgroundBytes = 0;
    std::function<bool()> m_shedIdle;
    std::vector<int> m_reserve;
    LingeringCloses m_lingering{m_os};
};
