#include "http/LingeringClose.h"

#include "http/SocketOs.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {
// A peer that sends this much after its answer is not listened to further.
constexpr qsizetype kMaxDiscard = 256 * 1024;
// How often the set is looked at when nothing else wakes the server.
constexpr std::chrono::milliseconds kReapInterval{100};
constexpr int kEventsPerWait = 64;
}

LingeringCloses::LingeringCloses(SocketOs& os, QObject* parent)
    : QObject(parent)
    , m_os(os)
    , m_epoll(::epoll_create1(EPOLL_CLOEXEC))
{
    m_timer.setInterval(kReapInterval);
    connect(&m_timer, &QTimer::timeout, this, &LingeringCloses::reap);
}

LingeringCloses::~LingeringCloses()
{
    while (!m_entries.empty())
        close(m_entries.begin());
    if (m_epoll >= 0)
        ::close(m_epoll);
}

void LingeringCloses::setLimits(int maxConnections, std::chrono::milliseconds deadline)
{
    m_limit = std::max(maxConnections, 0);
    m_deadline = deadline;
    while (count() > m_limit)
        closeOldest();
}

void LingeringCloses::add(int fd)
{
    // A peer that has already reset the connection has nothing to protect.
    if (m_limit == 0 || m_epoll < 0 || m_os.shutdownWrite(fd) != 0) {
        m_os.close(fd);
        return;
    }
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.fd = fd;
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) != 0) {
        m_os.close(fd);
        return;
    }
    while (count() >= m_limit)
        closeOldest();
    m_entries.push_back({fd, std::chrono::steady_clock::now() + m_deadline, 0});
    m_byFd[fd] = std::prev(m_entries.end());
    if (!m_timer.isActive())
        m_timer.start();
}

void LingeringCloses::reap()
{
    if (m_entries.empty()) {
        m_timer.stop();
        return;
    }
    epoll_event events[kEventsPerWait];
    int ready = kEventsPerWait;
    while (ready == kEventsPerWait && !m_entries.empty()) {
        ready = ::epoll_wait(m_epoll, events, kEventsPerWait, 0);
        for (int i = 0; i < ready; ++i) {
            const auto found = m_byFd.find(events[i].data.fd);
            if (found != m_byFd.end() && discard(*found->second))
                close(found->second, found->second->discarded > kMaxDiscard);
        }
    }
    const auto now = std::chrono::steady_clock::now();
    while (!m_entries.empty() && m_entries.front().deadline <= now) {
        // What came meanwhile is taken first, so the close is orderly when it can be.
        discard(m_entries.front());
        close(m_entries.begin());
    }
    if (m_entries.empty())
        m_timer.stop();
}

bool LingeringCloses::closeOldest()
{
    if (m_entries.empty())
        return false;
    close(m_entries.begin());
    return true;
}

void LingeringCloses::close(List::iterator entry, bool reset)
{
    // Closing the descriptor takes it out of the epoll set too.
    if (reset)
        m_os.abort(entry->fd);
    else
        m_os.close(entry->fd);
    m_byFd.erase(entry->fd);
    m_entries.erase(entry);
}

bool LingeringCloses::discard(Entry& entry)
{
    char scratch[4096];
    for (;;) {
        const ssize_t n = m_os.receive(entry.fd, scratch, sizeof scratch);
        if (n == -EINTR)
            continue;
        if (n == -EAGAIN || n == -EWOULDBLOCK)
            return false;
        // The peer's end, a reset, or a flood: nothing more to wait for.
        if (n <= 0 || (entry.discarded += n) > kMaxDiscard)
            return true;
    }
}
