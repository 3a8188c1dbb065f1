#include "http/LingeringClose.h"

#include "http/SocketOs.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>

namespace {
// A peer that sends this much after its answer is not listened to further.
constexpr qsizetype kMaxDiscard = 256 * 1024;
}

LingeringCloses::LingeringCloses(SocketOs& os, QObject* parent)
    : QObject(parent)
    , m_os(os)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &LingeringCloses::onDeadline);
}

LingeringCloses::~LingeringCloses()
{
    while (!m_entries.empty())
        close(m_entries.begin());
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
    if (m_limit == 0 || m_os.shutdownWrite(fd) != 0) {
        m_os.close(fd);
        return;
    }
    while (count() >= m_limit)
        closeOldest();
    const auto deadline = std::chrono::steady_clock::now() + m_deadline;
    m_entries.push_back({fd, deadline, notifierFor(fd), 0});
    m_byFd[fd] = std::prev(m_entries.end());
    if (!m_timer.isActive())
        m_timer.start(m_deadline);
}

QSocketNotifier* LingeringCloses::notifierFor(int fd)
{
    QSocketNotifier* notifier = nullptr;
    if (!m_spare.empty()) {
        notifier = m_spare.back();
        m_spare.pop_back();
    } else {
        m_notifiers.push_back(std::make_unique<QSocketNotifier>(QSocketNotifier::Read));
        notifier = m_notifiers.back().get();
        connect(notifier, &QSocketNotifier::activated, this,
                [this](QSocketDescriptor socket) { onReadable(int(socket)); });
    }
    notifier->setSocket(fd);
    notifier->setEnabled(true);
    return notifier;
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
    entry->notifier->setEnabled(false);
    m_spare.push_back(entry->notifier);
    if (reset)
        m_os.abort(entry->fd);
    else
        m_os.close(entry->fd);
    m_byFd.erase(entry->fd);
    m_entries.erase(entry);
}

void LingeringCloses::onReadable(int fd)
{
    const auto found = m_byFd.find(fd);
    if (found == m_byFd.end())
        return;
    if (discard(*found->second))
        close(found->second, found->second->discarded > kMaxDiscard);
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

void LingeringCloses::onDeadline()
{
    const auto now = std::chrono::steady_clock::now();
    while (!m_entries.empty() && m_entries.front().deadline <= now) {
        // What came meanwhile is taken first, so the close is orderly when it can be.
        discard(m_entries.front());
        close(m_entries.begin());
    }
    if (!m_entries.empty()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(m_entries.front().deadline - now);
        m_timer.start(wait);
    }
}
