#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <list>
#include <unordered_map>

class SocketOs;

// Connections whose answer is wholly with the kernel. Their sending side is
// shut down (the FIN follows the answer's last segment) and what the peer
// still sends is read and dropped until it closes: a close that meets
// unread input makes the kernel reset the connection, which destroys the
// answer still on its way. A peer that has not closed by the deadline, or
// that keeps sending, is closed anyway; past the bound the oldest goes.
//
// The sockets wait in an epoll set of their own that the event loop does not
// watch: a peer's close wakes nobody. The set is looked at when the server
// is awake anyway (reap(), on each batch of new connections) and otherwise
// every tenth of a second.
class LingeringCloses : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultLimit = 256;
    static constexpr std::chrono::milliseconds kDefaultDeadline{2000};

    // "os" must outlive it.
    explicit LingeringCloses(SocketOs& os, QObject* parent = nullptr);
    ~LingeringCloses() override;

    // Takes over fd, whose output is all queued in the kernel.
    void add(int fd);
    // Closes those whose peer has closed (or keeps sending), and those past
    // their deadline.
    void reap();
    int count() const { return static_cast<int>(m_entries.size()); }
    // Closes the connection that has lingered longest; false when none is.
    bool closeOldest();
    // The deadline applies to connections added later.
    void setLimits(int maxConnections, std::chrono::milliseconds deadline);

private:
    struct Entry {
        int fd;
        std::chrono::steady_clock::time_point deadline;
        qsizetype discarded;
    };
    using List = std::list<Entry>; // oldest first, so deadlines ascend

    // Reads and drops what is waiting; true when the peer is done with it.
    bool discard(Entry& entry);
    void close(List::iterator entry, bool reset = false);

    SocketOs& m_os;
    int m_epoll = -1;
    int m_limit = kDefaultLimit;
    std::chrono::milliseconds m_deadline = kDefaultDeadline;
    List m_entries;
    std::unordered_map<int, List::iterator> m_byFd;
    QTimer m_timer;
};
