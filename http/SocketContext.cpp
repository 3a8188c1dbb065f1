#include "http/SocketContext.h"

#include "http/ClosingConnection.h"

#include <malloc.h>

#include <algorithm>
#include <unordered_map>

namespace {
// Descriptors held back so that, when they run out, a connection can still
// be accepted and its file opened.
constexpr int kReserveDescriptors = 2;
// After a burst that queued this much, freed memory is given back.
constexpr qint64 kTrimAfterBytes = 4 * 1024 * 1024;
}

SocketContext::SocketContext(SocketOs& os, QObject* parent)
    : QObject(parent)
    , m_os(os)
{
    restoreReserve();
}

SocketContext::~SocketContext()
{
    // Deleted here rather than by QObject, while the list they update
    // still exists.
    qDeleteAll(findChildren<ClosingConnection*>(Qt::FindDirectChildrenOnly));
    // Children still finishing are deleted with the context and close their
    // descriptors; nothing announced but untaken may stay open either.
    for (int fd : m_pending)
        m_os.close(fd);
    for (int fd : m_reserve)
        m_os.close(fd);
}

void SocketContext::finishInBackground(int fd, OutputQueue output)
{
    new ClosingConnection(*this, fd, std::move(output));
    qint64 bytes = backgroundBytes();
    m_peakBackgroundBytes = std::max(m_peakBackgroundBytes, bytes);
    while ((backgroundCount() > m_maxBackground || bytes > m_maxBackgroundBytes) && dropMostStalled())
        bytes = backgroundBytes();
}

qint64 SocketContext::backgroundBytes() const
{
    std::unordered_map<const void*, qint64> buffers;
    for (const ClosingConnection* connection : m_closing)
        connection->output().collectBuffers(buffers);
    qint64 bytes = 0;
    for (const auto& [buffer, size] : buffers)
        bytes += size;
    return bytes;
}

void SocketContext::setBackgroundLimits(int maxConnections, qint64 maxBytes)
{
    m_maxBackground = maxConnections;
    m_maxBackgroundBytes = maxBytes;
}

void SocketContext::added(ClosingConnection* connection)
{
    m_closing.push_back(connection);
}

void SocketContext::removed(ClosingConnection* connection)
{
    m_closing.erase(std::remove(m_closing.begin(), m_closing.end(), connection), m_closing.end());
    if (m_closing.empty() && m_peakBackgroundBytes >= kTrimAfterBytes) {
        m_peakBackgroundBytes = 0;
        ::malloc_trim(0);
    }
}

bool SocketContext::dropMostStalled()
{
    if (m_closing.empty())
        return false;
    const auto stalled = std::min_element(m_closing.begin(), m_closing.end(),
                                          [](const ClosingConnection* a, const ClosingConnection* b) {
                                              return a->lastProgress() < b->lastProgress();
                                          });
    (*stalled)->abandon();
    return true;
}

bool SocketContext::freeDescriptors()
{
    if (!m_reserve.empty()) {
        for (int fd : m_reserve)
            m_os.close(fd);
        m_reserve.clear();
        return true;
    }
    // One for the connection, one for the file it asks for. A lingering
    // connection has had its whole answer, so it goes first.
    bool freed = false;
    for (int i = 0; i < kReserveDescriptors; ++i) {
        if (m_lingering.closeOldest() || (m_shedIdle && m_shedIdle()) || dropMostStalled())
            freed = true;
    }
    return freed;
}

void SocketContext::restoreReserve()
{
    while (static_cast<int>(m_reserve.size()) < kReserveDescriptors) {
        int fd = m_os.openReserve();
        if (fd < 0 && (m_lingering.closeOldest() || (m_shedIdle && m_shedIdle())))
            fd = m_os.openReserve();
        if (fd < 0)
            return;
        m_reserve.push_back(fd);
    }
}
